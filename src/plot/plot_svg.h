#pragma once

#include "plot/chart.h"
#include "plot/plot_figure.h"

#include <string>
#include <vector>

// A plot's figure as a self-contained SVG picture, and as an HTML page that
// holds that picture and the replay's summary of the log. Text is escaped
// as the reports escape it; numbers are the same in every locale.
namespace vestrel::plot {

std::string FigureSvg(const Figure& figure);

// The page: its title, the figure, and `summary` (the replay's summary
// lines, as the file names and mnemonics hold them) under it.
std::string PlotHtml(const Plot& plot, const Figure& figure, const std::vector<std::string>& summary);

}  // namespace vestrel::plot
