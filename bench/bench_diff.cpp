// The comparison of two configurations before a flash, at the largest the
// banks hold.
//
// Data, generated into a scratch folder ($VESTREL_BENCH_DIR when set, else a
// fresh folder under $TMPDIR): two CAN 2.0A projects of 250 receive and 250
// transmit frames with every mapping record the banks have room for (2912
// receive, 3721 transmit), the second with changes all over, in each
// direction: two settings, Dimensin of 20 frames, other COB-IDs for 10, two
// frames swapped with their rows, a tenth of the registers fed by other
// bytes and a thirtieth renumbered. And the same two as
// images of a 16 MiB base image (41 MB of S-record text each).
//
//   BM_CompareProjects  both projects read and compiled as `diff` reads them,
//                       compared, and the text made: the figure to hold.
//   BM_CompareLoaded    the comparison and its text alone, the sides read once.
//   BM_CompareImages    two images of the 16 MiB base read (data outside the
//                       banks included) and compared.
//   BM_CliDiff          the whole `vestrel-cli diff OLD NEW` process on the
//                       two projects, its output to /dev/null, with the
//                       child's CPU time (user and system).

#include "bench_folder.h"
#include "srec_image_gen.h"

#include "compare/diff_document.h"
#include "compiler/bank_builder.h"
#include "compiler/bank_files.h"
#include "firmware/bank_merge.h"
#include "platform/file_util.h"
#include "platform/text.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

namespace vestrel::bench {
namespace {

namespace fs = std::filesystem;
using namespace compare;

constexpr int kFrames = 250;
constexpr int kReceiveRecords = 2912;
constexpr int kTransmitRecords = 3721;

struct Frame {
    std::uint32_t cobId;
    int length;
};
struct Record {
    int index, frame, posComp;
};

void WriteFrames(const fs::path& file, const std::vector<Frame>& frames, bool transmit) {
    std::string xml = "<COBID>";
    for (std::size_t i = 0; i < frames.size(); ++i)
        xml += "<row CobID=\"0x" + UpperHex(frames[i].cobId) + "\" Dimensin=\"" + std::to_string(frames[i].length) +
               (transmit ? "\" RTR=\"N" : "") + "\" Mnemonic=\"frame " + std::to_string(frames[i].cobId) + "\"/>";
    WriteFileAtomic(file, xml + "</COBID>");
}

void WriteRecords(const fs::path& file, const char* root, const std::vector<Record>& records) {
    std::string xml = std::string("<") + root + ">";
    for (const Record& r : records)
        xml += "<row Index=\"" + std::to_string(r.index) + "\" NrPdo=\"" + std::to_string(r.frame) + "\" PosComp=\"" +
               std::to_string(r.posComp) + "\"/>";
    WriteFileAtomic(file, xml + "</" + root + ">");
}

std::vector<Record> Records(int count, int firstRegister, int frames) {
    static constexpr int kPairs[] = {0x12, 0x34, 0x56, 0x78};
    std::vector<Record> records;
    for (int i = 0; i < count; ++i) records.push_back({firstRegister + i, 1 + i % frames, kPairs[(i / frames) % 4]});
    return records;
}

// One of the two projects; `changed` gives the second.
void WriteProject(const fs::path& dir, bool changed) {
    fs::create_directories(dir);
    WriteFileAtomic(dir / "pargen.xml",
                    std::string("<GeneralParameter><BaudRateCAN>") + (changed ? "6" : "5") +
                        "</BaudRateCAN><CANType>0</CANType><Baud_Ser>4</Baud_Ser><Par_Ser>2</Par_Ser><IDDev_Ser>" +
                        (changed ? "3" : "1") +
                        "</IDDev_Ser><TimeOut_Ser>1000</TimeOut_Ser><TimeOut_Data>10</TimeOut_Data>"
                        "<TO_ModReg>100</TO_ModReg><Serial>1</Serial></GeneralParameter>");
    for (const bool transmit : {false, true}) {
        std::vector<Frame> frames;
        for (int k = 0; k < kFrames; ++k) frames.push_back({static_cast<std::uint32_t>((transmit ? 0x400 : 0x100) + k), 8});
        std::vector<Record> records = Records(transmit ? kTransmitRecords : kReceiveRecords, transmit ? 20000 : 1, kFrames);
        if (changed) {
            for (int k = 0; k < 20; ++k) frames[static_cast<std::size_t>(k * 12)].length = 6;
            for (int k = 0; k < 10; ++k) frames[static_cast<std::size_t>(100 + k)].cobId += 0x200;
            std::swap(frames[5], frames[6]);
            for (Record& r : records) {
                if (r.frame == 6 || r.frame == 7) r.frame = 13 - r.frame;
                if (r.index % 10 == 3) r.posComp = 0x21;
                if (r.index % 30 == 7) r.index += 30000;
            }
        }
        WriteFrames(dir / (transmit ? "TCobDef.xml" : "RCobDef.xml"), frames, transmit);
        WriteRecords(dir / (transmit ? "TInfoCob.xml" : "RInfoCob.xml"), transmit ? "TInfoCob" : "RInfoCob", records);
    }
}

class QuietMessages : public MessageSink {
public:
    void Show(const std::string&) override { std::abort(); }
};
class NoProgress : public ProgressSink {
public:
    void SetPosition(std::int64_t) override {}
    void SetMaximum(std::int64_t) override {}
    void Step() override {}
};

// The project's image of the 16 MiB base, as update writes it.
fs::path WriteImage(const fs::path& project, const fs::path& base) {
    BankCompiler compiler;
    CompileProject(compiler, project);
    BankMergeInputs inputs;
    inputs.baseFirmware = base;
    inputs.dirBin = BankDir(project);
    inputs.dirOut = project;
    inputs.newFileName = "New_base.sx";
    QuietMessages messages;
    NoProgress progress;
    if (!RunBankMerge(inputs, messages, progress).Complete(inputs.bankSelection)) std::abort();
    return inputs.NewImage();
}

struct Workspace {
    BenchFolder folder;
    fs::path old = folder.Root() / "diff-old", now = folder.Root() / "diff-new";
    fs::path oldImage, newImage;

