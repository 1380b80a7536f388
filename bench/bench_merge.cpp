// The S-record merge against its floor and against srec_cat.
//
// Data: an image of 16 MiB of data in 32-byte S2 records (about 41 MB of
// text) and two random 16 KiB bank files, generated once into a scratch
// folder: $VESTREL_BENCH_DIR when set, else a fresh folder under $TMPDIR.
//
//   BM_MergeBanks1And2   RunBankMerge as the firmware dialog runs it: banks 1
//                        and 2 spliced, stages 3 to 5 passed through. The new
//                        image of the last iteration is removed outside the
//                        timing, as for the copies below.
//   BM_MergeBanks1And2Replacing
//                        the same, the new image replacing the one of the
//                        last iteration, as on a second "Update Device".
//   BM_CopyTwiceStdio    the image copied to a new file and that file copied
//                        again, with 1 MiB stdio buffers: the floor of the
//                        two passes that a two-bank merge makes. The copies
//                        of the last iteration are removed outside the timing.
//   BM_CopyTwiceSynced   the same, the second copy synced to disk and renamed
//                        over the last one: what syncing the new image costs.
//   BM_CopyTwiceIostream the same as BM_CopyTwiceStdio with std::ifstream /
//                        std::ofstream.
//   BM_SrecCatSplice     srec_cat doing the same splice, as a subprocess.

#include "bench_folder.h"
#include "compiler/bank_map.h"
#include "firmware/bank_merge.h"
#include "platform/file_util.h"
#include "platform/sha256.h"
#include "srec_image_gen.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

extern char** environ;

namespace vestrel::bench {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kImageData = 16u << 20;

struct Workspace {
    vestrel::bench::BenchFolder folder;
    const fs::path& root = folder.Root();
    fs::path base, bin, out;

    Workspace() {
        base = root / "master" / "SX58316.sx";
        bin = root / "bin";
        out = root / "proj";
        fs::create_directories(base.parent_path());
        fs::create_directories(bin);
        fs::create_directories(out);
        if (!fs::exists(base)) WriteLargeImage(base, kImageData, 32);
        // Random banks, listed in banks.sha256 as a compile lists its set.
        std::string list;
        for (int bank = 1; bank <= 5; ++bank) {
            const std::string name = "bank" + std::to_string(bank) + ".bin";
            WriteRandomFile(bin / name, 16384, 1000u + static_cast<unsigned>(bank));
            list += vestrel::Sha256Hex(vestrel::ReadWholeFile(bin / name)) + "  " + name + "\n";
        }
        vestrel::WriteFileAtomic(bin / vestrel::kBankSetFile, list);
    }
};

Workspace& Files() {
    static Workspace workspace;
    return workspace;
}

struct QuietMessages : MessageSink {
    std::vector<std::string> shown;
    void Show(const std::string& text) override { shown.push_back(text); }
};

struct NullProgress : ProgressSink {
    std::int64_t steps = 0;
    void SetPosition(std::int64_t) override {}
    void SetMaximum(std::int64_t) override {}
    void Step() override { ++steps; }
};

void SetBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fs::file_size(Files().base)));
}

template <bool kReplace>
void MergeBanks1And2(benchmark::State& state) {
    Workspace& files = Files();
    BankMergeInputs inputs;
    inputs.baseFirmware = files.base;
    inputs.dirBin = files.bin.string() + "/";
    inputs.dirOut = files.out.string() + "/";
    inputs.newFileName = "New_SX58316.sx";
    inputs.bankSelection = {true, true, false, false, false};
    const fs::path newImage = files.out / inputs.newFileName;
    for (auto _ : state) {
        if (!kReplace) {
            state.PauseTiming();
            fs::remove(newImage);
            state.ResumeTiming();
        }
        QuietMessages messages;
        NullProgress progress;
        BankMergeRun run = RunBankMerge(inputs, messages, progress);
        if (!run.Complete(inputs.bankSelection)) {
            state.SkipWithError(messages.shown.empty() ? "merge incomplete" : messages.shown.front().c_str());
            break;
        }
        benchmark::DoNotOptimize(progress.steps);
    }
    SetBytes(state);
}

