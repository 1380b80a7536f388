#pragma once

#include "live/bus_monitor.h"
#include "can/candump_writer.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;

namespace vestrel::live {

class BenchSession;
class FrameSender;
class FrameSource;
struct TimedFrame;

// "CAN monitor": per COB-ID the count, the rate, the last data, what the
// project makes of it and the register values the gateway should now hold;
// identifiers no frame table holds and lengths other than Dimensin stand
// out. Records to a candump log that vestrel-cli replay reads, sends a frame
// typed as ID#DATA once or every so many milliseconds, and plays a CAN log
// with its own timing.
class TFCanMonitorPage : public QWidget {
    Q_OBJECT

public:
    explicit TFCanMonitorPage(QWidget* parent = nullptr);
    ~TFCanMonitorPage() override;

    // The bench whose monitor is shown and whose bus the page sends on.
    void SetSession(BenchSession* session);
    // The frame the send field suggests, from the project.
    void SetExample(const std::string& frame);
    // Frames the session has fed to the monitor: recorded when recording.
    void OnFrames(const std::vector<TimedFrame>& frames);
    // Rebuilds the table as of `now` (microseconds since the epoch); a timer
    // does it four times a second while the page is shown.
    void Refresh(std::int64_t now);

    void BtClearClick();
    void BtRecordClick();  // starts or stops the recording
    void BtSendClick();  // sends, starts the periodic send, or stops it
    void BtPlayClick();  // plays a log, or stops it
    // Stops a periodic send or a log being played.
    void StopSending();
    bool Sending() const;
    // Stops a recording, e.g. when the window closes.
    void StopRecording();

    // Asks where to record, with a suggested file name; nothing on Cancel. A
    // file dialog by default; tests answer it.
    std::function<std::optional<std::string>(const std::string&)> askSavePath;
    // Asks which log to play; nothing on Cancel. A file dialog by default.
    std::function<std::optional<std::string>()> askLogPath;

    QTableView* Table() const { return sgMonitor; }
    QLineEdit* SendEdit() const { return E_Send; }
    QSpinBox* EveryEdit() const { return E_Every; }
    QPushButton* SendButton() const { return BtSend; }
    QPushButton* PlayButton() const { return BtPlay; }
    QPushButton* RecordButton() const { return BtRecord; }
    QLabel* Status() const { return LbStatus; }
    QLabel* SendResult() const { return LbSent; }

private:
    void ShowCounts();
    void StartSending(std::unique_ptr<FrameSource> source, const std::string& what);
    void OnSendingEnded(const std::string& failure);

    void Sent(const can::CanFrame& frame);

    BenchSession* session_ = nullptr;
    std::unique_ptr<can::CandumpWriter> recording_;
    std::string recordError_;
    std::unique_ptr<FrameSource> source_;
    std::unique_ptr<FrameSender> sender_;
    std::string sending_;  // "381#0102 every 100 ms", "bus.log"

    QTableView* sgMonitor;
    QPushButton* BtClear;
    QPushButton* BtRecord;
    QLineEdit* E_Send;
    QPushButton* BtSend;
    QSpinBox* E_Every;
    QPushButton* BtPlay;
    QLabel* LbSent;
    QLabel* LbStatus;
    QTimer* refresh_;
};

}  // namespace vestrel::live
