#include "plot/plot_figure.h"

#include <algorithm>
#include <cmath>

namespace vestrel::plot {

namespace {

constexpr Colour kText{0x11, 0x11, 0x11};
constexpr Colour kMuted{0x66, 0x66, 0x66};
constexpr Colour kAxis{0x44, 0x44, 0x44};
constexpr Colour kGrid{0xdd, 0xdd, 0xdd};
constexpr Colour kBackground{0xff, 0xff, 0xff};

constexpr double kMarginLeftMin = 56, kMarginLeftMax = 170, kMarginRight = 18;
constexpr double kTitleLine = 26, kLine = 18, kChartHead = 22, kTickLabels = 18, kChartGap = 14;
constexpr std::size_t kLongestLabel = 22;

std::size_t CodePoints(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// About as wide as DejaVu Sans sets the text: the layout knows no fonts.
double TextWidth(const std::string& text, double size, bool bold = false) {
    return static_cast<double>(CodePoints(text)) * size * (bold ? 0.64 : 0.58);
}

// A label cut to kLongestLabel characters, "…" marking the cut.
std::string Shortened(const std::string& text) {
    if (CodePoints(text) <= kLongestLabel) return text;
    std::string cut;
    std::size_t points = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 && ++points > kLongestLabel - 1) break;
        cut += c;
    }
    return cut + "\u2026";
}

Shape Text(double x, double y, std::string text, double size, Colour colour, Anchor anchor = Anchor::Start,
           bool bold = false) {
    Shape s;
    s.kind = Shape::Kind::Text;
    s.x = x;
    s.y = y;
    s.text = std::move(text);
    s.size = size;
    s.fill = colour;
    s.anchor = anchor;
    s.bold = bold;
    return s;
}

Shape Rect(double x, double y, double w, double h, std::optional<Colour> fill, std::optional<Colour> stroke,
           double opacity = 1) {
    Shape s;
    s.kind = Shape::Kind::Rect;
    s.x = x;
    s.y = y;
    s.w = w;
    s.h = h;
    s.fill = fill;
    s.stroke = stroke;
    s.opacity = opacity;
    return s;
}

Shape Line(std::vector<Point> points, Colour colour, double width = 1) {
    Shape s;
    s.kind = Shape::Kind::Polyline;
    s.points = std::move(points);
    s.stroke = colour;
    s.strokeWidth = width;
    return s;
}

// Of the vertices that fall into one pixel column, the first, the highest,
// the lowest and the last, in their order: every extreme stays drawn.
std::vector<Point> PerPixel(const std::vector<Point>& points) {
    std::vector<Point> kept;
    std::size_t i = 0;
    while (i < points.size()) {
        const double column = std::floor(points[i].x);
        std::size_t j = i, top = i, bottom = i;
        for (; j < points.size() && std::floor(points[j].x) == column; ++j) {
            if (points[j].y < points[top].y) top = j;
            if (points[j].y > points[bottom].y) bottom = j;
        }
        std::vector<std::size_t> picks{i, std::min(top, bottom), std::max(top, bottom), j - 1};
        picks.erase(std::unique(picks.begin(), picks.end()), picks.end());
        for (std::size_t k : picks) kept.push_back(points[k]);
        i = j;
    }
    return kept;
}

struct Mapping {
    const PlotPicture& picture;
    const ChartArea& area;
    double low, high;

