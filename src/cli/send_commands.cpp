// send and play: frames given on the command line, and CAN logs, onto a bus.
#include "cli/bench_support.h"
#include "platform/text.h"
#include "can/frame_filter.h"
#include "platform/error.h"
#include "platform/printable_text.h"
#include "signaldb/physical_value.h"

#include <charconv>
#include <cmath>
#include <ostream>

namespace vestrel {

namespace {

constexpr long kLongestPeriodMs = 3'600'000;

live::CanEndpoint CanOption(const Arguments& a) {
    const auto can = a.Value("can");
    if (!can) throw a.Usage();
    auto endpoint = live::ParseCanInterface(*can);
    if (!endpoint) throw UsageError{endpoint.Why()};
    return *endpoint;
}

// A thousand times slower or faster at most: the schedule counts whole
// microseconds, and a slower speed would make a millisecond of the log a
// wait of hours, a faster one every gap a nothing.
constexpr double kSlowestSpeed = 0.001;
constexpr double kFastestSpeed = 1000;

double SpeedOption(const Arguments& a) {
    const std::string text = a.Value("speed").value_or("1");
    double speed = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), speed);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(speed) ||
        (speed != 0 && (speed < kSlowestSpeed || speed > kFastestSpeed)))
        throw UsageError{"--speed takes a number from 0.001 to 1000, or 0 (as fast as the bus takes), not '" + text +
                         "'"};
    return speed;
}

// What of the log did not go out, when anything.
std::string LeftOutText(const live::PlayCounts& c, const std::string& channel, const can::LogFormatInfo& format) {
    std::string text;
    auto add = [&](std::uint64_t count, const std::string& what) {
        if (count > 0) text += (text.empty() ? "" : ", ") + what;
    };
    add(c.otherChannel, Plural(c.otherChannel, "frame", "frames") + " of other channels than " + channel);
    add(c.filtered, Plural(c.filtered, "frame", "frames") + " the filters left out");
    add(c.errorFrames, Plural(c.errorFrames, "error frame", "error frames"));
    add(c.broken, Plural(c.broken, "broken " + std::string(format.record), "broken " + std::string(format.records)));
    return text.empty() ? text : "not sent: " + text;
}

}  // namespace

int SendCommand(const Arguments& a, CliContext& cli) {
    a.ExpectAtLeast(1);
    const live::CanEndpoint can = CanOption(a);
    const long every = NumberOption(a, "every", 1, kLongestPeriodMs);
    const long count = NumberOption(a, "count", 1, 1'000'000'000);
    const long bitRate = NumberOption(a, "bitrate", 1, 10'000'000);
    if (count > 0 && every == 0) throw UsageError{"--count counts the periods of --every"};
    std::vector<can::CanFrame> frames;
    for (const std::string& text : a.Operands()) {
        const Result<can::CanFrame> frame = can::ParseCompactFrame(text);
        if (!frame) throw UsageError{"'" + text + "' is not a frame: " + frame.Why()};
        frames.push_back(*frame);
    }
    const std::uint64_t periods = every == 0 ? 1 : static_cast<std::uint64_t>(count);
    live::PeriodicFrames source(frames, static_cast<std::int64_t>(every) * 1000, periods);

    CommandEventLoop app;
    cli.out << "Sending " << Plural(frames.size(), "frame", "frames") << " on "
            << PrintableText(can.Text(), LineBreaks::OneLine);
    if (every > 0)
        cli.out << " every " << every << " ms, "
                << (count > 0 ? Plural(static_cast<std::uint64_t>(count), "period", "periods")
                              : std::string("until interrupted (Ctrl+C)"));
    cli.out << '.' << std::endl;
    const SendOutcome outcome = RunSend(source, can, static_cast<int>(bitRate), cli);
    cli.out << SendSummary(outcome) << std::endl;
    return kExitOk;
}

int PlayCommand(const Arguments& a, CliContext& cli) {
    a.ExpectOperands(1);
    const live::CanEndpoint can = CanOption(a);
    live::PlayOptions options;
    options.speed = SpeedOption(a);
    options.loop = a.Has("loop");
    options.channel = a.Value("channel").value_or("");
    if (a.Has("channel") && options.channel.empty()) throw UsageError{"--channel needs a channel such as can0 or 1"};
    if (auto only = a.Value("only")) {
        auto filters = can::ParseFrameFilters(*only);
        if (!filters) throw UsageError{filters.Why()};
        options.only = std::move(*filters);
    }
    const std::string& log = a.Operands()[0];
    live::LogFrames source(log, options);

    CommandEventLoop app;
    cli.out << "Playing " << PrintableText(log, LineBreaks::OneLine) << " on "
            << PrintableText(can.Text(), LineBreaks::OneLine) << ", "
            << (options.speed == 0 ? std::string("as fast as the bus takes")
                                   : "speed " + signaldb::ShortestText(options.speed))
            << (options.loop ? ", again from the start at its end" : "") << '.' << std::endl;
    const SendOutcome outcome = RunSend(source, can, 0, cli);
    cli.out << SendSummary(outcome) << std::endl;
    const std::string leftOut = LeftOutText(source.Counts(), options.channel, source.Format());
    if (!leftOut.empty()) cli.Say(leftOut);
    if (outcome.tally.frames == 0 && outcome.stoppedBy.empty()) {
        cli.Say("no CAN frame of " + log + " was sent");
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace vestrel
