// Logs plotted against what replay writes of the same logs: every register
// change and every change of a signal's value is a point at its time, each
// column keeps the extremes of the changes in it, and what the log does not
// tell (halves never fed, frames that stayed away) shows as such.
#include "gateway/model_loading.h"
#include "gateway/replay.h"
#include "platform/error.h"
#include "plot/log_plot.h"
#include "signaldb/database_file.h"
#include "signaldb/signal_import.h"
#include "support/temp_dir.h"

#include <charconv>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

namespace vestrel::plot {
namespace {

using namespace gateway;
using can::BrokenLine;
using can::CanLogReader;
using can::LogFrame;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

const ProjectModel& Demo() {
    static const ProjectModel demo = LoadProjectModel(VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo");
    return demo;
}

// The demo drive's status, diagnostics and alarm frames received and its
// set point and control word transmitted, imported from its DBC.
struct DriveProject {
    TempDir dir;
    fs::path project = dir / "Drive";
    ProjectModel loaded;
    SignalValues signalValues;

    DriveProject() : loaded(Load(project, dir)), signalValues(LoadSignalValues(project).signalValues) {}

    static ProjectModel Load(const fs::path& project, const TempDir& dir) {
        fs::create_directory(project);
        fs::copy_file(VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo/pargen.xml", project / "pargen.xml");
        const fs::path dbc = dir / "demo-drive.dbc";
        fs::copy_file(VESTREL_EXAMPLES_DIR "/demo-drive.dbc", dbc);
        const std::string bytes = signaldb::ReadDatabaseBytes(dbc);
        const signaldb::Database db = signaldb::ParseDatabase(bytes, dbc);
        std::vector<std::string> refusals;
        signaldb::ImportRequest request{
            {signaldb::ResolveList(db, FrameDirection::Receive, "DriveStatus,DriveDiagnostics,AlarmWord", refusals),
             signaldb::ResolveList(db, FrameDirection::Transmit, "SpeedSetpoint,ControlWord", refusals)},
            std::nullopt, std::nullopt, signaldb::WordOrder::HighFirst, false};
        EXPECT_TRUE(refusals.empty());
        const auto outcome = signaldb::PlanImport(signaldb::ReadProjectTables(project), db,
                                                  signaldb::DescribeDatabase(project, dbc, bytes), request);
        signaldb::WriteProjectTables(project, outcome.tables);
        return LoadProjectModel(project);
    }
};

LogPlot PlotText(const std::string& log, LogPlotOptions options = {}, const GatewayModel& model = Demo().model,
                 const SignalValues* signals = nullptr) {
    TempDir dir;
    WriteFile(dir / "bus.log", log);
    if (options.sources.empty()) options.sources = DefaultSources(model, signals);
    return PlotLog(model, signals, dir / "bus.log", options);
}

// The CSV rows replay writes for the log: time in microseconds, the second
// column (register or signal), the new value as written.
struct ChangeRow {
    std::int64_t time;
    std::string what;
    std::string value;
};

std::vector<ChangeRow> ReplayRows(const std::string& log, const GatewayModel& model = Demo().model,
                                  const SignalValues* signals = nullptr) {
    class Sink : public TextSink {
    public:
        void Write(std::string_view text) override { csv.append(text); }
        std::string csv;
    } sink;
    TempDir dir;
    WriteFile(dir / "bus.log", log);
    CanLogReader reader(dir / "bus.log");
    Replay replay(model, sink, {}, signals);
    LogFrame frame;
    BrokenLine broken;
    for (auto step = reader.Next(frame, broken); step != CanLogReader::Step::End; step = reader.Next(frame, broken))
        if (step == CanLogReader::Step::Frame) (void)replay.Feed(frame);
    replay.Finish();
    std::vector<ChangeRow> rows;
    std::istringstream lines(sink.csv);
    std::string line;
    std::getline(lines, line);  // the header
    while (std::getline(lines, line)) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, ',');) cells.push_back(cell);
        const std::size_t dot = cells[0].find('.');
        const std::int64_t time = std::stoll(cells[0].substr(0, dot)) * 1000000 + std::stoll(cells[0].substr(dot + 1));
        // Registers: time,register,old,new,...; signals: time,signal,value,...
        rows.push_back({time, cells[1], cells[signals ? 2 : 3]});
    }
    return rows;
}

const Chart* ChartNamed(const Plot& plot, const std::string& name) {
    for (const Chart& chart : plot.charts)
        if (chart.name == name) return &chart;
    return nullptr;
}

std::vector<StepPoint> PointsOf(const Chart& chart) {
    std::vector<StepPoint> points;
    for (const plot::Run& run : chart.runs) points.insert(points.end(), run.points.begin(), run.points.end());
    return points;
}

// Frames of the demo bus, `count` of them 1 ms apart, with random data.
std::string RandomDemoLog(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    const char* ids[] = {"181", "281", "381", "201"};
    const int lengths[] = {8, 4, 2, 8};
    std::string log;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t which = random() % 4;
        char line[96];
        std::string data;
        for (int b = 0; b < lengths[which]; ++b) data += "0123456789ABCDEF"[random() % 3] + std::string(1, "0123456789ABCDEF"[random() % 16]);
        std::snprintf(line, sizeof line, "(%lld.%06lld) can0 %s#%s\n", 1700000000LL + static_cast<long long>(i / 1000),
                      static_cast<long long>(i % 1000) * 1000, ids[which], data.c_str());
        log += line;
    }
    return log;
}

