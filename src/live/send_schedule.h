#pragma once

#include "platform/result.h"

#include "can/can_frame.h"
#include "can/frame_filter.h"
#include "can/log_formats.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Putting frames on a bus on time: what to send when (a periodic set of
// frames, a log with its own timing), and the run that sends what is due.
// Deadlines are absolute, counted from the start, so that a late wake-up
// makes one frame late and never shifts the ones after it. Plain C++: the
// clock is given, and the caller sleeps until the deadline the run returns.
namespace vestrel::live {

// A frame and when it is due, microseconds after the start of the run.
struct TimedSend {
    can::CanFrame frame;
    std::int64_t at = 0;
    std::uint64_t period = 0;  // the period it belongs to, for periodic sends
};

class FrameSource {
public:
    virtual ~FrameSource() = default;
    // The next frame; false when there is none any more. `at` never goes
    // back.
    virtual bool Next(TimedSend& next) = 0;
};

// Every period, all `frames` in order: period k is due at k × period.
// `periods` 0: until stopped.
class PeriodicFrames : public FrameSource {
public:
    PeriodicFrames(std::vector<can::CanFrame> frames, std::int64_t periodMicros, std::uint64_t periods);
    bool Next(TimedSend& next) override;

private:
    std::vector<can::CanFrame> frames_;
    std::int64_t period_;
    std::uint64_t periods_;
    std::uint64_t index_ = 0;  // frames handed out
};

struct PlayOptions {
    double speed = 1;                  // 2: twice as fast; 0: no waits, as fast as the bus takes
    bool loop = false;                 // from the start again at the end, until stopped
    std::vector<can::FrameFilter> only;     // empty: every frame
    std::string channel;               // empty: every channel
};

// What a log's frames did not go out for.
struct PlayCounts {
    std::uint64_t broken = 0;         // records (lines, BLF objects) that could not be read
    std::uint64_t errorFrames = 0;    // error frames, which an interface does not send
    std::uint64_t filtered = 0;       // left out by the filters
    std::uint64_t otherChannel = 0;   // of another channel than the one chosen
};

// The frames of a CAN log (any format CanLogReader reads) at the log's own
// time stamps divided by the speed, the first frame at the start. A frame
// without a time stamp goes with the one before; a stamp earlier than the
// one before counts as that one, and one later than kLatestPlayed as that.
// The first frame is read at once, so that a log that cannot be read fails
// before anything is sent. Throws the reader's Error.
class LogFrames : public FrameSource {
public:
    // How far after the start a frame may be due, in microseconds: about
    // 146,000 years, far beyond any log, and far from overflowing.
    static constexpr std::int64_t kLatestPlayed = std::int64_t{1} << 62;

    LogFrames(std::filesystem::path log, PlayOptions options);
    ~LogFrames() override;
    bool Next(TimedSend& next) override;

    const PlayCounts& Counts() const { return counts_; }
    const can::LogFormatInfo& Format() const;
    // Times the log was played from the start again.
    std::uint64_t Loops() const { return loops_; }

private:
    struct Reader;
    bool Take(TimedSend& next);

    std::filesystem::path path_;
    PlayOptions options_;
    std::unique_ptr<Reader> reader_;
    std::optional<TimedSend> first_;  // read ahead by the constructor
    bool firstTaken_ = false;
    PlayCounts counts_;
    std::uint64_t loops_ = 0;
    std::uint64_t sentThisPass_ = 0;
    std::optional<std::int64_t> firstStamp_;
    std::int64_t base_ = 0;  // where this pass starts, microseconds after the start
    std::int64_t last_ = 0;
};

// Where a send run is; a seam for tests, which stop a run at a chosen step.
enum class SendStep {
    Open,  // the interface is open, nothing has gone out yet
    Sent,  // a frame went out
};

// A monotonic clock in microseconds, and the sleep until a time on it.
class SendClock {
public:
    virtual ~SendClock() = default;
    virtual std::int64_t Now() = 0;
    virtual void SleepUntil(std::int64_t time) = 0;
};

class SteadyClock : public SendClock {
public:
    std::int64_t Now() override;
    void SleepUntil(std::int64_t time) override;
};

struct SendTally {
    std::uint64_t frames = 0;
    std::uint64_t periods = 0;      // periodic sends: periods begun
    std::int64_t behindMax = 0;     // microseconds, the most a frame went out after its deadline
    std::int64_t behindLast = 0;    // the last frame's
};

// Sends what a source says when it says it. Pump() sends every frame that
// is due (at most `batch`, so that the caller's other work is not starved),
// and says when the next one is due, on the clock; nothing at the end or
// when a frame could not be sent or the source could not be read (Outcome()
// says why).
class SendRun {
public:
    using Link = std::function<Result<void>(const can::CanFrame& frame)>;
    using Observer = std::function<void(const TimedSend& sent)>;

    SendRun(FrameSource& source, SendClock& clock, Link link, Observer sent = {}, std::size_t batch = 256);

    std::optional<std::int64_t> Pump();
    const SendTally& Tally() const { return tally_; }
    // How the run has gone: a failure once a frame could not be sent or the
    // source could not be read, with the reason.
    const Result<void>& Outcome() const { return outcome_; }

private:
    FrameSource& source_;
    SendClock& clock_;
    Link link_;
    Observer sent_;
    std::size_t batch_;
    std::optional<std::int64_t> start_;
    std::optional<TimedSend> next_;
    bool ended_ = false;
    SendTally tally_;
    Result<void> outcome_;
};

// "0.4 ms" for microseconds.
std::string MillisecondsText(std::int64_t micros);

}  // namespace vestrel::live
