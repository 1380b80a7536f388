#include "live/qt/frame_sender.h"

#include "live/qt/can_bus.h"

#include <algorithm>

namespace vestrel::live {

FrameSender::FrameSender(CanBus& bus, FrameSource& source, SendRun::Observer sent, SendClock* clock, QObject* parent)
    : QObject(parent), bus_(bus), clock_(clock ? *clock : steady_) {
    run_ = std::make_unique<SendRun>(
        source, clock_, [&bus](const can::CanFrame& frame) { return bus.Send(frame); },
        std::move(sent));
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &FrameSender::Pump);
}

FrameSender::~FrameSender() = default;

void FrameSender::Start() {
    running_ = true;
    timer_.start(0);
}

void FrameSender::Stop() {
    running_ = false;
    timer_.stop();
}

void FrameSender::Pump() {
    if (!running_) return;
    if (bus_.Backlogged()) {
        // What was sent has not left yet: the bus sets the pace.
        timer_.start(1);
        return;
    }
    const std::optional<std::int64_t> next = run_->Pump();
    if (!next) {
        running_ = false;
        if (const Result<void>& outcome = run_->Outcome())
            emit finished();
        else
            emit failed(QString::fromStdString(outcome.Why()));
        return;
    }
    // The timer counts whole milliseconds and wakes late on a busy machine:
    // it wakes this a millisecond or two early, and the rest is slept, the
    // event loop held for no longer than that.
    // A wait of days is slept an hour at a time: the timer takes an int.
    constexpr std::int64_t kLongestTimerMs = 3'600'000;
    const std::int64_t wait = *next - clock_.Now();
    if (wait >= 2000) {
        timer_.start(static_cast<int>(std::min(wait / 1000 - 1, kLongestTimerMs)));
        return;
    }
    if (wait > 0) clock_.SleepUntil(*next);
    timer_.start(0);
}

}  // namespace vestrel::live
