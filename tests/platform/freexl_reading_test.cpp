// The .xls pre-check (CheckXlsForFreeXl) refuses the files that FreeXL would
// mishandle, by reading them the way FreeXL 1.0.6 does. These tests hold it
// to the FreeXL that is linked: that version, and every input the pre-check
// lets through read by FreeXL itself without an error.

#include "platform/xls_container_check.h"
#include "support/temp_dir.h"

#include <freexl.h>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const fs::path kData = VESTREL_TEST_DATA_DIR;
const fs::path kWorkbookCorpus = VESTREL_FUZZ_WORKBOOK_CORPUS;

// The inputs the pre-check was fixed against: the regression inputs of the
// workbook fuzzer and the .xls files of tests/data.
struct Input {
    std::string name;
    fs::path file;
};

std::vector<Input> PreCheckInputs(const TempDir& dir) {
    std::vector<Input> inputs;
    for (const auto& entry : fs::directory_iterator(kWorkbookCorpus)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("regression-", 0) != 0) continue;
        const std::string bytes = ReadFile(entry.path());
        // fuzz_workbook.cpp takes the first byte for the extension (0 is
        // .xls) and the rest for the file.
        if (bytes.empty() || static_cast<unsigned char>(bytes[0]) % 4 != 0) continue;
        WriteFile(dir / (name + ".xls"), std::string_view(bytes).substr(1));
        inputs.push_back({name, dir / (name + ".xls")});
    }
    for (const auto& entry : fs::directory_iterator(kData))
        if (entry.path().extension() == ".xls") inputs.push_back({entry.path().filename().string(), entry.path()});
    std::sort(inputs.begin(), inputs.end(), [](const Input& a, const Input& b) { return a.name < b.name; });
    return inputs;
}

// Makes FreeXL open the file and read what the .xls reader reads: the
// protection, every sheet's name and range, and every cell, the text of
// text cells included. Gives the first call that failed, or nothing.
std::string ReadEverything(const char* path) {
    const void* handle = nullptr;
    int rc = freexl_open(path, &handle);
    if (rc != FREEXL_OK || !handle) return "freexl_open gave " + std::to_string(rc) + (handle ? "" : ", no handle");
    unsigned int protection = 0, sheets = 0;
    if ((rc = freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &protection)) != FREEXL_OK)
        return "freexl_get_info(FREEXL_BIFF_PASSWORD) gave " + std::to_string(rc);
    if ((rc = freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheets)) != FREEXL_OK)
        return "freexl_get_info(FREEXL_BIFF_SHEET_COUNT) gave " + std::to_string(rc);
    volatile std::size_t textBytes = 0;  // read, so that a bad text pointer shows
    for (unsigned short sheet = 0; sheet < sheets; ++sheet) {
        const char* name = nullptr;
        unsigned int rows = 0;
        unsigned short columns = 0;
        if ((rc = freexl_get_worksheet_name(handle, sheet, &name)) != FREEXL_OK ||
            (rc = freexl_select_active_worksheet(handle, sheet)) != FREEXL_OK ||
            (rc = freexl_worksheet_dimensions(handle, &rows, &columns)) != FREEXL_OK)
            return "sheet " + std::to_string(sheet) + ": FreeXL gave " + std::to_string(rc);
        for (unsigned int row = 0; row < rows; ++row) {
            for (unsigned short column = 0; column < columns; ++column) {
                FreeXL_CellValue cell;
                if ((rc = freexl_get_cell_value(handle, row, column, &cell)) != FREEXL_OK)
                    return "sheet " + std::to_string(sheet) + ", cell " + std::to_string(row) + "/" +
                           std::to_string(column) + ": freexl_get_cell_value gave " + std::to_string(rc);
                const bool text = cell.type == FREEXL_CELL_TEXT || cell.type == FREEXL_CELL_SST_TEXT ||
                                  cell.type == FREEXL_CELL_DATE || cell.type == FREEXL_CELL_DATETIME ||
                                  cell.type == FREEXL_CELL_TIME;
                if (text && cell.value.text_value) textBytes = textBytes + std::strlen(cell.value.text_value);
            }
        }
    }
    if ((rc = freexl_close(handle)) != FREEXL_OK) return "freexl_close gave " + std::to_string(rc);
    return {};
}

// A file that makes FreeXL allocate gigabytes, should the pre-check let one
// through, fails to open within this instead of taking the machine's
// memory. Not under AddressSanitizer, whose reserved shadow memory is
// already far larger than any such limit.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)  // clang
#define VESTREL_ADDRESS_SANITIZER
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)  // gcc
#define VESTREL_ADDRESS_SANITIZER
#endif

void LimitMemory() {
#if !defined(VESTREL_ADDRESS_SANITIZER)
    const rlim_t limit = rlim_t{1} << 30;
    const rlimit memory{limit, limit};
    setrlimit(RLIMIT_AS, &memory);
#endif
}

