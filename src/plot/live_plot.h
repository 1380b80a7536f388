#pragma once

#include "gateway/register_table.h"
#include "plot/chart_feed.h"

#include <cstdint>
#include <memory>
#include <vector>

// The last seconds of a bus as charts, for the bench: fed the frames it
// hears and sends as they come, on the bench's clock (microseconds since
// the epoch), through a register table of its own. Memory stays the same
// however long it runs: the columns of the last `window` only.
namespace vestrel::plot {

class LivePlot {
public:
    // The model and the signals must outlive the plot.
    LivePlot(const gateway::GatewayModel& model, const gateway::SignalValues* meanings, std::vector<ChartSource> sources,
             std::int64_t window, std::size_t columns = 1000);

    // A frame at `time`; one stamped before the frame before counts at that one's time.
    void Feed(const can::CanFrame& frame, std::int64_t time);
    // Forgets every value, as a new table would know none.
    void Clear();

    // The charts of the window up to `now`, times counted back from it.
    Plot Snapshot(std::int64_t now);

    std::int64_t Window() const { return window_; }
    const std::vector<ChartSource>& Sources() const { return sources_; }

private:
    const gateway::GatewayModel& model_;
    const gateway::SignalValues* signals_;
    std::vector<ChartSource> sources_;
    std::int64_t window_;
    std::size_t columns_;
    std::unique_ptr<gateway::RegisterTable> table_;
    std::unique_ptr<ChartFeed> feed_;
    std::int64_t last_ = 0;
};

}  // namespace vestrel::plot
