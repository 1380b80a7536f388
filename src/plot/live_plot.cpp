#include "plot/live_plot.h"

#include <algorithm>

namespace vestrel::plot {

LivePlot::LivePlot(const gateway::GatewayModel& model, const gateway::SignalValues* meanings,
                   std::vector<ChartSource> sources, std::int64_t window, std::size_t columns)
    : model_(model),
      signals_(meanings),
      sources_(std::move(sources)),
      window_(std::max<std::int64_t>(window, 1000)),
      columns_(std::max<std::size_t>(columns, 2)) {
    Clear();
}

void LivePlot::Clear() {
    feed_.reset();
    table_ = std::make_unique<gateway::RegisterTable>(model_);
    FeedOptions options;
    options.mode = SeriesSet::Mode::Sliding;
    options.columns = columns_;
    options.width = std::max<std::int64_t>(window_ / static_cast<std::int64_t>(columns_), 1);
    feed_ = std::make_unique<ChartFeed>(model_, signals_, sources_, *table_, options);
}

void LivePlot::Feed(const can::CanFrame& frame, std::int64_t time) {
    last_ = std::max(last_, time);
    const gateway::RegisterTable::FeedResult fed = table_->Feed(frame, last_);
    feed_->OnFrame(frame, last_, fed);
}

Plot LivePlot::Snapshot(std::int64_t now) {
    now = std::max(now, last_);
    feed_->Slide(now);
    Plot plot;
    plot.title = "The last " + std::to_string(window_ / 1000000) + " s on the bus";
    plot.time.live = true;
    plot.time.clock = true;
    plot.time.origin = now;
    plot.time.from = -window_;
    plot.time.to = 0;
    plot.time.resolution = feed_->Resolution();
    plot.legend = feed_->Legend();
    for (Chart& chart : feed_->Charts(now, true)) {
        for (Run& run : chart.runs) {
            for (StepPoint& p : run.points) p.time -= now;
            run.end -= now;
        }
        for (Mark& m : chart.marks) {
            m.from -= now;
            m.to -= now;
        }
        plot.charts.push_back(std::move(chart));
    }
    return plot;
}

}  // namespace vestrel::plot
