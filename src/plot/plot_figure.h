#pragma once

#include "plot/chart.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A plot laid out for one width as shapes and labels: what the SVG writer
// writes and the window paints, so that both show the same picture.
namespace vestrel::plot {

struct Colour {
    std::uint8_t r = 0, g = 0, b = 0;

    friend bool operator==(const Colour&, const Colour&) = default;
};

struct Point {
    double x = 0, y = 0;
};

enum class Anchor { Start, Middle, End };

struct Shape {
    enum class Kind {
        Polyline,  // `points`, stroked
        Rect,      // x, y, w, h, filled and/or stroked
        Text,      // `text` at x, y (its baseline), anchored there
    };
    Kind kind = Kind::Rect;
    std::vector<Point> points;
    double x = 0, y = 0, w = 0, h = 0;
    std::string text;  // as the files hold it: the writers escape it
    Anchor anchor = Anchor::Start;
    double size = 12;  // px
    bool bold = false;
    std::optional<Colour> stroke;
    std::optional<Colour> fill;
    double strokeWidth = 1;
    double opacity = 1;  // of the fill
};

struct Figure {
    double width = 0;
    double height = 0;
    std::vector<Shape> shapes;
};

// Where a chart's values are drawn, and the stretch of time across it.
struct ChartArea {
    double x = 0, y = 0, w = 0, h = 0;
};

struct FigureOptions {
    double width = 1000;
    double chartHeight = 130;
    // The stretch drawn; the plot's own when not set.
    std::optional<std::int64_t> from;
    std::optional<std::int64_t> to;
    bool heading = true;  // the title, the time base and the legend above the charts
};

struct PlotPicture {
    Figure figure;
    std::vector<ChartArea> areas;  // per chart of the plot
    std::int64_t from = 0;         // the stretch across every area
    std::int64_t to = 1;
};

PlotPicture DrawPlot(const Plot& plot, const FigureOptions& options);

// The x of a time within an area, and the time at an x.
double XOfTime(const PlotPicture& picture, const ChartArea& area, std::int64_t time);
std::int64_t TimeOfX(const PlotPicture& picture, const ChartArea& area, double x);

// The colours of the series and of each kind of mark.
inline constexpr Colour kSeriesColour{0x1f, 0x5f, 0xa8};
Colour MarkColour(MarkKind kind);

}  // namespace vestrel::plot
