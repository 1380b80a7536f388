// The bench window's live plot against the monitor it listens beside, at a
// bus of 1,000 frames a second.
//
// Data: the demo project with the demo drive's DBC imported (DriveStatus,
// DriveDiagnostics and AlarmWord received, SpeedSetpoint and ControlWord
// transmitted), 10,000 frames of those five with random data, 1 ms apart.
// Qt runs on its offscreen platform.
//
//   BM_SessionFeed/0  each frame through BenchSession::OnSent: the monitor
//                     counts it and feeds its table, the session emits it;
//                     no listener.
//   BM_SessionFeed/1  the same with the "Plot" page listening (six signals
//                     ticked): its own table and columns take every frame.
//   BM_PlotRefresh    what the page does four times a second while shown:
//                     the last 10 s (10,000 frames) as a plot, laid out for
//                     860 px and painted into an image.
//
// The share of a core that 1,000 frames a second take is 1,000 over
// frames_per_s; four refreshes a second take four times BM_PlotRefresh.

#include "bench_folder.h"
#include "gateway/model_loading.h"
#include "live/qt/bench_session.h"
#include "live/qt/can_bus.h"
#include "live/ui/bench_plot_page.h"
#include "plot/ui/chart_view.h"
#include "plot/ui/figure_painter.h"
#include "signaldb/database_file.h"
#include "signaldb/signal_import.h"

#include <QApplication>
#include <QPainter>

#include <cstdlib>
#include <random>

#include <benchmark/benchmark.h>

namespace vestrel::bench {
namespace {

namespace fs = std::filesystem;
using namespace gateway;

constexpr std::size_t kFrames = 10000;
constexpr std::int64_t kStart = 1733661931000000;

struct Drive {
    BenchFolder folder;
    fs::path project = folder.Root() / "LiveDrive";
    std::shared_ptr<const ProjectModel> loaded;
    std::vector<live::TimedFrame> frames;

    Drive() {
        fs::remove_all(project);
        fs::create_directories(project);
        fs::copy_file(fs::path(VESTREL_DEMO_PROJECT) / "pargen.xml", project / "pargen.xml");
        const fs::path dbc = VESTREL_DEMO_DBC;
        const std::string bytes = signaldb::ReadDatabaseBytes(dbc);
        const signaldb::Database db = signaldb::ParseDatabase(bytes, dbc);
        std::vector<std::string> refusals;
        signaldb::ImportRequest request{
            {signaldb::ResolveList(db, FrameDirection::Receive, "DriveStatus,DriveDiagnostics,AlarmWord", refusals),
             signaldb::ResolveList(db, FrameDirection::Transmit, "SpeedSetpoint,ControlWord", refusals)},
            std::nullopt, std::nullopt, signaldb::WordOrder::HighFirst, false};
        const auto outcome = signaldb::PlanImport(signaldb::ReadProjectTables(project), db,
                                                  signaldb::DescribeDatabase(project, dbc, bytes), request);
        signaldb::WriteProjectTables(project, outcome.tables);
        loaded = std::make_shared<const ProjectModel>(LoadProjectModel(project));
        std::mt19937 random(3);
        const std::pair<std::uint32_t, int> kinds[] = {{0x181, 8}, {0x481, 8}, {0x381, 2}, {0x201, 8}, {0x301, 2}};
        for (std::size_t i = 0; i < kFrames; ++i) {
            const auto& [id, length] = kinds[random() % 5];
            can::CanFrame frame;
            frame.id = id;
            frame.length = length;
            for (int b = 0; b < length; ++b) frame.data[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(random());
            frames.push_back({frame, kStart + static_cast<std::int64_t>(i) * 1000});
        }
    }

    SignalValues Meanings() const { return LoadSignalValues(project).signalValues; }
};

Drive& Data() {
    static Drive drive;
    return drive;
}

void BM_SessionFeed(benchmark::State& state) {
    live::BenchSession session;
    session.SetProject(Data().loaded, Data().Meanings());
    std::unique_ptr<live::TFBenchPlotPage> page;
    if (state.range(0) == 1) {
        page = std::make_unique<live::TFBenchPlotPage>();
        page->SetSession(&session);
    }
    for (auto _ : state)
        for (const live::TimedFrame& frame : Data().frames) session.OnSent(frame);
    state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(Data().frames.size()),
                                                        benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PlotRefresh(benchmark::State& state) {
    live::BenchSession session;
    session.SetProject(Data().loaded, Data().Meanings());
    live::TFBenchPlotPage page;
    page.resize(1100, 700);
    page.View()->resize(860, 600);
    page.SetSession(&session);
    for (const live::TimedFrame& frame : Data().frames) session.OnSent(frame);
    const std::int64_t now = Data().frames.back().time;
    for (auto _ : state) {
        page.Refresh(now);
        const plot::Figure& figure = page.View()->Picture().figure;
        QImage image(static_cast<int>(figure.width), static_cast<int>(figure.height), QImage::Format_RGB32);
        QPainter painter(&image);
        plot::PaintFigure(painter, figure);
        benchmark::DoNotOptimize(image.bits());
    }
    state.counters["charts"] = static_cast<double>(page.View()->Shown().charts.size());
}

BENCHMARK(BM_SessionFeed)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlotRefresh)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vestrel::bench

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
