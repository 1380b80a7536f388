// What the writers make of a plot: well-formed SVG with every text from a
// file escaped, a page that needs nothing from outside, numbers the same in
// every locale, at most four vertices per pixel column with every extreme
// among them; and the values and times as the user reads them.
#include "gateway/model_loading.h"
#include "gateway/replay.h"
#include "plot/log_plot.h"
#include "plot/plot_svg.h"

#include "gateway/gateway_test_support.h"
#include "support/comma_locale.h"
#include "support/temp_dir.h"

#include <libxml/parser.h>

#include <map>
#include <regex>

#include <gtest/gtest.h>

namespace vestrel::plot {
namespace {

using namespace gateway;
using namespace gateway::test;
using vestrel::test::CommaLocale;

struct Drawn {
    Plot plot;
    std::string svg;
    std::string html;
};

// A frame whose mnemonic holds markup, an ampersand and a right-to-left
// override, plotted from a short log.
Drawn Awkward() {
    TempDir dir;
    WriteProject(dir.path(), "0", {{"0x181", 2, "&lt;b&gt;A&amp;B&quot;\u202E"}}, {{1, 1, 0x12}});
    const ProjectModel loaded = LoadProjectModel(dir.path());
    WriteFile(dir / "bus.log", "(10.000000) can0 181#0001\n(10.250000) can0 181#FFFE\n(10.500000) can0 181#0002\n");
    LogPlotOptions options;
    options.sources = DefaultSources(loaded.model, nullptr);
    options.title = "<Demo> & \"co\"";
    const LogPlot plotted = PlotLog(loaded.model, nullptr, dir / "bus.log", options);
    const PlotPicture picture = DrawPlot(plotted.plot, {});
    return {plotted.plot, FigureSvg(picture.figure),
            PlotHtml(plotted.plot, picture.figure, ReplaySummaryLines(loaded.model, plotted.summary))};
}

TEST(PlotWriters, TextIsEscapedAndThePageNeedsNothingFromOutside) {
    const Drawn drawn = Awkward();
    xmlDocPtr doc = xmlReadMemory(drawn.svg.data(), static_cast<int>(drawn.svg.size()), "plot.svg", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    EXPECT_NE(doc, nullptr) << drawn.svg;
    xmlFreeDoc(doc);
    for (const std::string* text : {&drawn.svg, &drawn.html}) {
        EXPECT_NE(text->find("&lt;b&gt;A&amp;B&quot;\\u202E"), std::string::npos) << *text;
        EXPECT_EQ(text->find("<b>"), std::string::npos);
        EXPECT_EQ(text->find("\u202E"), std::string::npos);
        EXPECT_NE(text->find("&lt;Demo&gt; &amp; &quot;co&quot;"), std::string::npos);
    }
    for (const char* outside : {"<script", "src=", "href=", "url(", "@import", "<link", "<img"})
        EXPECT_EQ(drawn.html.find(outside), std::string::npos) << outside;
    EXPECT_NE(drawn.html.find("<title>&lt;Demo&gt; &amp; &quot;co&quot;</title>"), std::string::npos);
    EXPECT_NE(drawn.html.find("Log: candump log file, 3 lines, 3 frames"), std::string::npos);
    EXPECT_NE(drawn.svg.find(">Time: s from the log&#39;s first frame (1970-01-01 00:00:10.000000 UTC)<"),
              std::string::npos)
        << drawn.svg;
}

TEST(PlotWriters, NumbersDoNotDependOnTheLocale) {
    const std::string before = Awkward().svg;
    CommaLocale german;
    if (!german.Active()) GTEST_SKIP() << german.Why();
    ASSERT_EQ(std::to_string(0.5), "0,500000");
    const Drawn drawn = Awkward();
    EXPECT_EQ(drawn.svg, before);
    const std::regex number(" (x|y|width|height|font-size|stroke-width|fill-opacity)=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(drawn.svg.begin(), drawn.svg.end(), number); it != std::sregex_iterator(); ++it)
        EXPECT_TRUE(std::regex_match((*it)[2].str(), std::regex("-?[0-9]+(\\.[0-9])?"))) << (*it)[0];
    const std::regex points("points=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(drawn.svg.begin(), drawn.svg.end(), points); it != std::sregex_iterator(); ++it)
        EXPECT_TRUE(std::regex_match((*it)[1].str(), std::regex("(-?[0-9.]+,-?[0-9.]+ ?)+"))) << (*it)[0];
}

// A hundred thousand values and one spike across 500 pixels.
TEST(PlotWriters, APixelColumnGetsAtMostFourVerticesAndKeepsTheSpike) {
    Plot plot;
    plot.time.from = 0;
    plot.time.to = 100000;
    Chart chart;
    plot::Run run;
    for (std::int64_t t = 0; t < 100000; ++t)
        run.points.push_back({t, t == 54321 ? 1000.0 : static_cast<double>(t % 7)});
    run.end = 100000;
    chart.runs.push_back(run);
    FitValueAxis(chart);
    plot.charts.push_back(chart);
    FigureOptions options;
    options.width = 600;
    const PlotPicture picture = DrawPlot(plot, options);
    const Shape* line = nullptr;
    for (const Shape& s : picture.figure.shapes)
        if (s.kind == Shape::Kind::Polyline && s.stroke == kSeriesColour) line = &s;
    ASSERT_NE(line, nullptr);
    std::map<int, int> perColumn;
    double top = 1e9;
    for (const Point& p : line->points) {
        ++perColumn[static_cast<int>(std::floor(p.x))];
        top = std::min(top, p.y);
    }
    for (const auto& [column, count] : perColumn) EXPECT_LE(count, 4) << column;
    const ChartArea& area = picture.areas[0];
    EXPECT_NEAR(top, area.y + area.h - (1000 - chart.low) / (chart.high - chart.low) * area.h, 1e-6);
    EXPECT_LE(line->points.size(), 4 * static_cast<std::size_t>(area.w + 2));
}

TEST(PlotWriters, ValuesAndTimesAsTheUserReadsThem) {
    Chart signal;
    signal.kind = ChartKind::Signal;
    signal.unit = "A";
    signal.decimals = 1;
    Chart states = signal;
    states.unit = "";
    states.decimals = 0;
    states.states = {{0, "no alarm"}, {2, "overvoltage"}};
    Chart reg;
    Chart signedReg;
    signedReg.kind = ChartKind::SignedRegister;
    TimeAxis clock, measured, live;
    clock.origin = 1733661931000000;
    clock.clock = true;
    measured.origin = 1250000;
    live.live = true;
    const std::pair<std::string, std::string> kTexts[] = {
        {ValueText(signal, 400), "400.0 A"},
        {ValueText(signal, -0.04), "0.0 A"},
        {ValueText(states, 2), "2 \"overvoltage\""},
        {ValueText(states, 1), "1"},
        {ValueText(reg, 4000), "4000 (0x0FA0)"},
        {ValueText(signedReg, -500), "-500 (0xFE0C)"},
        {UtcText(0), "1970-01-01 00:00:00.000000 UTC"},
        {UtcText(-1), "1969-12-31 23:59:59.999999 UTC"},
        {TimeBaseText(clock), "s from the log's first frame (2024-12-08 12:45:31.000000 UTC)"},
        {TimeBaseText(measured), "s from the log's first frame (1.250000 s after the start of the measurement)"},
        {TimeBaseText(live), "s before now"},
        {TimeText(clock, 1600), "0.002 s"},
        {TimeText(live, -3000000), "-3.000 s"},
    };
    for (const auto& [text, expected] : kTexts) EXPECT_EQ(text, expected);
    std::vector<std::string> labels;
    for (const Tick& t : RoundTicks(-0.13, 1.02, 5, 0)) labels.push_back(t.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"0.0", "0.5", "1.0"}));
    FitValueAxis(states);  // no values: the state names still label the axis where they fall
    states.runs = {plot::Run{{{0, 0}, {10, 2}}, 20}};
    FitValueAxis(states);
    ASSERT_EQ(states.ticks.size(), 2u);
    EXPECT_EQ(states.ticks[1].label, "overvoltage");
}

}  // namespace
}  // namespace vestrel::plot