    double X(std::int64_t t) const { return XOfTime(picture, area, t); }
    double Y(double v) const { return area.y + area.h - (v - low) / (high - low) * area.h; }
};

// A run as a step line across the stretch: each value held until the next.
std::vector<Point> StepLine(const Run& run, const Mapping& m) {
    const std::int64_t from = m.picture.from, to = m.picture.to;
    std::vector<Point> points;
    if (run.end < from || run.points.front().time > to) return points;
    auto it = std::upper_bound(run.points.begin(), run.points.end(), from,
                               [](std::int64_t t, const StepPoint& p) { return t < p.time; });
    if (it != run.points.begin()) --it;  // the value held as the stretch begins
    double y = m.Y(it->value);
    points.push_back({m.X(std::max(it->time, from)), y});
    for (++it; it != run.points.end() && it->time <= to; ++it) {
        const double x = m.X(it->time);
        points.push_back({x, y});
        y = m.Y(it->value);
        points.push_back({x, y});
    }
    points.push_back({m.X(std::min(run.end, to)), y});
    return PerPixel(points);
}

void DrawMarks(const Chart& chart, const Mapping& m, Figure& f) {
    // Marks less than a pixel apart are drawn as one, and none narrower than a pixel.
    std::vector<Shape> drawn;
    for (MarkKind kind : {MarkKind::Late, MarkKind::TimedOut}) {
        std::optional<std::pair<double, double>> open;
        auto flush = [&] {
            if (open)
                drawn.push_back(Rect(open->first, m.area.y, std::max(open->second - open->first, 1.0), m.area.h,
                                     MarkColour(kind), std::nullopt, kind == MarkKind::Late ? 0.3 : 0.35));
            open.reset();
        };
        for (const Mark& mark : chart.marks) {
            if (mark.kind != kind || mark.to < m.picture.from || mark.from > m.picture.to) continue;
            const double x0 = m.X(std::max(mark.from, m.picture.from)), x1 = m.X(std::min(mark.to, m.picture.to));
            if (open && x0 <= open->second + 1) {
                open->second = std::max(open->second, x1);
                continue;
            }
            flush();
            open.emplace(x0, x1);
        }
        flush();
    }
    f.shapes.insert(f.shapes.end(), drawn.begin(), drawn.end());
}

std::vector<Tick> TimeTicks(const PlotPicture& p, const TimeAxis& axis, double width) {
    const int count = std::max(2, static_cast<int>(width / 110));
    if (axis.unit == TimeUnit::Frames) {
        std::vector<Tick> ticks = RoundTicks(static_cast<double>(p.from) / 1e6 + 1, static_cast<double>(p.to) / 1e6 + 1,
                                             count, 0, 1);
        for (Tick& t : ticks) t.value -= 1;  // frame n is drawn at n - 1 "seconds"
        return ticks;
    }
    return RoundTicks(static_cast<double>(p.from) / 1e6, static_cast<double>(p.to) / 1e6, count, 0);
}

double LeftMargin(const Plot& plot) {
    double widest = 0;
    for (const Chart& chart : plot.charts)
        for (const Tick& t : chart.ticks) widest = std::max(widest, TextWidth(Shortened(t.label), 11));
    return std::clamp(widest + 14, kMarginLeftMin, kMarginLeftMax);
}

void DrawChart(const Plot& plot, const Chart& chart, const PlotPicture& p, const ChartArea& area, Figure& f) {
    const double headY = area.y - 7;
    std::string name = chart.name + (chart.unit.empty() ? "" : " (" + chart.unit + ")");
    f.shapes.push_back(Text(area.x, headY, name, 13, kText, Anchor::Start, true));
    f.shapes.push_back(Text(area.x + TextWidth(name, 13, true) + 12, headY, chart.origin, 11, kMuted));
    f.shapes.push_back(Rect(area.x, area.y, area.w, area.h, kBackground, std::nullopt));
    const Mapping m{p, area, chart.low, chart.high};
    for (const Tick& t : chart.ticks) {
        const double y = m.Y(t.value);
        f.shapes.push_back(Line({{area.x, y}, {area.x + area.w, y}}, kGrid));
        f.shapes.push_back(Text(area.x - 6, y + 4, Shortened(t.label), 11, kAxis, Anchor::End));
    }
    const std::vector<Tick> times = TimeTicks(p, plot.time, area.w);
    for (const Tick& t : times) {
        const double x = m.X(static_cast<std::int64_t>(std::llround(t.value * 1e6)));
        if (x < area.x - 0.5 || x > area.x + area.w + 0.5) continue;
        f.shapes.push_back(Line({{x, area.y}, {x, area.y + area.h}}, kGrid));
        const std::string label = plot.time.unit == TimeUnit::Frames ? NumberText(t.value + 1, 0) : t.label;
        f.shapes.push_back(Text(x, area.y + area.h + 14, label, 11, kAxis, Anchor::Middle));
    }
    DrawMarks(chart, m, f);
    for (const Run& run : chart.runs) {
        std::vector<Point> line = StepLine(run, m);
        if (!line.empty()) f.shapes.push_back(Line(std::move(line), kSeriesColour, 1.5));
    }
    if (!chart.note.empty())
        f.shapes.push_back(Text(area.x + area.w / 2, area.y + area.h / 2 + 4, chart.note, 12, kMuted, Anchor::Middle));
    f.shapes.push_back(Rect(area.x, area.y, area.w, area.h, std::nullopt, kAxis));
}

// The words of `text` in lines that fit `width` at `size` px.
std::vector<std::string> Wrapped(const std::string& text, double width, double size) {
    std::vector<std::string> lines(1);
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t blank = std::min(text.find(' ', at), text.size());
        const std::string word = text.substr(at, blank - at);
        const std::string longer = lines.back().empty() ? word : lines.back() + " " + word;
        if (!lines.back().empty() && TextWidth(longer, size) > width)
            lines.push_back(word);
        else
            lines.back() = longer;
        at = blank + 1;
    }
    return lines;
}

