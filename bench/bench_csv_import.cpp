// The frame table's CSV import: time and peak memory for files of 40 MB and
// 400 MB, generated at run time into a scratch folder ($VESTREL_BENCH_DIR
// when set, else a fresh folder under $TMPDIR, removed afterwards).
//
// Each import runs in a child process of its own, so that its peak resident
// set (getrusage of that child) holds the import and nothing else; an idle
// child gives the floor that every child starts from.
//
//   bench_csv_import [repetitions]      (default 5)
//
// "streamed" is ImportFrameTableSheet, which reads the file a piece at a
// time. "whole text" reads the file into memory and parses all of it
// (ParseCsvRows, FrameRowsFromRecords), as the import did before; it runs on
// the 40 MB file only.

#include "bench_folder.h"
#include "editors/frame_table_csv.h"
#include "frame_csv_gen.h"
#include "platform/file_util.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace vestrel;

struct Run {
    double seconds = 0;
    long peakKb = 0;
    bool ok = false;
};

// Runs `work` in a child; its wall time comes back through a pipe, its peak
// resident set from wait4.
Run InChild(const std::function<bool()>& work) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const auto start = std::chrono::steady_clock::now();
        const bool ok = work();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        (void)!::write(fds[1], &seconds, sizeof seconds);
        ::_exit(ok ? 0 : 1);
    }
    ::close(fds[1]);
    Run run;
    if (::read(fds[0], &run.seconds, sizeof run.seconds) != sizeof run.seconds) run.seconds = -1;
    ::close(fds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.peakKb = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Report(const char* what, const fs::path& file, std::uint64_t records, int repetitions, long floorKb,
            const std::function<FrameSheetRead()>& import) {
    std::vector<double> times;
    std::vector<double> peaks;
    for (int i = 0; i < repetitions; ++i) {
        const Run run = InChild([&] {
            const FrameSheetRead read = import();
            return read.rows.size() == 250 && static_cast<std::uint64_t>(read.leftOut) == records - 250;
        });
        if (!run.ok) {
            std::printf("| %s | %s | failed |\n", what, file.filename().c_str());
            return;
        }
        times.push_back(run.seconds);
        peaks.push_back(static_cast<double>(run.peakKb));
    }
    const double mb = static_cast<double>(fs::file_size(file)) / 1e6;
    const double peakMb = Median(peaks) / 1024.0;
    const double overFloorMb = (Median(peaks) - static_cast<double>(floorKb)) / 1024.0;
    std::printf("| %s | %.0f MB | %.3f s | %.0f MB/s | %.1f MiB | %.1f MiB | %.2f |\n", what, mb, Median(times),
                mb / Median(times), peakMb, overFloorMb, overFloorMb * 1.048576 / mb);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const vestrel::bench::BenchFolder folder;
    const fs::path& root = folder.Root();

    std::vector<double> floors;
    for (int i = 0; i < repetitions; ++i) floors.push_back(static_cast<double>(InChild([] { return true; }).peakKb));
    const long floorKb = static_cast<long>(Median(floors));

    std::printf("Medians of %d runs; each run in its own child process. Idle child: %.1f MiB.\n\n", repetitions,
                static_cast<double>(floorKb) / 1024.0);
    std::printf("| Import | File | Time | Rate | Peak RSS | Above idle | Above idle per MB of file |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (std::uint64_t megabytes : {40, 400}) {
        const fs::path file = root / ("frames-" + std::to_string(megabytes) + "MB.csv");
        const std::uint64_t records = vestrel::bench::WriteFrameCsv(file, megabytes * 1'000'000);
        Report("streamed", file, records, repetitions, floorKb, [&] { return ImportFrameTableSheet(file); });
        if (megabytes == 40) {
            Report("whole text", file, records, repetitions, floorKb,
                   [&] { return FrameRowsFromRecords(ParseCsvRows(ReadWholeFile(file))); });
        }
        fs::remove(file);
    }
    return 0;
}
