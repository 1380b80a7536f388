// Replay of a recorded CAN log through the gateway model of the demo project.
//
// Data: a candump -l log of 1,000,000 frames (about 40 MB), generated once
// into a scratch folder ($VESTREL_BENCH_DIR when set, else a fresh folder
// under $TMPDIR) with random data, so that nearly every frame changes
// registers: the CSV is as long as it can get.
//
//   BM_ReadLog          the log read and parsed, frames counted: the floor.
//   BM_ReplayToNull     what `vestrel-cli replay` does: read, parse, match,
//                       update the register table, format every change as
//                       CSV; the CSV is thrown away.
//   BM_ReplayToFile     the same, the CSV written to a file with
//                       AtomicFileWriter (as --out does).
//
// Each reports frames per second and the peak resident set size of the
// process so far (getrusage), which does not grow with the log's length.

#include "bench_folder.h"
#include "can_log_gen.h"
#include "gateway/can_log_reader.h"
#include "gateway/gateway_model.h"
#include "gateway/replay.h"
#include "platform/file_util.h"

#include <sys/resource.h>

#include <cstdlib>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

namespace vestrel::bench {
namespace {

namespace fs = std::filesystem;
using namespace gateway;

constexpr std::uint64_t kFrames = 1000000;

struct Workspace {
    vestrel::bench::BenchFolder folder;
    const fs::path& root = folder.Root();
    fs::path log;

    Workspace() {
        log = root / "bus-1M.log";
        if (!fs::exists(log)) WriteDemoBusLog(log, kFrames, 15);
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

std::uint64_t ReplayInto(TextSink& sink) {
    CanLogReader reader(Data().log);
    Replay replay(Demo().model, sink);
    LogFrame frame;
    BrokenLine broken;
    for (;;) {
        const auto step = reader.Next(frame, broken);
        if (step == CanLogReader::Step::End) break;
        if (step == CanLogReader::Step::Frame) replay.Feed(frame);
    }
    replay.Finish();
    return replay.Summary(reader).frames;
}

void BM_ReadLog(benchmark::State& state) {
    Data();
    std::uint64_t frames = 0;
    for (auto _ : state) {
        CanLogReader reader(Data().log);
        LogFrame frame;
        BrokenLine broken;
        frames = 0;
        while (reader.Next(frame, broken) != CanLogReader::Step::End) ++frames;
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
        frames = ReplayInto(sink);
        bytes = sink.bytes;
    }
    Report(state, frames);
    state.counters["csv_MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_ReplayToFile(benchmark::State& state) {
    Data();
    Demo();
    const fs::path out = Data().root / "replay.csv";
    std::uint64_t frames = 0;
    for (auto _ : state) {
        AtomicFileWriter writer(out, AtomicFileWriter::Sync::NoSync);
        AtomicFileSink sink(writer);
        frames = ReplayInto(sink);
        writer.Commit();
    }
    Report(state, frames);
}

BENCHMARK(BM_ReadLog)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReplayToNull)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReplayToFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vestrel::bench

BENCHMARK_MAIN();