double RegisterNumber(const std::string& text) {
    unsigned value = 0;
    std::from_chars(text.data() + 2, text.data() + text.size(), value, 16);
    return value;
}

// Every change replay writes of a register to a known value is a point of
// that register's chart at the change's time, and there are no others.
TEST(LogPlot, EveryRegisterChangeReplayWritesIsAPointAtItsTime) {
    std::ifstream demo(VESTREL_EXAMPLES_DIR "/demo-bus.log");
    const std::string demoLog((std::istreambuf_iterator<char>(demo)), std::istreambuf_iterator<char>());
    for (const std::string& log : {demoLog, RandomDemoLog(1500, 3)}) {
        const LogPlot plotted = PlotText(log);
        const std::vector<ChangeRow> rows = ReplayRows(log);
        ASSERT_FALSE(rows.empty());
        std::map<std::string, std::size_t> known;
        for (const ChangeRow& row : rows) {
            if (row.value.find('?') != std::string::npos) continue;  // still a gap
            const Chart* chart = ChartNamed(plotted.plot, "receive register " + row.what);
            ASSERT_NE(chart, nullptr) << row.what;
            const std::vector<StepPoint> points = PointsOf(*chart);
            const StepPoint expected{row.time - plotted.plot.time.origin, RegisterNumber(row.value)};
            EXPECT_NE(std::find(points.begin(), points.end(), expected), points.end())
                << "register " << row.what << " at " << expected.time;
            ++known[row.what];
        }
        for (const auto& [reg, count] : known)
            EXPECT_EQ(PointsOf(*ChartNamed(plotted.plot, "receive register " + reg)).size(), count) << reg;
    }
}

