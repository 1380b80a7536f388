#include "live/send_schedule.h"

#include "can/can_log_reader.h"
#include "platform/error.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace vestrel::live {

PeriodicFrames::PeriodicFrames(std::vector<can::CanFrame> frames, std::int64_t periodMicros,
                               std::uint64_t periods)
    : frames_(std::move(frames)), period_(periodMicros), periods_(periods) {}

bool PeriodicFrames::Next(TimedSend& next) {
    if (frames_.empty()) return false;
    const std::uint64_t period = index_ / frames_.size();
    if (periods_ > 0 && period >= periods_) return false;
    next.frame = frames_[index_ % frames_.size()];
    next.period = period;
    next.at = static_cast<std::int64_t>(period) * period_;
    ++index_;
    return true;
}

struct LogFrames::Reader {
    explicit Reader(const std::filesystem::path& path) : reader(path) {}
    can::CanLogReader reader;
    can::LogFrame frame;
    can::BrokenLine broken;
};

LogFrames::LogFrames(std::filesystem::path log, PlayOptions options)
    : path_(std::move(log)), options_(std::move(options)), reader_(std::make_unique<Reader>(path_)) {
    TimedSend first;
    if (Take(first)) first_ = first;
}

LogFrames::~LogFrames() = default;

const can::LogFormatInfo& LogFrames::Format() const { return reader_->reader.FormatInfo(); }

bool LogFrames::Next(TimedSend& next) {
    if (!firstTaken_) {
        firstTaken_ = true;
        if (first_) {
            next = *first_;
            return true;
        }
    }
    while (true) {
        if (Take(next)) return true;
        // The end of the log: again from the start, unless a whole pass sent
        // nothing, which would loop for ever without a frame.
        if (!options_.loop || sentThisPass_ == 0) return false;
        reader_ = std::make_unique<Reader>(path_);
        ++loops_;
        sentThisPass_ = 0;
        firstStamp_.reset();
        base_ = last_;
    }
}

bool LogFrames::Take(TimedSend& next) {
    Reader& r = *reader_;
    for (auto step = r.reader.Next(r.frame, r.broken); step != can::CanLogReader::Step::End;
         step = r.reader.Next(r.frame, r.broken)) {
        if (step == can::CanLogReader::Step::Broken) {
            ++counts_.broken;
            continue;
        }
        if (!options_.channel.empty() && r.frame.channel != options_.channel) {
            ++counts_.otherChannel;
            continue;
        }
        if (r.frame.frame.error) {
            ++counts_.errorFrames;
            continue;
        }
        if (!can::Passes(options_.only, r.frame.frame)) {
            ++counts_.filtered;
            continue;
        }
        std::int64_t at = last_;
        if (r.frame.hasTime && options_.speed > 0) {
            if (!firstStamp_) firstStamp_ = r.frame.time;
            // In long double, which holds each 64-bit time exactly.
            const long double scaled =
                (static_cast<long double>(r.frame.time) - static_cast<long double>(*firstStamp_)) / options_.speed;
            const long double due = static_cast<long double>(base_) + scaled;
            const std::int64_t wanted = due <= 0                                        ? 0
                                        : due < static_cast<long double>(kLatestPlayed) ? std::llroundl(due)
                                                                                        : kLatestPlayed;
            at = std::max(last_, wanted);
        }
        last_ = at;
        next.frame = r.frame.frame;
        next.at = at;
        next.period = loops_;
        ++sentThisPass_;
        return true;
    }
    return false;
}

std::int64_t SteadyClock::Now() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SteadyClock::SleepUntil(std::int64_t time) {
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::microseconds(time)));
}

SendRun::SendRun(FrameSource& source, SendClock& clock, Link link, Observer sent, std::size_t batch)
    : source_(source), clock_(clock), link_(std::move(link)), sent_(std::move(sent)), batch_(std::max<std::size_t>(batch, 1)) {}

std::optional<std::int64_t> SendRun::Pump() {
    if (ended_) return std::nullopt;
    const std::int64_t now = clock_.Now();
    if (!start_) start_ = now;
    for (std::size_t sent = 0; sent < batch_; ++sent) {
        if (!next_) {
            TimedSend upcoming;
            bool more = false;
            try {
                more = source_.Next(upcoming);
            } catch (const Error& e) {
                outcome_ = Failure{e.what()};
            }
            if (!more) {
                ended_ = true;
                return std::nullopt;
            }
            next_ = upcoming;
        }
        const std::int64_t due = *start_ + next_->at;
        const std::int64_t at = sent == 0 ? now : clock_.Now();
        if (due > at) return due;
        if (const Result<void> passed = link_(next_->frame); !passed) {
            outcome_ = passed;
            ended_ = true;
            return std::nullopt;
        }
        ++tally_.frames;
        tally_.periods = std::max(tally_.periods, next_->period + 1);
        tally_.behindLast = at - due;
        tally_.behindMax = std::max(tally_.behindMax, tally_.behindLast);
        if (sent_) sent_(*next_);
        next_.reset();
    }
    return clock_.Now();
}

std::string MillisecondsText(std::int64_t micros) {
    const std::int64_t tenths = (micros + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " ms";
}

}  // namespace vestrel::live
