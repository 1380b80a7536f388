#pragma once

#include "gateway/register_table.h"
#include "gateway/signal_values.h"
#include "live/register_numbering.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;

namespace vestrel::live {

class BenchSession;
struct RegisterCheck;

// "Expected / read": every mapped receive register with the value the model
// expects from the live traffic, the value read from the device and a mark
// where they differ; and for transmit registers, values to write and the
// frames that then appear on the bus (or not) against the expected bytes.
// The same checks as vestrel-cli verify, on the window's open interfaces.
//
// A comparison belongs to the expectation it was made against: once the
// traffic changes what the model expects of a register (or the monitor is
// cleared), its row says it is out of date and the summary counts only
// comparisons that are current. The checks belong to the bench session:
// changing the numbering drops the read check, another project drops both,
// and with them every callback still due.
class TFExpectedReadPage : public QWidget {
    Q_OBJECT

public:
    explicit TFExpectedReadPage(QWidget* parent = nullptr);
    ~TFExpectedReadPage() override;

    // The bench whose project, live table, port and interface the checks use.
    void SetSession(BenchSession* session);
    // The register values the write field suggests, from the project.
    void SetExample(const std::string& registerValues);
    // The expected values as the table now holds them, and every result and
    // the summary against them; a timer does it too.
    void ShowExpected();

    void BtReadAllClick();
    void BtWriteClick();

    QComboBox* IndexNumbering() const { return CB_IndexNumbering; }
    QComboBox* Function() const { return CB_Function; }
    QTableView* Registers() const { return sgRegisters; }
    QLineEdit* WriteValues() const { return E_Write; }
    QLineEdit* WriteSignals() const { return E_WriteSignals; }
    QSpinBox* FrameWait() const { return SE_FrameWait; }
    QPlainTextEdit* TransmitResult() const { return M_Transmit; }
    QLabel* Summary() const { return LbSummary; }
    bool Busy() const;

signals:
    // A read of every register or a write check has ended.
    void checkFinished();

private:
    live::Numbering CurrentNumbering() const;
    void CB_IndexNumberingChange();
    void ShowChecks();
    void ShowSummary();
    const std::vector<RegisterCheck>* FinishedChecks() const;
    void ForgetChecks();
    const gateway::GatewayModel* Model() const;
    const gateway::RegisterTable* Table() const;

    BenchSession* session_ = nullptr;
    std::string dropped_;       // why the last read and compare has no results
    bool writesJudged_ = true;  // false when the bus closed during the write check

    QComboBox* CB_IndexNumbering;
    QLabel* LbNumbering;
    QComboBox* CB_Function;
    QPushButton* BtReadAll;
    QTableView* sgRegisters;
    Result<gateway::RegisterValues> TypedWrite() const;

    QLineEdit* E_Write;
    QLineEdit* E_WriteSignals;
    QSpinBox* SE_FrameWait;
    QPushButton* BtWrite;
    QPlainTextEdit* M_Transmit;
    QLabel* LbSummary;
    QTimer* refresh_;
};

}  // namespace vestrel::live
