#pragma once

#include "gateway/signal_values.h"
#include "live/modbus_request.h"
#include "live/register_numbering.h"

#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;

namespace vestrel::gateway {
class GatewayModel;
}

namespace vestrel::live {

class ModbusClient;
struct RequestOutcome;

// "Modbus poll": reads registers with 03 or 04, once or again and again, and
// writes them with 06 or 16. The numbering of the register typed is chosen
// and always shown both ways ("register 40 = protocol address 39"). Every
// request gets a line in the log, naming the device it went to, with its
// values or why it has none; a failed read, a change of numbering and a
// port that failed or closed empty the values instead of showing old ones.
class TFModbusPollPage : public QWidget {
    Q_OBJECT

public:
    explicit TFModbusPollPage(QWidget* parent = nullptr);
    ~TFModbusPollPage() override;

    void SetClient(ModbusClient* client);
    // The read and write the page starts with, from the project's registers.
    void SetProject(const gateway::GatewayModel* model);
    // What imported signals make of the receive registers read (the project's
    // register number taken as the protocol address); null for none.
    void SetMeanings(const gateway::SignalValues* meanings) { meanings_ = meanings; }
    // Empties the values read, saying why ("Serial port ... failed: ...").
    void ClearValues(const std::string& why, bool failure);

    void BtReadClick();
    void CB_PollClick();  // polls again after each answer while checked
    void BtWriteClick();
    void CB_NumberingChange();

    QComboBox* ReadFunctionBox() const { return CB_Function; }
    QComboBox* NumberingBox() const { return CB_Numbering; }
    QSpinBox* Start() const { return SE_Start; }
    QSpinBox* Count() const { return SE_Count; }
    QLabel* AddressLabel() const { return LbAddress; }
    QTableView* Values() const { return sgValues; }
    QPlainTextEdit* Log() const { return M_Log; }
    QComboBox* WriteFunctionBox() const { return CB_WriteFunction; }
    QSpinBox* WriteStart() const { return SE_WriteStart; }
    QLineEdit* WriteValues() const { return E_WriteValues; }
    QLabel* WriteAddressLabel() const { return LbWriteAddress; }
    QCheckBox* Poll() const { return CB_Poll; }
    // Requests answered or failed so far.
    int Answered() const { return answered_; }

signals:
    void requestDone();

private:
    const gateway::SignalValues* meanings_ = nullptr;
    QWidget* BuildReadGroup();
    QWidget* BuildWriteGroup();
    live::Numbering CurrentNumbering() const;
    void ShowAddresses();
    void ShowValues(RegisterBlock block, const RequestOutcome& outcome);
    void AddLogLine(const std::string& line);

    ModbusClient* client_ = nullptr;
    int sequence_ = 0;
    int answered_ = 0;
    bool reading_ = false;

    QComboBox* CB_Function;
    QComboBox* CB_Numbering;
    QSpinBox* SE_Start;
    QSpinBox* SE_Count;
    QLabel* LbAddress;
    QPushButton* BtRead;
    QCheckBox* CB_Poll;
    QSpinBox* SE_Interval;
    QTableView* sgValues;
    QLabel* LbReadResult;
    QComboBox* CB_WriteFunction;
    QSpinBox* SE_WriteStart;
    QLineEdit* E_WriteValues;
    QLabel* LbWriteAddress;
    QPushButton* BtWrite;
    QPlainTextEdit* M_Log;
    QTimer* again_;
};

}  // namespace vestrel::live