void BM_MergeBanks1And2(benchmark::State& state) { MergeBanks1And2<false>(state); }
void BM_MergeBanks1And2Replacing(benchmark::State& state) { MergeBanks1And2<true>(state); }

void CopyStdio(const fs::path& from, const fs::path& to) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(from.c_str(), "rb"), &std::fclose);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(to.c_str(), "wb"), &std::fclose);
    if (!in || !out) throw std::runtime_error("cannot copy " + from.string());
    static std::vector<char> buffer(1 << 20);
    std::setvbuf(in.get(), nullptr, _IONBF, 0);
    std::setvbuf(out.get(), nullptr, _IONBF, 0);
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0;)
        if (std::fwrite(buffer.data(), 1, n, out.get()) != n) throw std::runtime_error("cannot write " + to.string());
}

void CopyIostream(const fs::path& from, const fs::path& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    if (!out) throw std::runtime_error("cannot write " + to.string());
}

template <void (*Copy)(const fs::path&, const fs::path&)>
void BM_CopyTwice(benchmark::State& state) {
    Workspace& files = Files();
    const fs::path first = files.out / "copy1.sx", second = files.out / "copy2.sx";
    for (auto _ : state) {
        // Fresh files: freeing the last copies' blocks is not part of copying.
        state.PauseTiming();
        fs::remove(first);
        fs::remove(second);
        state.ResumeTiming();
        Copy(files.base, first);
        Copy(first, second);
    }
    fs::remove(first);
    fs::remove(second);
    SetBytes(state);
}

void BM_CopyTwiceStdio(benchmark::State& state) { BM_CopyTwice<CopyStdio>(state); }

// The stdio floor with the second copy made durable: written to a temporary
// name, synced, renamed over the last one.
void BM_CopyTwiceSynced(benchmark::State& state) {
    Workspace& files = Files();
    const fs::path first = files.out / "copy1.sx", temp = files.out / "copy2.tmp", second = files.out / "copy2.sx";
    for (auto _ : state) {
        CopyStdio(files.base, first);
        CopyStdio(first, temp);
        const int fd = ::open(temp.c_str(), O_RDONLY);
        if (fd < 0 || ::fsync(fd) != 0) throw std::runtime_error("cannot sync " + temp.string());
        ::close(fd);
        fs::rename(temp, second);
    }
    fs::remove(first);
    fs::remove(second);
    SetBytes(state);
}
void BM_CopyTwiceIostream(benchmark::State& state) { BM_CopyTwice<CopyIostream>(state); }

// Runs a program with its output thrown away; its exit status.
int Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_SrecCatSplice(benchmark::State& state) {
    Workspace& files = Files();
    const std::vector<std::string> command{
        "srec_cat", files.base.string(), "-exclude", "0x388000", "0x38C000", "-exclude", "0x398000", "0x39C000",
        (files.bin / "bank1.bin").string(), "-binary", "-offset", "0x388000",
        (files.bin / "bank2.bin").string(), "-binary", "-offset", "0x398000",
        "-o", (files.out / "srec_cat.sx").string(), "-address-length=3", "-obs=32"};
    for (auto _ : state) {
        if (Spawn(command) != 0) {
            state.SkipWithError("srec_cat failed or is not installed");
            break;
        }
    }
    fs::remove(files.out / "srec_cat.sx");
    SetBytes(state);
}

BENCHMARK(BM_MergeBanks1And2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MergeBanks1And2Replacing)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyTwiceStdio)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyTwiceSynced)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyTwiceIostream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SrecCatSplice)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace vestrel::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    vestrel::bench::Files();  // generate the data before any timing
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