// A long log in few columns: each column of a chart keeps the first, the
// lowest, the highest and the last of the values replay says it took there.
TEST(LogPlot, EachColumnKeepsTheExtremesOfTheChangesInIt) {
    const std::string log = RandomDemoLog(40000, 5);
    LogPlotOptions options;
    options.columns = 64;
    const LogPlot plotted = PlotText(log, options);
    const std::int64_t width = plotted.plot.time.resolution;
    EXPECT_GE(width * 64, plotted.plot.time.to);
    std::map<std::pair<std::string, std::int64_t>, std::vector<StepPoint>> columns;
    for (const ChangeRow& row : ReplayRows(log))
        if (row.value.find('?') == std::string::npos) {
            const std::int64_t t = row.time - plotted.plot.time.origin;
            columns[{row.what, t / width}].push_back({t, RegisterNumber(row.value)});
        }
    for (const auto& [key, changes] : columns) {
        const std::vector<StepPoint> points = PointsOf(*ChartNamed(plotted.plot, "receive register " + key.first));
        auto lowest = std::min_element(changes.begin(), changes.end(),
                                       [](const StepPoint& a, const StepPoint& b) { return a.value < b.value; });
        auto highest = std::max_element(changes.begin(), changes.end(),
                                        [](const StepPoint& a, const StepPoint& b) { return a.value < b.value; });
        for (const StepPoint& kept : {changes.front(), *lowest, *highest, changes.back()})
            EXPECT_NE(std::find(points.begin(), points.end(), kept), points.end())
                << "register " << key.first << ", column " << key.second << ": " << kept.value << " at " << kept.time;
    }
    for (const Chart& chart : plotted.plot.charts) EXPECT_LE(PointsOf(chart).size(), 4u * 64);
}

// Imported signals: each value replay --signals writes is a point of the
// signal's chart, written as the chart writes its values.
TEST(LogPlot, EverySignalChangeReplayWritesIsAPointOfItsPhysicalValue) {
    const DriveProject drive;
    std::mt19937 random(9);
    std::string log;
    for (int i = 0; i < 400; ++i) {
        std::string data;
        for (int b = 0; b < 8; ++b) data += "0123456789ABCDEF"[random() % 16] + std::string(1, "0123456789ABCDEF"[random() % 16]);
        const char* id = i % 3 == 0 ? "181" : i % 3 == 1 ? "481" : "381";
        log += "(1700000000." + std::to_string(100000 + i * 1000) + ") can0 " + id + "#" +
               (i % 3 == 2 ? data.substr(0, 4) : data) + "\n";
    }
    const LogPlot plotted = PlotText(log, {}, drive.loaded.model, &drive.signalValues);
    const std::vector<ChangeRow> rows = ReplayRows(log, drive.loaded.model, &drive.signalValues);
    ASSERT_GT(rows.size(), 400u);
    std::map<std::string, std::size_t> counts;
    for (const ChangeRow& row : rows) {
        const Chart* chart = ChartNamed(plotted.plot, row.what);
        ASSERT_NE(chart, nullptr) << row.what;
        const std::int64_t t = row.time - plotted.plot.time.origin;
        const auto points = PointsOf(*chart);
        const bool found = std::any_of(points.begin(), points.end(), [&](const StepPoint& p) {
            return p.time == t && NumberText(p.value, chart->decimals) == row.value;
        });
        EXPECT_TRUE(found) << row.what << " = " << row.value << " at " << t;
        ++counts[row.what];
    }
    for (const auto& [name, count] : counts) EXPECT_EQ(PointsOf(*ChartNamed(plotted.plot, name)).size(), count) << name;
    const Chart* alarm = ChartNamed(plotted.plot, "Alarm");
    ASSERT_NE(alarm, nullptr);
    EXPECT_EQ(alarm->kind, ChartKind::Signal);
    EXPECT_EQ(ValueText(*alarm, 2), "2 \"overvoltage\"");
    // Signals the log holds no frame of (the transmit ones) are left out.
    EXPECT_EQ(ChartNamed(plotted.plot, "ControlWord"), nullptr);
}

