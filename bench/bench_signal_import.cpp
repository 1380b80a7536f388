// The import of the largest selection the banks can hold from a database the
// size of a J1939 one (bench/dbc_gen.cpp: 1,000 messages of 29-bit ids,
// 10,000 signals): 250 messages the gateway receives and 250 it transmits,
// six registers each, into a CAN 2.0B project that holds nothing yet.
//
//   BM_ImportLargestSelection  what `vestrel-cli import-signals` does: the
//                              database read and its SHA-256, the project
//                              read, the lists resolved, the import worked
//                              out and the five files written as one set.
//   BM_PlanLargestSelection    the same without reading or writing a file.
//   BM_RefusePastCapacity      251 messages in each direction: refused.
//
// Target: the whole command under 0.5 s (release build); a selection past
// the banks' capacity refused at once.

#include "bench_folder.h"
#include "dbc_gen.h"
#include "project/comm_parameters.h"
#include "signaldb/database_file.h"
#include "signaldb/signal_import.h"

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
    fs::path project = folder.Root() / "import-project";
    Workspace() {
        WriteJ1939LikeDbc(dbc, kMessages);
        EmptyProject();
    }
    // A CAN 2.0B project with settings only.
    void EmptyProject() const {
        fs::remove_all(project);
        fs::create_directories(project);
        CommParameters p = CommParameters::Defaults();
        p.CANType = "1";
        WriteCommParameters(project, p);
    }
};

Workspace& Data() {
    static Workspace workspace;
    return workspace;
}

// PGN_<from>,... : `count` messages.
std::string List(int from, int count) {
    std::string list;
    for (int m = from; m < from + count; ++m) list += (list.empty() ? "PGN_" : ",PGN_") + std::to_string(m);
    return list;
}

ImportRequest Request(const Database& db, int perDirection) {
    std::vector<std::string> refusals;
    ImportRequest request;
    request.picks.push_back(ResolveList(db, FrameDirection::Receive, List(0, perDirection), refusals));
    request.picks.push_back(ResolveList(db, FrameDirection::Transmit, List(500, perDirection), refusals));
    if (!refusals.empty()) throw std::runtime_error(refusals.front());
    return request;
}

void ReportMemory(benchmark::State& state) {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_ImportLargestSelection(benchmark::State& state) {
    std::size_t registers = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Data().EmptyProject();
        state.ResumeTiming();
        const std::string bytes = ReadDatabaseBytes(Data().dbc);
        const Database db = ParseDatabase(bytes, Data().dbc);
        const ImportOutcome outcome = PlanImport(ReadProjectTables(Data().project), db,
                                                 DescribeDatabase(Data().project, Data().dbc, bytes), Request(db, 250));
        WriteProjectTables(Data().project, outcome.tables);
        registers = outcome.assigned.size();
    }
    state.counters["registers"] = static_cast<double>(registers);
    state.counters["signals_xml_MB"] = static_cast<double>(fs::file_size(Data().project / "signals.xml")) / 1e6;
    ReportMemory(state);
}

void BM_PlanLargestSelection(benchmark::State& state) {
    Data().EmptyProject();
    const std::string bytes = ReadDatabaseBytes(Data().dbc);
    const Database db = ParseDatabase(bytes, Data().dbc);
    const ProjectTables project = ReadProjectTables(Data().project);
    const DatabaseSource source = DescribeDatabase(Data().project, Data().dbc, bytes);
    for (auto _ : state) {
        const ImportOutcome outcome = PlanImport(project, db, source, Request(db, 250));
        benchmark::DoNotOptimize(outcome.assigned.data());
    }
    ReportMemory(state);
}

void BM_RefusePastCapacity(benchmark::State& state) {
    Data().EmptyProject();
    const std::string bytes = ReadDatabaseBytes(Data().dbc);
    const Database db = ParseDatabase(bytes, Data().dbc);
    const ProjectTables project = ReadProjectTables(Data().project);
    const DatabaseSource source = DescribeDatabase(Data().project, Data().dbc, bytes);
    std::size_t reasons = 0;
    for (auto _ : state) {
        try {
            PlanImport(project, db, source, Request(db, 251));
        } catch (const ImportRefused& refused) {
            reasons = refused.Reasons().size();
        }
    }
    if (reasons != 2) state.SkipWithError("the selection past capacity was not refused for both directions");
}

BENCHMARK(BM_ImportLargestSelection)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlanLargestSelection)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RefusePastCapacity)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vestrel::bench

BENCHMARK_MAIN();
