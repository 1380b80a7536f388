#include "plot/log_plot.h"

#include "can/can_log_reader.h"

#include <algorithm>

namespace vestrel::plot {

using namespace gateway;
using can::BrokenLine;
using can::CanLogReader;
using can::LogFrame;

namespace {

constexpr std::int64_t kMicrosPerFrame = 1000000;  // a log without time stamps: one "second" per frame

// The log's times as the plot's: from the first frame on, never going back
// (a frame stamped before the one before it is drawn at that one's time).
class PlotClock {
public:
    explicit PlotClock(const can::LogFormatInfo& format) : format_(format) {}

    std::int64_t Of(const LogFrame& logged) {
        if (!started_) {
            started_ = true;
            axis_.unit = logged.hasTime ? TimeUnit::Seconds : TimeUnit::Frames;
            axis_.origin = logged.hasTime ? logged.time : 0;
            axis_.clock = logged.hasTime && format_.timesOfDay;
        }
        std::int64_t time = last_;
        if (axis_.unit == TimeUnit::Frames)
            time = static_cast<std::int64_t>(frames_) * kMicrosPerFrame;
        else if (logged.hasTime)
            time = logged.time - axis_.origin;
        ++frames_;
        last_ = std::max(last_, time);
        return last_;
    }

    bool Started() const { return started_; }
    const TimeAxis& Axis() const { return axis_; }
    std::int64_t Last() const { return last_; }

private:
    const can::LogFormatInfo& format_;
    bool started_ = false;
    TimeAxis axis_;
    std::int64_t last_ = 0;
    std::uint64_t frames_ = 0;
};

}  // namespace

LogPlot PlotLog(const GatewayModel& model, const SignalValues* meanings, const std::filesystem::path& log,
                const LogPlotOptions& options) {
    CanLogReader reader(log);
    Replay replay(model, options.channel);
    FeedOptions feed;
    feed.columns = options.columns;
    feed.from = options.from.value_or(0);
    feed.to = options.to;
    PlotClock clock(reader.FormatInfo());
    std::optional<ChartFeed> charts;
    LogFrame frame;
    BrokenLine broken;
    for (;;) {
        const CanLogReader::Step step = reader.Next(frame, broken);
        if (step == CanLogReader::Step::End) break;
        if (step == CanLogReader::Step::Broken) {
            replay.CountBrokenLine();
            if (options.onBroken) options.onBroken(broken, reader.FormatInfo());
            continue;
        }
        const std::int64_t time = clock.Of(frame);
        if (!charts) {
            feed.marks = clock.Axis().unit == TimeUnit::Seconds;
            charts.emplace(model, meanings, options.sources, replay.Registers(), feed);
        }
        if (const auto fed = replay.Feed(frame)) charts->OnFrame(frame.frame, time, *fed);
    }
    LogPlot result;
    result.summary = replay.Summary(reader);
    result.plot.title = options.title;
    result.plot.time = clock.Axis();
    result.plot.time.from = feed.from;
    result.plot.time.to = std::max(options.to.value_or(clock.Last()), feed.from + 1);
    if (!charts) charts.emplace(model, meanings, options.sources, replay.Registers(), feed);
    result.plot.charts = charts->Charts(clock.Last(), options.chosen);
    result.plot.time.resolution = charts->Resolution();
    result.plot.legend = charts->Legend();
    result.crowded = charts->Crowded();
    return result;
}

}  // namespace vestrel::plot
