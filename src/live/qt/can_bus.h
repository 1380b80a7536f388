#pragma once

#include "platform/result.h"

#include "can/can_frame.h"
#include "live/bench_settings.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QCanBusDevice;
class QCanBusFrame;

namespace vestrel::live {

// A frame with the time it was received, microseconds since the epoch.
struct TimedFrame {
    can::CanFrame frame;
    std::int64_t time = 0;
};

can::CanFrame FromQtFrame(const QCanBusFrame& frame);
QCanBusFrame ToQtFrame(const can::CanFrame& frame);

// A CAN interface opened through Qt SerialBus: "socketcan:can0" on Linux, or
// any plugin Qt finds ("virtualcan:can0", a TCP relay that needs no
// hardware). Opening may finish later than Open() returns: `opened` or
// `failed` says how it went. Every message names the interface and gives the
// plugin's own reason.
class CanBus : public QObject {
    Q_OBJECT

public:
    explicit CanBus(QObject* parent = nullptr);
    ~CanBus() override;

    // Starts opening the interface at `bitRate` bit/s (0 keeps the
    // interface's own rate). A plugin that cannot set the rate says so
    // through `note`, and the interface stays open.
    void Open(const CanEndpoint& endpoint, int bitRate);
    void Close();
    bool IsOpen() const;
    // Waits (at most `guardMs`) until the frames sent have left the process:
    // the plugin's queue and the relay's socket (virtualcan) are empty. A
    // command that ends after its last frame calls this before Close().
    void Drain(int guardMs = 5000);
    // Whether the frames sent wait in the process rather than on the wire:
    // a sender that goes as fast as the bus takes waits while they do.
    bool Backlogged() const;
    const CanEndpoint& Endpoint() const { return endpoint_; }

    // Sends one frame, or says why it cannot go out.
    Result<void> Send(const can::CanFrame& frame);

    // The plugins Qt finds, and the interfaces a plugin reports.
    static std::vector<std::string> Plugins();
    static std::vector<std::string> Interfaces(const std::string& plugin);

signals:
    void opened();
    // Opening failed, or the open interface was lost; the interface is closed.
    void failed(const QString& message);
    // Something worth saying that does not close the interface.
    void note(const QString& message);
    // Frames as they came, oldest first. Connect directly: the vector lives
    // only during the call.
    void framesReceived(const std::vector<vestrel::live::TimedFrame>& frames);

private:
    void OnStateChanged(int state);
    void OnError(int error);
    void OnFramesReceived();
    void Fail(const std::string& message);

    CanEndpoint endpoint_;
    int bitRate_ = 0;
    QCanBusDevice* device_ = nullptr;
    bool reportedOpen_ = false;
    std::vector<TimedFrame> batch_;
};

}  // namespace vestrel::live
