#pragma once

#include "gateway/register_table.h"
#include "live/register_numbering.h"

#include <QWidget>

#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace vestrel::live {

class ModbusClient;
class ReceiveCheckRun;
class WriteCheckRun;
struct TimedFrame;

// "Expected / read": every mapped receive register with the value the model
// expects from the live traffic, the value read from the device and a mark
// where they differ; and for transmit registers, values to write and the
// frames that then appear on the bus (or not) against the expected bytes.
// The same checks as vestrel-cli verify, on the window's open interfaces.
class TFExpectedReadPage : public QWidget {
    Q_OBJECT

public:
    explicit TFExpectedReadPage(QWidget* parent = nullptr);
    ~TFExpectedReadPage() override;

    // The model and its live table; the client to read and write with. Any
    // may be null (no project, no port).
    void SetSession(const gateway::GatewayModel* model, const gateway::RegisterTable* table, ModbusClient* client);
    // Frames heard on the bus, for the write check.
    void OnFrames(const std::vector<TimedFrame>& frames);
    // The expected values as the table now holds them; a timer does it too.
    void ShowExpected();

    void BtReadAllClick();
    void BtWriteClick();

    QComboBox* IndexNumbering() const { return CB_IndexNumbering; }
    QComboBox* Function() const { return CB_Function; }
    QTableWidget* Registers() const { return sgRegisters; }
    QLineEdit* WriteValues() const { return E_Write; }
    QSpinBox* FrameWait() const { return SE_FrameWait; }
    QPlainTextEdit* TransmitResult() const { return M_Transmit; }
    QLabel* Summary() const { return LbSummary; }
    bool Busy() const;

signals:
    // A read of every register or a write check has ended.
    void checkFinished();

private:
    live::Numbering CurrentNumbering() const;
    void ShowChecks();
    void ShowSummary();

    const gateway::GatewayModel* model_ = nullptr;
    const gateway::RegisterTable* table_ = nullptr;
    ModbusClient* client_ = nullptr;
    std::unique_ptr<ReceiveCheckRun> reads_;
    std::unique_ptr<WriteCheckRun> writes_;

    QComboBox* CB_IndexNumbering;
    QLabel* LbNumbering;
    QComboBox* CB_Function;
    QPushButton* BtReadAll;
    QTableWidget* sgRegisters;
    QLineEdit* E_Write;
    QSpinBox* SE_FrameWait;
    QPushButton* BtWrite;
    QPlainTextEdit* M_Transmit;
    QLabel* LbSummary;
    QTimer* refresh_;
};

}  // namespace vestrel::live