// What the log leaves unknown stays a gap, stale stretches are marked, the
// gateway's own frames give the transmit registers, and the options cut.
TEST(LogPlot, GapsMarksTransmitFramesAndTheStretch) {
    // 0x281 with two bytes: register 10 known, register 11 not until the
    // second frame. 0x181 stays away 15 s, longer than the demo's 10 s
    // data time-out, and again from 15 s to the log's end at 30 s.
    const LogPlot plotted = PlotText(
        "(100.000000) can0 181#0001000200030004\n"
        "(100.500000) can0 281#0019\n"
        "(101.000000) can0 201#05DC000000000000\n"
        "(101.500000) can0 281#001A0020\n"
        "(115.000000) can0 181#0001000200030005\n"
        "(130.000000) can0 281#001A0021\n");
    const Chart* reg11 = ChartNamed(plotted.plot, "receive register 11");
    ASSERT_NE(reg11, nullptr);
    ASSERT_EQ(reg11->runs.size(), 1u);
    EXPECT_EQ(reg11->runs[0].points.front(), (StepPoint{1500000, 0x20}));
    EXPECT_FALSE(ValueAt(*reg11, 1000000));
    const Chart* reg4 = ChartNamed(plotted.plot, "receive register 4");
    ASSERT_NE(reg4, nullptr);
    ASSERT_EQ(reg4->marks.size(), 2u);
    EXPECT_EQ(reg4->marks[0].kind, MarkKind::TimedOut);
    EXPECT_EQ(reg4->marks[0].from, 10000000);
    EXPECT_EQ(reg4->marks[0].to, 15000000);
    EXPECT_EQ(reg4->marks[1].from, 25000000);
    EXPECT_EQ(reg4->marks[1].to, 30000000);
    EXPECT_EQ(ValueAt(*reg4, 20000000), 5);
    // 0x281 from 1.5 s to 30 s: stale from 11.5 s on.
    const std::vector<Mark>& reg10 = ChartNamed(plotted.plot, "receive register 10")->marks;
    ASSERT_EQ(reg10.size(), 1u);
    EXPECT_EQ(reg10[0].from, 11500000);
    EXPECT_EQ(reg10[0].to, 30000000);
    const Chart* tx = ChartNamed(plotted.plot, "transmit register 100");
    ASSERT_NE(tx, nullptr);
    EXPECT_EQ(ValueAt(*tx, 2000000), 0x05DC);
    EXPECT_EQ(ValueText(*tx, 0x05DC), "1500 (0x05DC)");
    ASSERT_EQ(plotted.plot.legend.size(), 1u);
    EXPECT_EQ(plotted.plot.legend[0].kind, MarkKind::TimedOut);
    EXPECT_TRUE(plotted.plot.time.clock);
    EXPECT_EQ(plotted.plot.time.origin, 100000000);
    EXPECT_EQ(plotted.summary.frames, 6u);

    // From 1.2 s to 20 s: register 11 is still a gap when it begins, register
    // 4 starts with the value it held, and nothing after 20 s is drawn.
    LogPlotOptions cut;
    cut.from = 1200000;
    cut.to = 20000000;
    const LogPlot stretch = PlotText(
        "(100.000000) can0 181#0001000200030004\n(100.500000) can0 281#0019\n(101.500000) can0 281#001A0020\n"
        "(115.000000) can0 181#0001000200030005\n(130.000000) can0 181#0001000200030006\n",
        cut);
    const Chart* held = ChartNamed(stretch.plot, "receive register 4");
    ASSERT_EQ(held->runs.size(), 1u);
    EXPECT_EQ(held->runs[0].points.front(), (StepPoint{1200000, 4}));
    EXPECT_EQ(held->runs[0].points.back(), (StepPoint{15000000, 5}));
    EXPECT_EQ(held->runs[0].end, 20000000);
    EXPECT_EQ(ChartNamed(stretch.plot, "receive register 11")->runs[0].points.front().time, 1500000);
    EXPECT_EQ(stretch.plot.time.from, 1200000);
    EXPECT_EQ(stretch.plot.time.to, 20000000);
}

