// The listing of a CAN database the size of a J1939 one: 1,000 messages of
// 29-bit ids, 10,000 signals (bench/dbc_gen.cpp), generated into a scratch
// folder ($VESTREL_BENCH_DIR when set).
//
//   BM_ReadDbc          the file read and parsed into the signal model.
//   BM_PlanDatabase     the register plan of every message.
//   BM_SignalsListing   what `vestrel-cli signals` does: read, plan and the
//                       listing text (thrown away).
//
// Target: the whole listing under 0.5 s (release build).

#include "bench_folder.h"
#include "dbc_gen.h"
#include "signaldb/database_file.h"
#include "signaldb/register_plan.h"
#include "signaldb/signal_listing.h"

#include <sys/resource.h>

#include <benchmark/benchmark.h>

namespace vestrel::bench {
namespace {

namespace fs = std::filesystem;
using namespace signaldb;

constexpr int kMessages = 1000;

struct Workspace {
    BenchFolder folder;
    fs::path dbc = folder.Root() / "j1939-like.dbc";
    Workspace() { WriteJ1939LikeDbc(dbc, kMessages); }
};

Workspace& Data() {
    static Workspace workspace;
    return workspace;
}

void Report(benchmark::State& state, const Database& db) {
    state.counters["messages"] = static_cast<double>(db.messages.size());
    state.counters["signals"] = static_cast<double>(db.SignalCount());
    state.counters["file_MB"] = static_cast<double>(fs::file_size(Data().dbc)) / 1e6;
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_ReadDbc(benchmark::State& state) {
    Database db;
    for (auto _ : state) {
        db = ReadDatabaseFile(Data().dbc);
        benchmark::DoNotOptimize(db.messages.data());
    }
    Report(state, db);
}

void BM_PlanDatabase(benchmark::State& state) {
    const Database db = ReadDatabaseFile(Data().dbc);
    for (auto _ : state) {
        const DatabasePlan plan = PlanDatabase(db, CanMode::Can20B, WordOrder::HighFirst);
        benchmark::DoNotOptimize(plan.messages.data());
    }
    Report(state, db);
}

void BM_SignalsListing(benchmark::State& state) {
    Database db;
    std::size_t bytes = 0;
    for (auto _ : state) {
        db = ReadDatabaseFile(Data().dbc);
        bytes = DatabaseListing(db, PlanDatabase(db, std::nullopt, WordOrder::HighFirst)).size();
        benchmark::DoNotOptimize(bytes);
    }
    Report(state, db);
    state.counters["listing_MB"] = static_cast<double>(bytes) / 1e6;
}

BENCHMARK(BM_ReadDbc)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlanDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SignalsListing)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vestrel::bench

BENCHMARK_MAIN();