// Runs ReadEverything in a child process, so that FreeXL crashing fails the
// test instead of ending the test program. Gives what went wrong, or
// nothing.
std::string ReadInChild(const fs::path& file) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return std::string("pipe: ") + std::strerror(errno);
    const pid_t child = fork();
    if (child < 0) return std::string("fork: ") + std::strerror(errno);
    if (child == 0) {
        close(pipeEnds[0]);
        LimitMemory();
        const std::string failure = ReadEverything(file.c_str());
        const ssize_t written = write(pipeEnds[1], failure.data(), failure.size());
        _exit(failure.empty() ? 0 : written >= 0 ? 1 : 2);  // no test framework teardown in the child
    }
    close(pipeEnds[1]);
    std::string said;
    char buffer[256];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
        if (got > 0) said.append(buffer, static_cast<std::size_t>(got));
        else if (errno != EINTR) break;
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return std::string("waitpid: ") + std::strerror(errno);
    if (WIFSIGNALED(status)) return "FreeXL ended the process: " + std::string(strsignal(WTERMSIG(status)));
    if (WEXITSTATUS(status) != 0) return said.empty() ? "exit status " + std::to_string(WEXITSTATUS(status)) : said;
    return {};
}

TEST(FreeXlReading, TheLinkedFreeXlIsTheVersionThePreCheckMirrors) {
    EXPECT_STREQ(freexl_version(), VESTREL_FREEXL_MIRRORED_VERSION);
}

TEST(FreeXlReading, FreeXlReadsEveryInputThePreCheckAccepts) {
    TempDir dir;
    std::vector<std::string> accepted;
    for (const Input& input : PreCheckInputs(dir)) {
        if (!CheckXlsForFreeXl(input.file)) continue;
        accepted.push_back(input.name);
        EXPECT_EQ(ReadInChild(input.file), "") << input.name;
    }
    // The well-formed fixtures are among them, so FreeXL has read something.
    for (const char* fixture : {"dates.xls", "frames.xls", "many_frames.xls", "no_rpdodef.xls"})
        EXPECT_NE(std::find(accepted.begin(), accepted.end(), fixture), accepted.end()) << fixture;
}

// Each input the pre-check refuses, with what FreeXL 1.0.6 would do with it.
// FreeXL's faults there are memory errors and runaway allocations that a
// normal build does not show for certain: without AddressSanitizer FreeXL
// opens some of these files and returns an error code for the others. So
// only the refusal is asserted, not what FreeXL does.
struct Refused {
    const char* input;
    const char* damage;
};

const Refused kRefused[] = {
    // A sheet's DIMENSIONS record is empty: FreeXL takes the sheet's range
    // from what the record before left in its buffer, here 131097 rows by
    // 99 columns, and allocates that cell table (16 bytes a cell, some
    // 200 MB) while it opens a 5.6 KB file.
    {"huge_cell_table.xls", "a DIMENSIONS record of 0 bytes"},
    {"regression-freexl-cell-table", "a DIMENSIONS record of 0 bytes"},
    // FreeXL copies each record into a buffer the size of BIFF's longest
    // record (8224 bytes) by the length the record gives, so a record of
    // 65280 bytes overruns it; what it reads afterwards claims a sheet of
    // 436207616 rows.
    {"damaged_dimensions.xls", "a record of 65280 bytes"},
    {"regression-xls-sheet-dimensions", "a record of 65280 bytes"},
    // FreeXL sizes its tables by the header's count of 4096 DIFAT sectors
    // and takes gigabytes of memory before it gives up.
    {"regression-xls-difat-count", "it counts 4096 DIFAT sectors in a file of 3"},
    // FreeXL converts a directory entry's name with the length the entry
    // gives, reading up to 64 KiB past the sector it holds on its stack
    // (AddressSanitizer stops there; otherwise the conversion mostly fails
    // with FREEXL_INVALID_CHARACTER, or the process crashes where the stack
    // ends). In the second file the directory's sector number wraps around
    // in FreeXL's 32-bit arithmetic onto a sector inside the file; in the
    // last two a FAT sector cannot be read, and FreeXL goes on to the
    // directory all the same.
    {"regression-xls-directory-name-length", "a directory entry name of 5632 bytes"},
    {"regression-xls-directory-sector-wraps", "a directory entry name of 15941 bytes"},
    {"regression-xls-unreadable-fat", "a directory entry name of 5632 bytes"},
    {"unreadable_fat.xls", "a directory entry name of 5632 bytes"},
};

TEST(FreeXlReading, ThePreCheckRefusesEachInputFreeXlWouldMishandle) {
    TempDir dir;
    std::map<std::string, std::string> unseen;
    for (const Refused& refused : kRefused) unseen[refused.input] = refused.damage;
    for (const Input& input : PreCheckInputs(dir)) {
        const Result<void> check = CheckXlsForFreeXl(input.file);
        if (check) continue;
        // A new input that is refused gets its line above.
        auto expected = unseen.find(input.name);
        ASSERT_NE(expected, unseen.end()) << input.name << " is refused (" << check.Why() << ") but not listed";
        EXPECT_EQ(check.Why(), expected->second) << input.name;
        unseen.erase(expected);
    }
    for (const auto& [input, damage] : unseen) ADD_FAILURE() << input << " is listed as refused but is not";
}

}  // namespace
}  // namespace vestrel
