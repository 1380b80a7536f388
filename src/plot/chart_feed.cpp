#include "plot/chart_feed.h"

#include "inspect/bank_decoder.h"
#include "signaldb/signal_codec.h"

#include <algorithm>
#include <cmath>

namespace vestrel::plot {

using can::CanFrame;
using gateway::RegisterValue;

namespace {

constexpr std::int64_t kMicrosPerMs = 1000;
constexpr std::int64_t kMicrosPerSecond = 1000000;

std::vector<Run> Shifted(std::vector<Run> runs, std::int64_t by) {
    for (Run& run : runs) {
        for (StepPoint& p : run.points) p.time += by;
        run.end += by;
    }
    return runs;
}

}  // namespace

ChartFeed::ChartFeed(const gateway::GatewayModel& model, const gateway::SignalValues* meanings,
                     std::vector<ChartSource> sources, const gateway::RegisterTable& receive, FeedOptions options)
    : model_(model),
      signals_(meanings),
      sources_(std::move(sources)),
      receive_(receive),
      transmit_(model),
      options_(options),
      series_(sources_.size(), options.columns, options.mode, options.width),
      states_(sources_.size()),
      chartsOfReceive_(model.Receive().frames.size()),
      chartsOfTransmit_(model.Transmit().frames.size()) {
    receiveLookup_ = [this](std::int32_t reg) { return receive_.Value(static_cast<std::uint16_t>(reg)); };
    transmitLookup_ = [this](std::int32_t reg) { return transmit_.Value(static_cast<std::uint16_t>(reg)); };
    const int timeOut = model.Banks().dataTimeOut;
    for (std::size_t c = 0; c < sources_.size(); ++c) {
        const ChartSource& source = sources_[c];
        heads_.push_back(ChartHead(model, meanings, source));
        auto& frames = source.direction == FrameDirection::Receive ? chartsOfReceive_ : chartsOfTransmit_;
        for (int f : FeedingFrames(model, source)) frames[static_cast<std::size_t>(f)].push_back(c);
        State& state = states_[c];
        if (const signaldb::ImportedMessage* message = MessageOf(model, meanings, source))
            if (const std::optional<int> cycle = CycleTimeMs(*message); cycle && *cycle > 0)
                state.late = static_cast<std::int64_t>(std::llround(*cycle * kLateCycles * kMicrosPerMs));
        if (source.direction == FrameDirection::Receive && timeOut > 0) state.timeOut = timeOut * kMicrosPerSecond;
    }
}

RegisterValue ChartFeed::ValueOfRegister(FrameDirection direction, std::int32_t reg) const {
    return direction == FrameDirection::Receive ? receiveLookup_(reg) : transmitLookup_(reg);
}

std::optional<std::uint64_t> ChartFeed::BitsOf(std::size_t chart) const {
    const ChartSource& source = sources_[chart];
    if (source.signal) {
        const gateway::RegisterLookup& lookup =
            source.direction == FrameDirection::Receive ? receiveLookup_ : transmitLookup_;
        return gateway::ReadSignalBits(*source.signal->message, *source.signal->signal, lookup);
    }
    const RegisterValue value = ValueOfRegister(source.direction, source.reg);
    if (!value.highKnown || !value.lowKnown) return std::nullopt;
    return value.bits;
}

double ChartFeed::ValueOf(std::size_t chart, std::uint64_t bits) const {
    const ChartSource& source = sources_[chart];
    if (source.signal) return signaldb::PhysicalValue(source.signal->signal->signal, bits);
    if (heads_[chart].kind == ChartKind::SignedRegister) return static_cast<std::int16_t>(bits);
    return static_cast<double>(bits);
}

void ChartFeed::OnFrame(const CanFrame& frame, std::int64_t time, const gateway::RegisterTable::FeedResult& fed) {
    const std::vector<std::size_t>* charts = nullptr;
    if (fed.match.kind == gateway::MatchKind::Frame) {
        charts = &chartsOfReceive_[static_cast<std::size_t>(fed.match.frames[0])];
    } else if (const std::optional<int> index = transmit_.FrameOf(frame)) {
        transmit_.Feed(*index, frame);
        charts = &chartsOfTransmit_[static_cast<std::size_t>(*index)];
    }
    if (!charts || frame.remote) return;  // a remote request carries no data
    for (std::size_t chart : *charts) {
        Refresh(chart, time);
        Update(chart, time);
    }
}

void ChartFeed::Update(std::size_t chart, std::int64_t time) {
    State& state = states_[chart];
    const std::optional<std::uint64_t> bits = BitsOf(chart);
    if (bits == state.bits) return;
    state.bits = bits;
    if (!state.placed) {
        if (!bits || state.crowded) return;
        if (placed_ == kMaxCharts) {
            ++crowded_;
            state.crowded = true;
            return;
        }
        state.placed = true;
        ++placed_;
    }
    if (options_.to && time > *options_.to) return;
    std::optional<double> value;
    if (bits) value = ValueOf(chart, *bits);
    if (value && !std::isfinite(*value)) value.reset();  // a float signal's NaN is no value to draw
    if (time < options_.from)
        series_.Carry(chart, value);
    else
        series_.Add(chart, time - options_.from, value);
}

void ChartFeed::Refresh(std::size_t chart, std::int64_t time) {
    State& state = states_[chart];
    const std::optional<std::int64_t> last = state.fed;
    state.fed = time;
    state.everFed = true;
    if (!options_.marks || !last || !state.placed) return;
    for (const auto& [limit, kind] : {std::pair{state.late, MarkKind::Late}, std::pair{state.timeOut, MarkKind::TimedOut}}) {
        if (!limit || time - *last <= *limit) continue;
        Mark mark{*last + *limit, time, kind};
        if (options_.to) mark.to = std::min(mark.to, *options_.to);
        mark.from = std::max(mark.from, options_.from);
        if (mark.from < mark.to) series_.AddMark(chart, {mark.from - options_.from, mark.to - options_.from, kind});
    }
}

std::vector<Chart> ChartFeed::Charts(std::int64_t end, bool keepEmpty) const {
    if (options_.to) end = std::min(end, *options_.to);
    std::vector<Chart> charts;
    for (std::size_t c = 0; c < sources_.size(); ++c) {
        const State& state = states_[c];
        if (state.crowded || (!state.placed && !keepEmpty)) continue;
        Chart chart = heads_[c];
        chart.runs = Shifted(series_.Runs(c, end - options_.from), options_.from);
        for (const Mark& m : series_.Marks(c))
            chart.marks.push_back({m.from + options_.from, m.to + options_.from, m.kind});
        // A frame still away at the end has been late since its limit passed.
        for (const auto& [limit, kind] : {std::pair{state.late, MarkKind::Late}, std::pair{state.timeOut, MarkKind::TimedOut}})
            if (options_.marks && state.placed && limit && state.fed && end - *state.fed > *limit)
                chart.marks.push_back({std::max(*state.fed + *limit, Start()), end, kind});
        std::stable_sort(chart.marks.begin(), chart.marks.end(), [](const Mark& a, const Mark& b) { return a.from < b.from; });
        if (chart.runs.empty())
            chart.note = state.everFed ? "its value was never known: a register half it needs was never fed"
                                       : "no frame that feeds it came";
        FitValueAxis(chart);
        charts.push_back(std::move(chart));
    }
    return charts;
}

std::vector<LegendEntry> ChartFeed::Legend() const {
    std::vector<LegendEntry> legend;
    const bool late = std::any_of(states_.begin(), states_.end(), [](const State& s) { return s.late.has_value(); });
    const bool timeOut = std::any_of(states_.begin(), states_.end(), [](const State& s) { return s.timeOut.has_value(); });
    if (!options_.marks) return legend;
    if (late)
        legend.push_back({MarkKind::Late, "the frame did not come for more than 1.5 times its cycle time (as the "
                                          "database gives it, named with each chart): the value shown is an old one"});
    if (timeOut) {
        const gateway::GatewayModel& m = model_;
        legend.push_back({MarkKind::TimedOut, "no frame for longer than the project's data time-out of " +
                                                  std::to_string(m.Banks().dataTimeOut) + " s (register " +
                                                  std::to_string(m.Banks().timeOutRegister) +
                                                  "): what the device then does with the registers is not modelled; "
                                                  "the plot keeps the last value"});
    }
    return legend;
}

}  // namespace vestrel::plot