// The database's cycle time, kept in signals.xml: DriveStatus comes every
// 100 ms, so a gap of more than 150 ms is marked late, and the legend and
// the chart's origin say so.
TEST(LogPlot, AFrameLateForItsCycleTimeIsMarked) {
    const DriveProject drive;
    const LogPlot plotted = PlotText("(100.000000) can0 181#0001000200030004\n(100.100000) can0 181#0001000200030005\n"
                                     "(100.500000) can0 181#0001000200030006\n(100.550000) can0 181#0001000200030007\n",
                                     {}, drive.loaded.model, &drive.signalValues);
    const Chart* speed = ChartNamed(plotted.plot, "ActualSpeed");
    ASSERT_NE(speed, nullptr);
    EXPECT_TRUE(speed->origin.ends_with(", every 100 ms")) << speed->origin;
    ASSERT_EQ(speed->marks.size(), 1u);
    EXPECT_EQ(speed->marks[0].kind, MarkKind::Late);
    EXPECT_EQ(speed->marks[0].from, 250000);
    EXPECT_EQ(speed->marks[0].to, 500000);
    ASSERT_FALSE(plotted.plot.legend.empty());
    EXPECT_EQ(plotted.plot.legend[0].kind, MarkKind::Late);
}

TEST(LogPlot, AChannelAndALogWithoutTimeStamps) {
    LogPlotOptions can1;
    can1.channel = "can1";
    const LogPlot channel = PlotText(
        "(1.000000) can0 381#0001\n(1.100000) can1 381#0002\n(1.200000) can0 381#0003\n", can1);
    const Chart* reg20 = ChartNamed(channel.plot, "receive register 20");
    ASSERT_NE(reg20, nullptr);
    EXPECT_EQ(PointsOf(*reg20), (std::vector<StepPoint>{{100000, 2}}));
    EXPECT_EQ(channel.summary.otherChannelFrames, 2u);

    // candump's screen format without -t: the frames are counted instead.
    const LogPlot untimed = PlotText("  can0  381   [2]  00 07\n  can0  181   [8]  00 00 00 00 00 00 00 00\n"
                                     "  can0  381   [2]  00 09\n");
    EXPECT_EQ(untimed.plot.time.unit, TimeUnit::Frames);
    EXPECT_EQ(PointsOf(*ChartNamed(untimed.plot, "receive register 20")),
              (std::vector<StepPoint>{{0, 7}, {2000000, 9}}));
    EXPECT_EQ(TimeText(untimed.plot.time, 2000000), "frame 3");
    EXPECT_TRUE(untimed.plot.legend.empty());
}

TEST(LogPlot, NamedChartsAreFoundOrRefusedWithTheReason) {
    const DriveProject drive;
    const GatewayModel& model = drive.loaded.model;
    const std::vector<ChartSource> signals = NamedSignals(&drive.signalValues, " ActualSpeed ,AlarmWord.Alarm");
    ASSERT_EQ(signals.size(), 2u);
    EXPECT_EQ(signals[0].signal->name, "ActualSpeed");
    EXPECT_EQ(signals[1].signal->name, "Alarm");
    const std::vector<ChartSource> regs = NamedRegisters(Demo().model, "1,100,0x14");
    ASSERT_EQ(regs.size(), 3u);
    EXPECT_EQ(regs[1].direction, FrameDirection::Transmit);
    EXPECT_EQ(regs[2].reg, 20);

    const struct {
        std::function<void()> run;
        std::string message;
    } kRefusals[] = {
        {[&] { NamedSignals(&drive.signalValues, "NoSuchSignal"); }, "--signals: no imported signal is named NoSuchSignal"},
        {[&] { NamedSignals(&drive.signalValues, "ActualSpeed,,Alarm"); },
         "--signals: signal names are separated by commas, not 'ActualSpeed,,Alarm'"},
        {[&] { NamedSignals(nullptr, "ActualSpeed"); }, "--signals needs a project with imported signals (signals.xml)"},
        {[&] { NamedRegisters(Demo().model, "9"); }, "register 9 is mapped in neither direction"},
        {[&] { NamedRegisters(model, "1,two"); },
         "--registers takes register numbers from 0 to 65535 separated by commas, not 'two'"},
        {[&] { NamedRegisters(model, "70000"); },
         "--registers takes register numbers from 0 to 65535 separated by commas, not '70000'"},
    };
    for (const auto& refusal : kRefusals) {
        try {
            refusal.run();
            ADD_FAILURE() << "not refused: " << refusal.message;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), refusal.message);
        }
    }
}

}  // namespace
}  // namespace vestrel::plot
