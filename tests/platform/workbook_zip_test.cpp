// The zip archive of an .xlsx or .ods workbook is checked before liborcus
// reads it; each fault gets its own message.

#include "platform/error.h"
#include "platform/spreadsheet_source.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const fs::path kData = VESTREL_TEST_DATA_DIR;

std::string Opened(const fs::path& file) {
    try {
        OpenSpreadsheet(file);
        return "opened";
    } catch (const Error& e) {
        return e.what();
    }
}

void Put(std::string& bytes, std::size_t at, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

std::uint32_t Get(const std::string& bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

TEST(WorkbookZip, EachFaultOfTheArchiveGetsItsMessage) {
    TempDir dir;
    for (const char* name : {"frames.xlsx", "frames.ods"}) {
        const std::string good = ReadFile(kData / name);
        const std::size_t end = good.rfind("PK\x05\x06");
        const std::size_t directory = Get(good, end + 16, 4);  // its first entry
        const std::string prefix = "Cannot read workbook \"" + (dir / name).string() + "\". ";
        const std::string damaged = prefix + "The workbook is damaged or not supported (";

        struct Fault {
            const char* what;
            std::function<void(std::string&)> make;
            std::string message;
        };
        const Fault faults[] = {
            {"no end record", [&](std::string& b) { b[end + 3] = 0x07; },
             prefix + "It is not an Excel (.xlsx) or OpenDocument (.ods) workbook."},
            {"a comment longer than the file", [&](std::string& b) { Put(b, end + 20, 1, 2); },
             damaged + "zip archive end record)."},
            {"a second disk", [&](std::string& b) { Put(b, end + 4, 1, 2); }, damaged + "zip archive directory)."},
            {"one entry more than the directory holds",
             [&](std::string& b) {
                 Put(b, end + 8, Get(b, end + 8, 2) + 1, 2);
                 Put(b, end + 10, Get(b, end + 10, 2) + 1, 2);
             },
             damaged + "zip archive directory)."},
            {"a directory past the end record", [&](std::string& b) { Put(b, end + 16, end, 4); },
             damaged + "zip archive directory)."},
            {"an encrypted entry", [&](std::string& b) { b[directory + 8] |= 1; },
             prefix + "The workbook is password-protected."},
            {"an unknown compression method", [&](std::string& b) { Put(b, directory + 10, 99, 2); },
             damaged + "zip compression method 99)."},
            {"a zip64 entry", [&](std::string& b) { Put(b, directory + 20, 0xFFFFFFFF, 4); },
             damaged + "zip64 archive)."},
        };
        for (const Fault& fault : faults) {
            std::string bytes = good;
            fault.make(bytes);
            WriteFile(dir / name, bytes);
            EXPECT_EQ(Opened(dir / name), fault.message) << name << ": " << fault.what;
        }
        WriteFile(dir / name, good);
        EXPECT_EQ(Opened(dir / name), "opened") << name;
    }
}

}  // namespace
}  // namespace vestrel
