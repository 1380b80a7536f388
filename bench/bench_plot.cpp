// Plots of a long log beside replay's CSV of the same log.
//
// Data: the demo bus of bench_replay (0x181, 0x281, 0x381 with random data,
// the gateway's own 0x201, an unknown 0x7E5), 1,000,000 frames and 100,000,
// as candump -l logs, generated once into a scratch folder
// ($VESTREL_BENCH_DIR when set). The project is the demo's with more mapping
// rows, so that twenty registers change with nearly every frame of theirs:
// 0x181 feeds ten, 0x281 four, 0x381 two, and 0x201 (transmit) four.
//
//   BM_ReplayCsv/N     Replay to CSV of N frames, the CSV thrown away: the
//                      replay that `vestrel-cli replay` does.
//   BM_PlotLog/N       PlotLog of the same log (20 charts), laid out and
//                      written as the HTML page; counters: the page's size.
//   BM_CliReplay/N     the whole `vestrel-cli replay` process, CSV to a file.
//   BM_CliPlot/N       the whole `vestrel-cli plot --out page.html`; peak RSS
//                      of the child, which does not grow with the log.

#include "bench_folder.h"
#include "can_log_gen.h"
#include "gateway/model_loading.h"
#include "gateway/replay.h"
#include "platform/file_util.h"
#include "plot/log_plot.h"
#include "plot/plot_svg.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace vestrel::bench {
namespace {

namespace fs = std::filesystem;
using namespace gateway;
using can::BrokenLine;
using can::CanLogReader;
using can::LogFrame;

// "Index NrPdo PosComp" rows: a register from two data bytes (1-based).
std::string Rows(const char* root, const std::vector<std::array<int, 4>>& rows) {
    std::string xml = std::string("<") + root + ">";
    for (const auto& [reg, frame, high, low] : rows)
        xml += "<row Index=\"" + std::to_string(reg) + "\" NrPdo=\"" + std::to_string(frame) + "\" PosComp=\"" +
               std::to_string(high * 16 + low) + "\"/>";
    return xml + "</" + root + ">";
}

struct Workspace {
    BenchFolder folder;
    fs::path project = folder.Root() / "Plot20";
    std::map<std::int64_t, fs::path> logs;

    Workspace() {
        fs::create_directories(project);
        for (const char* file : {"pargen.xml", "RCobDef.xml", "TCobDef.xml"})
            fs::copy_file(fs::path(VESTREL_DEMO_PROJECT) / file, project / file, fs::copy_options::overwrite_existing);
        WriteFileAtomic(project / "RInfoCob.xml",
                        Rows("RInfoCob", {{1, 1, 1, 2}, {2, 1, 3, 4}, {3, 1, 5, 6}, {4, 1, 7, 8}, {30, 1, 2, 1},
                                          {31, 1, 4, 3}, {32, 1, 6, 5}, {33, 1, 8, 7}, {34, 1, 2, 3}, {35, 1, 6, 7},
                                          {10, 2, 1, 2}, {11, 2, 3, 4}, {40, 2, 2, 1}, {41, 2, 4, 3}, {20, 3, 1, 2},
                                          {50, 3, 2, 1}}));
        WriteFileAtomic(project / "TInfoCob.xml",
                        Rows("TInfoCob", {{100, 1, 1, 2}, {101, 1, 3, 4}, {102, 1, 5, 6}, {103, 1, 7, 8}}));
        for (const std::int64_t frames : {100000, 1000000}) {
            const fs::path log = folder.Root() / ("bus-" + std::to_string(frames) + ".log");
            if (!fs::exists(log)) WriteDemoBusLog(log, static_cast<std::uint64_t>(frames), 15);
            logs[frames] = log;
        }
    }
};

Workspace& Data() {
    static Workspace workspace;
    return workspace;
}

const ProjectModel& Project() {
    static const ProjectModel model = LoadProjectModel(Data().project);
    return model;
}

class NullSink : public TextSink {
public:
    void Write(std::string_view text) override { bytes += text.size(); }
    std::uint64_t bytes = 0;
};

double PeakRssMiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void Frames(benchmark::State& state) {
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(state.range(0)), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReplayCsv(benchmark::State& state) {
    const fs::path& log = Data().logs.at(state.range(0));
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        CanLogReader reader(log);
        NullSink sink;
        Replay replay(Project().model, sink);
        LogFrame frame;
        BrokenLine broken;
        for (auto step = reader.Next(frame, broken); step != CanLogReader::Step::End; step = reader.Next(frame, broken))
            if (step == CanLogReader::Step::Frame) (void)replay.Feed(frame);
        replay.Finish();
        bytes = sink.bytes;
    }
    Frames(state);
    state.counters["csv_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["peak_rss_MiB"] = PeakRssMiB();
}

void BM_PlotLog(benchmark::State& state) {
    const fs::path& log = Data().logs.at(state.range(0));
    std::size_t page = 0, charts = 0;
    for (auto _ : state) {
        plot::LogPlotOptions options;
        options.sources = plot::DefaultSources(Project().model, nullptr);
        const plot::LogPlot plotted = plot::PlotLog(Project().model, nullptr, log, options);
        const plot::PlotPicture picture = plot::DrawPlot(plotted.plot, {});
        page = plot::PlotHtml(plotted.plot, picture.figure, ReplaySummaryLines(Project().model, plotted.summary)).size();
        charts = plotted.plot.charts.size();
    }
    Frames(state);
    state.counters["charts"] = static_cast<double>(charts);
    state.counters["page_MB"] = static_cast<double>(page) / 1e6;
    state.counters["peak_rss_MiB"] = PeakRssMiB();
}

// A vestrel-cli run with its stdout into `out`; returns the child's peak RSS in KiB.
long RunCli(const std::vector<std::string>& args, const fs::path& out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> words{VESTREL_CLI_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, VESTREL_CLI_PATH, &actions, nullptr, argv.data(), environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
    return usage.ru_maxrss;
}

void CliRun(benchmark::State& state, bool plot) {
    const fs::path& log = Data().logs.at(state.range(0));
    const fs::path out = Data().folder.Root() / (plot ? "page.html" : "replay.csv");
    long peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(out);
        state.ResumeTiming();
        peak = plot ? RunCli({"plot", Data().project.string(), log.string(), "--out", out.string()}, "/dev/null")
                    : RunCli({"replay", Data().project.string(), log.string()}, out);
    }
    Frames(state);
    state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
    state.counters["out_MB"] = static_cast<double>(fs::file_size(out)) / 1e6;
}

void BM_CliReplay(benchmark::State& state) { CliRun(state, false); }
void BM_CliPlot(benchmark::State& state) { CliRun(state, true); }

BENCHMARK(BM_ReplayCsv)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlotLog)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliReplay)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliPlot)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vestrel::bench

BENCHMARK_MAIN();