double DrawHeading(const Plot& plot, double width, Figure& f) {
    double y = kTitleLine - 6;
    f.shapes.push_back(Text(16, y, plot.title, 16, kText, Anchor::Start, true));
    y += kLine;
    f.shapes.push_back(Text(16, y, "Time: " + TimeBaseText(plot.time), 12, kMuted));
    for (const LegendEntry& entry : plot.legend) {
        y += kLine;
        f.shapes.push_back(Rect(16, y - 10, 22, 12, MarkColour(entry.kind), kAxis, 0.4));
        const std::vector<std::string> lines = Wrapped(entry.text, width - 46 - kMarginRight, 12);
        for (std::size_t i = 0; i < lines.size(); ++i)
            f.shapes.push_back(Text(46, y + static_cast<double>(i) * 15, lines[i], 12, kText));
        y += static_cast<double>(lines.size() - 1) * 15;
    }
    y += kLine;
    f.shapes.push_back(Text(16, y, "No line: the value is not known (a register half that no frame has fed yet).",
                            12, kMuted));
    return y + 12;
}

}  // namespace

Colour MarkColour(MarkKind kind) {
    return kind == MarkKind::Late ? Colour{0xf0, 0xa8, 0x00} : Colour{0xd0, 0x30, 0x20};
}

double XOfTime(const PlotPicture& picture, const ChartArea& area, std::int64_t time) {
    const double span = static_cast<double>(std::max<std::int64_t>(picture.to - picture.from, 1));
    return area.x + static_cast<double>(time - picture.from) / span * area.w;
}

std::int64_t TimeOfX(const PlotPicture& picture, const ChartArea& area, double x) {
    const double span = static_cast<double>(std::max<std::int64_t>(picture.to - picture.from, 1));
    return picture.from + static_cast<std::int64_t>(std::llround((x - area.x) / std::max(area.w, 1.0) * span));
}

PlotPicture DrawPlot(const Plot& plot, const FigureOptions& options) {
    PlotPicture p;
    p.from = options.from.value_or(plot.time.from);
    p.to = std::max(options.to.value_or(plot.time.to), p.from + 1);
    Figure& f = p.figure;
    f.width = options.width;
    const double left = LeftMargin(plot);
    const double areaWidth = std::max(options.width - left - kMarginRight, 20.0);
    f.shapes.push_back(Rect(0, 0, options.width, 0, kBackground, std::nullopt));  // its height is set below
    double y = options.heading ? DrawHeading(plot, options.width, f) : 4;
    for (const Chart& chart : plot.charts) {
        y += kChartHead;
        const ChartArea area{left, y, areaWidth, options.chartHeight};
        p.areas.push_back(area);
        DrawChart(plot, chart, p, area, f);
        y += options.chartHeight + kTickLabels + kChartGap;
    }
    f.height = y + 4;
    f.shapes.front().h = f.height;
    return p;
}

}  // namespace vestrel::plot
