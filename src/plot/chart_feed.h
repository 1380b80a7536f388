#pragma once

#include "gateway/register_table.h"
#include "gateway/signal_values.h"
#include "plot/chart_sources.h"
#include "plot/column_series.h"

#include <cstdint>
#include <optional>
#include <vector>

// The charts of a plot fed frame by frame: after the register table has
// taken a received frame, each chart the frame feeds reads its registers
// (or its signal's physical value from them) and the series takes the
// value when it changed; the gateway's own transmit frames on the bus do
// the same for transmit charts. A chart's frame that stays away longer
// than its cycle time allows, or than the data time-out, leaves a mark.
namespace vestrel::plot {

struct FeedOptions {
    SeriesSet::Mode mode = SeriesSet::Mode::Growing;
    std::size_t columns = 2048;  // the resolution: the set keeps at most this many columns
    std::int64_t width = 1;      // sliding: the width of a column
    // Growing: what is plotted, on the caller's clock; earlier values are
    // carried to `from`, later ones left out.
    std::int64_t from = 0;
    std::optional<std::int64_t> to;
    bool marks = true;  // false where times are no times (frame numbers)
};

class ChartFeed {
public:
    // `receive` is the table the caller feeds each received frame to before
    // OnFrame; it, the model and the signals must outlive the feed.
    ChartFeed(const gateway::GatewayModel& model, const gateway::SignalValues* meanings,
              std::vector<ChartSource> sources, const gateway::RegisterTable& receive, FeedOptions options = {});

    // A frame at `time` (not before the one before), after the receive
    // table took it with the result `fed`.
    void OnFrame(const can::CanFrame& frame, std::int64_t time, const gateway::RegisterTable::FeedResult& fed);
    // A sliding feed moves on to `now` without a frame.
    void Slide(std::int64_t now) { series_.Slide(now - options_.from); }

    // The charts as of `end` (a frame still away by then leaves its mark up
    // to it), times on the caller's clock. Charts no frame fed are left out
    // unless `keepEmpty`, and at most kMaxCharts get values.
    std::vector<Chart> Charts(std::int64_t end, bool keepEmpty) const;
    // What the marks of this feed's charts can mean; empty without any.
    std::vector<LegendEntry> Legend() const;

    // Charts that had values but none of the kMaxCharts places.
    std::size_t Crowded() const { return crowded_; }
    const std::vector<ChartSource>& Sources() const { return sources_; }
    std::int64_t Start() const { return series_.Start() + options_.from; }
    std::int64_t Resolution() const { return series_.Width(); }

private:
    struct State {
        std::optional<std::uint64_t> bits;  // the last value's bits, nothing while not known
        std::optional<std::int64_t> fed;    // when a frame last fed the chart
        std::optional<std::int64_t> late;   // microseconds a frame may stay away (cycle time)
        std::optional<std::int64_t> timeOut;
        bool placed = false;   // the chart has one of the kMaxCharts places
        bool crowded = false;  // it had a value when none was left
        bool everFed = false;
    };

    void Update(std::size_t chart, std::int64_t time);
    std::optional<std::uint64_t> BitsOf(std::size_t chart) const;
    double ValueOf(std::size_t chart, std::uint64_t bits) const;
    void Refresh(std::size_t chart, std::int64_t time);
    gateway::RegisterValue ValueOfRegister(FrameDirection direction, std::int32_t reg) const;

    const gateway::GatewayModel& model_;
    const gateway::SignalValues* signals_;
    std::vector<ChartSource> sources_;
    const gateway::RegisterTable& receive_;
    gateway::TransmitRegisterTable transmit_;
    FeedOptions options_;
    SeriesSet series_;
    std::vector<State> states_;
    std::vector<Chart> heads_;
    std::vector<std::vector<std::size_t>> chartsOfReceive_;   // per receive frame
    std::vector<std::vector<std::size_t>> chartsOfTransmit_;  // per transmit frame
    gateway::RegisterLookup receiveLookup_, transmitLookup_;
    std::size_t placed_ = 0;
    std::size_t crowded_ = 0;
};

}  // namespace vestrel::plot
