#pragma once

#include "gateway/gateway_model.h"
#include "gateway/signal_values.h"
#include "plot/chart.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// What each chart of a plot draws: an imported signal's physical value or
// a register's raw value, in one direction, and the frames that feed it.
namespace vestrel::plot {

struct ChartSource {
    FrameDirection direction = FrameDirection::Receive;
    const gateway::SignalValues::Entry* signal = nullptr;  // null: the register `reg`
    std::uint16_t reg = 0;

    friend bool operator==(const ChartSource&, const ChartSource&) = default;
};

// A plot draws at most this many charts.
inline constexpr std::size_t kMaxCharts = 50;

// What a plot draws unless told: every imported signal, or without any,
// every register a mapping record of either direction names.
std::vector<ChartSource> DefaultSources(const gateway::GatewayModel& model, const gateway::SignalValues* meanings);

// The signals of a comma-separated list of names, NAME or MESSAGE.SIGNAL as
// signaldb's name grammar reads them, in either direction. Throws Error with
// what the grammar says of a list it cannot read, a name no imported signal
// has and one that two messages hold.
std::vector<ChartSource> NamedSignals(const gateway::SignalValues* meanings, std::string_view list);

// The registers of a comma-separated list of numbers: each in every
// direction that maps it. Throws Error for a number that is none and for a
// register no mapping record names.
std::vector<ChartSource> NamedRegisters(const gateway::GatewayModel& model, std::string_view list);

// The database's cycle time of an imported message, where it gave one.
std::optional<int> CycleTimeMs(const signaldb::ImportedMessage& message);

// The frames of the direction that feed the chart's registers (0-based).
std::vector<int> FeedingFrames(const gateway::GatewayModel& model, const ChartSource& source);

// The imported message that describes the frames of the chart, or null.
const signaldb::ImportedMessage* MessageOf(const gateway::GatewayModel& model, const gateway::SignalValues* meanings,
                                           const ChartSource& source);

// The chart without values: its kind, name, unit, where its values come
// from, and for signals the decimals and state names.
Chart ChartHead(const gateway::GatewayModel& model, const gateway::SignalValues* meanings, const ChartSource& source);

}  // namespace vestrel::plot