    Workspace() {
        WriteProject(old, false);
        WriteProject(now, true);
        const fs::path base = folder.Root() / "diff-base-16M.sx";
        if (!fs::exists(base)) WriteLargeImage(base, 16u << 20);
        oldImage = WriteImage(old, base);
        newImage = WriteImage(now, base);
    }
};

Workspace& Data() {
    static Workspace workspace;
    return workspace;
}

void Report(benchmark::State& state, const Comparison& c) {
    state.counters["changes"] = static_cast<double>(c.changes.size());
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void Compare(benchmark::State& state, const fs::path& a, const fs::path& b) {
    Comparison last;
    for (auto _ : state) {
        const ComparedSide old = LoadSide(a);
        const ComparedSide now = LoadSide(b);
        last = CompareSides(old, now);
        benchmark::DoNotOptimize(DiffDocument(old, now, last, DiffFormat::Text, {a.string(), b.string()}));
    }
    Report(state, last);
}

void BM_CompareProjects(benchmark::State& state) { Compare(state, Data().old, Data().now); }
void BM_CompareImages(benchmark::State& state) { Compare(state, Data().oldImage, Data().newImage); }

void BM_CompareLoaded(benchmark::State& state) {
    const ComparedSide old = LoadSide(Data().old);
    const ComparedSide now = LoadSide(Data().now);
    Comparison last;
    for (auto _ : state) {
        last = CompareSides(old, now);
        benchmark::DoNotOptimize(DiffDocument(old, now, last, DiffFormat::Text, {"old", "new"}));
    }
    Report(state, last);
}

void BM_CliDiff(benchmark::State& state) {
    const std::string cli = VESTREL_CLI_PATH, a = Data().old.string(), b = Data().now.string();
    double cpu = 0;
    for (auto _ : state) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>(cli.c_str()), const_cast<char*>("diff"), const_cast<char*>(a.c_str()),
                        const_cast<char*>(b.c_str()), nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv, environ) != 0) std::abort();
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        rusage usage{};
        if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 1) std::abort();
        cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    state.counters["child_cpu_ms"] = cpu * 1000;
}

BENCHMARK(BM_CompareProjects)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompareLoaded)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompareImages)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliDiff)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vestrel::bench

BENCHMARK_MAIN();
