#pragma once

#include "can/can_log.h"
#include "can/log_formats.h"
#include "gateway/replay.h"
#include "plot/chart_feed.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// A CAN log plotted: read front to back through the replay (so that the
// summary is the replay's), its frames feeding the charts. The only part of
// the plots that reads logs.
namespace vestrel::plot {

struct LogPlotOptions {
    std::vector<ChartSource> sources;  // what to draw
    bool chosen = false;               // the user chose them: charts without values stay, with a note
    // The stretch, in microseconds after the log's first frame.
    std::optional<std::int64_t> from;
    std::optional<std::int64_t> to;
    std::string channel;  // only the frames of this channel, as the log names it
    std::size_t columns = 2048;
    std::string title;
    // Each broken line (BLF: object) as it comes; may throw to end the read.
    std::function<void(const can::BrokenLine&, const can::LogFormatInfo&)> onBroken;
};

struct LogPlot {
    Plot plot;
    gateway::ReplaySummary summary;
    std::size_t crowded = 0;  // charts with values beyond the kMaxCharts drawn
};

// Throws Error when the log cannot be opened or read, or is no CAN log, and
// whatever onBroken throws.
LogPlot PlotLog(const gateway::GatewayModel& model, const gateway::SignalValues* meanings,
                const std::filesystem::path& log, const LogPlotOptions& options);

}  // namespace vestrel::plot
