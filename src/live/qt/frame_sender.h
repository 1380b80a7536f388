#pragma once

#include "live/send_schedule.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

namespace vestrel::live {

class CanBus;

// Runs a SendRun on an open CanBus inside the event loop: a precise timer
// wakes it at each deadline, and frames that are due together go out in
// batches with the event loop served between them.
class FrameSender : public QObject {
    Q_OBJECT

public:
    // `clock` may be null for the steady clock.
    FrameSender(CanBus& bus, FrameSource& source, SendRun::Observer sent = {}, SendClock* clock = nullptr,
                QObject* parent = nullptr);
    ~FrameSender() override;

    void Start();
    void Stop();
    bool Running() const { return running_; }
    const SendTally& Tally() const { return run_->Tally(); }

signals:
    // Every frame has gone out.
    void finished();
    // A frame could not go out; the run has stopped.
    void failed(const QString& message);

private:
    void Pump();

    CanBus& bus_;
    SteadyClock steady_;
    SendClock& clock_;
    std::unique_ptr<SendRun> run_;
    QTimer timer_;
    bool running_ = false;
};

}  // namespace vestrel::live
