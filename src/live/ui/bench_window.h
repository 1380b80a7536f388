#pragma once

#include "live/bench_settings.h"
#include "live/bus_monitor.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace vestrel::live {

class BenchSession;
class TFBenchPlotPage;
class CanBus;
class ModbusClient;
class TFCanMonitorPage;
class TFExpectedReadPage;
class TFModbusPollPage;

// "Bench test": a flashed gateway on a CAN bus and a Modbus line, checked
// live against the open project. One CAN interface and one serial port are
// opened here and shared by the pages: the CAN monitor, the Modbus poll,
// expected against read and the live plot. The project's bit rates, parity and
// device address are preselected each time the window is shown.
class TFBench : public QDialog {
    Q_OBJECT

public:
    explicit TFBench(QWidget* parent = nullptr);
    ~TFBench() override;

    // The project folder to check; read again each time the window is shown.
    void SetProjectDir(const std::string& projectDir);

    void FormShow();
    void BtCanOpenClick();      // opens or closes the CAN interface
    void BtModbusOpenClick();   // opens or closes the serial port
    void CB_PluginChange();

    QComboBox* Plugin() const { return CB_Plugin; }
    QComboBox* Interface() const { return CB_Interface; }
    QPushButton* CanOpenButton() const { return BtCanOpen; }
    QLabel* CanStatus() const { return LbCanStatus; }
    QComboBox* Port() const { return CB_Port; }
    QComboBox* Baud() const { return CB_Baud; }
    QComboBox* Parity() const { return CB_Parity; }
    QComboBox* StopBits() const { return CB_StopBits; }
    QSpinBox* Address() const { return SE_Address; }
    QSpinBox* TimeOut() const { return SE_TimeOut; }
    QPushButton* ModbusOpenButton() const { return BtModbusOpen; }
    QLabel* ModbusStatus() const { return LbModbusStatus; }
    QTabWidget* Pages() const { return TC_Pages; }
    TFCanMonitorPage* Monitor() const { return monitorPage_; }
    TFModbusPollPage* Poll() const { return pollPage_; }
    TFExpectedReadPage* Expected() const { return expectedPage_; }
    TFBenchPlotPage* PlotPage() const { return plotPage_; }
    BenchSession& Session() const { return *session_; }
    CanBus& Bus() const;
    ModbusClient& Client() const;
    const BusMonitor* Model() const;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildCanGroup();
    QWidget* BuildModbusGroup();
    void Preselect(const BenchSettings& settings);
    void ShowProject();
    void ShowModbusOpen();
    std::string PortPath() const;
    void CloseAll();

    std::string projectDir_;
    std::unique_ptr<BenchSession> session_;
    int canBitRate_ = 0;
    std::string serialText_;  // the serial settings the port was opened with

    QLabel* LbProject;
    QComboBox* CB_Plugin;
    QComboBox* CB_Interface;
    QLabel* LbBitRate;
    QPushButton* BtCanOpen;
    QLabel* LbCanStatus;
    QComboBox* CB_Port;
    QComboBox* CB_Baud;
    QComboBox* CB_Parity;
    QComboBox* CB_StopBits;
    QSpinBox* SE_Address;
    QSpinBox* SE_TimeOut;
    QPushButton* BtModbusOpen;
    QLabel* LbModbusStatus;
    QTabWidget* TC_Pages;
    TFCanMonitorPage* monitorPage_;
    TFModbusPollPage* pollPage_;
    TFExpectedReadPage* expectedPage_;
    TFBenchPlotPage* plotPage_;
    QPushButton* BtClose;
};

}  // namespace vestrel::live
