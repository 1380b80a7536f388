#pragma once

#include "gateway/gateway_model.h"
#include "gateway/signal_values.h"
#include "plot/chart_sources.h"

#include <cstddef>
#include <vector>

class QListWidget;

// The list beside the charts, in the Plot window and on the bench's Plot
// page: one row a chart can draw, ticked or not.
namespace vestrel::plot {

// One checkable row per source: the chart's name and unit, where its values
// come from as the tooltip; the first `ticked` rows ticked.
void ListCharts(QListWidget& list, const gateway::GatewayModel& model, const gateway::SignalValues* meanings,
                const std::vector<ChartSource>& sources, std::size_t ticked);

// The sources of the ticked rows (`sources` per row), at most kMaxCharts.
std::vector<ChartSource> TickedCharts(const QListWidget& list, const std::vector<ChartSource>& sources);

}  // namespace vestrel::plot
