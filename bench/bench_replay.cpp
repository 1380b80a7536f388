// Replay of a recorded CAN log through the gateway model of the demo project.
//
// Data: 1,000,000 frames of the demo project's bus with random data, so that
// nearly every frame changes registers (the CSV is as long as it can get),
// generated once into a scratch folder ($VESTREL_BENCH_DIR when set, else a
// fresh folder under $TMPDIR): a candump -l log (about 40 MB) and a Vector
// BLF file of the same frames (zlib containers of 128 KiB).
//
//   BM_ReadLog          the candump log read and parsed, frames counted: the floor.
//   BM_ReadBlf          the same for the BLF file.
//   BM_ReplayToNull     what `vestrel-cli replay` does: read, parse, match,
//                       update the register table, format every change as
//                       CSV; the CSV is thrown away.
//   BM_ReplayToFile     the same, the CSV written to a file with
//                       AtomicFileWriter (as --out does, without its sync).
//   BM_ReplayBlfToFile  the same from the BLF file.
//   BM_CliReplay/0, /1  the whole `vestrel-cli replay` process on the
//                       candump log (0) and the BLF file (1), its standard
//                       output (the CSV) sent to a file: process start,
//                       project compile and check included.
//   BM_CliReplay/2      the same on a log of 3,000,000 frames with random
//                       29-bit identifiers, for the peak RSS: the traffic
//                       counts stay bounded however many identifiers come.
//
// Each reports frames per second and the peak resident set size (of the
// process so far, or of the vestrel-cli child), which does not grow with the
// log's length.

#include "bench_folder.h"
#include "can_log_gen.h"
#include "can/can_log_reader.h"
#include "gateway/gateway_model.h"
#include "gateway/model_loading.h"
#include "gateway/replay.h"
#include "platform/file_util.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

namespace vestrel::bench {
namespace {

namespace fs = std::filesystem;
using namespace gateway;

constexpr std::uint64_t kFrames = 1000000;
constexpr std::uint64_t kRandomIdFrames = 3000000;

struct Workspace {
    vestrel::bench::BenchFolder folder;
    const fs::path& root = folder.Root();
    fs::path log;
    fs::path blf;
    fs::path randomIds;

    Workspace() {
        log = root / "bus-1M.log";
        if (!fs::exists(log)) WriteDemoBusLog(log, kFrames, 15);
        blf = root / "bus-1M.blf";
        if (!fs::exists(blf)) WriteDemoBusBlf(blf, kFrames, 15);
        randomIds = root / "random-ids-3M.log";
        if (!fs::exists(randomIds)) WriteRandomIdLog(randomIds, kRandomIdFrames, 15);
    }
};

Workspace& Data() {
    static Workspace workspace;
    return workspace;
}

const ProjectModel& Demo() {
    static const ProjectModel model = LoadProjectModel(VESTREL_DEMO_PROJECT);
    return model;
}

class NullSink : public TextSink {
public:
    void Write(std::string_view text) override { bytes += text.size(); }
    std::uint64_t bytes = 0;
};

void Report(benchmark::State& state, std::uint64_t frames) {
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsIterationInvariantRate);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::uint64_t ReplayInto(TextSink& sink, const fs::path& log) {
    can::CanLogReader reader(log);
    Replay replay(Demo().model, sink);
    can::LogFrame frame;
    can::BrokenLine broken;
    for (;;) {
        const auto step = reader.Next(frame, broken);
        if (step == can::CanLogReader::Step::End) break;
        if (step == can::CanLogReader::Step::Frame) replay.Feed(frame);
    }
    replay.Finish();
    return replay.Summary(reader).frames;
}

void ReadOnly(benchmark::State& state, const fs::path& log) {
    std::uint64_t frames = 0;
    for (auto _ : state) {
        can::CanLogReader reader(log);
        can::LogFrame frame;
        can::BrokenLine broken;
        frames = 0;
        while (reader.Next(frame, broken) != can::CanLogReader::Step::End) ++frames;
        benchmark::DoNotOptimize(frames);
    }
    Report(state, frames);
}

void BM_ReplayToNull(benchmark::State& state) {
    Data();
    Demo();
    std::uint64_t frames = 0, bytes = 0;
    for (auto _ : state) {
        NullSink sink;
        frames = ReplayInto(sink, Data().log);
        bytes = sink.bytes;
    }
    Report(state, frames);
    state.counters["csv_MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_ReadLog(benchmark::State& state) { ReadOnly(state, Data().log); }
void BM_ReadBlf(benchmark::State& state) { ReadOnly(state, Data().blf); }

void ReplayToFile(benchmark::State& state, const fs::path& log) {
    Demo();
    const fs::path out = Data().root / "replay.csv";
    std::uint64_t frames = 0;
    for (auto _ : state) {
        AtomicFileWriter writer(out, AtomicFileWriter::Sync::NoSync);
        AtomicFileSink sink(writer);
        frames = ReplayInto(sink, log);
        writer.Commit();
    }
    Report(state, frames);
}

void BM_ReplayToFile(benchmark::State& state) { ReplayToFile(state, Data().log); }
void BM_ReplayBlfToFile(benchmark::State& state) { ReplayToFile(state, Data().blf); }

// `vestrel-cli replay DEMO LOG > replay.csv`; returns the child's peak RSS in KiB.
long RunCliReplay(const fs::path& log, const fs::path& csv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, csv.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string cli = VESTREL_CLI_PATH, project = VESTREL_DEMO_PROJECT, logName = log.string();
    char* argv[] = {const_cast<char*>(cli.c_str()), const_cast<char*>("replay"), const_cast<char*>(project.c_str()),
                    const_cast<char*>(logName.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv, environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
    return usage.ru_maxrss;
}

void BM_CliReplay(benchmark::State& state) {
    const fs::path& log = state.range(0) == 0 ? Data().log : state.range(0) == 1 ? Data().blf : Data().randomIds;
    const fs::path csv = Data().root / "cli-replay.csv";
    long peak = 0;
    for (auto _ : state) {
        // Into a new file each time: replacing the last run's would time ext4 freeing it.
        state.PauseTiming();
        fs::remove(csv);
        state.ResumeTiming();
        peak = RunCliReplay(log, csv);
    }
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(state.range(0) == 2 ? kRandomIdFrames : kFrames),
                           benchmark::Counter::kIsIterationInvariantRate);
    state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
}

BENCHMARK(BM_ReadLog)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadBlf)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReplayToNull)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReplayToFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReplayBlfToFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliReplay)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vestrel::bench

BENCHMARK_MAIN();
