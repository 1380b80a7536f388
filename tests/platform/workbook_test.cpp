#include "platform/error.h"
#include "platform/spreadsheet_source.h"
#include "support/temp_dir.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

namespace vestrel {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::filesystem::path kData = VESTREL_TEST_DATA_DIR;

TEST(SheetNumber, WholeNumbersPrintWithoutFractionOthersInTheirShortestForm) {
    EXPECT_EQ(FormatSheetNumber(385.0), "385");
    EXPECT_EQ(FormatSheetNumber(100000.0), "100000");
    EXPECT_EQ(FormatSheetNumber(3000000000.0), "3000000000");
    EXPECT_EQ(FormatSheetNumber(-2.5), "-2.5");
    EXPECT_EQ(FormatSheetNumber(0.1), "0.1");
    EXPECT_EQ(FormatSheetNumber(-0.0), "0");
    EXPECT_EQ(FormatSheetNumber(1.0 / 3), "0.3333333333333333");
    EXPECT_EQ(FormatSheetNumber(1e20), "1e+20");
    EXPECT_EQ(FormatSheetNumber(1.5e-7), "1.5e-07");
}


// Rows without trailing blank ones: FreeXL counts blank formatted cells
// into a sheet's range, the other readers do not.
std::vector<SheetRow> Trimmed(std::vector<SheetRow> rows) {
    auto blank = [](const SheetRow& row) {
        return std::all_of(row.begin(), row.end(), [](const SheetCell& cell) { return !cell; });
    };
    while (!rows.empty() && blank(rows.back())) rows.pop_back();
    return rows;
}

// What reading a workbook gave: "read", then the first two cells of each row
// of its sheet named rpdodef in any letter case, or the error message.
std::string Outcome(const std::filesystem::path& file) {
    try {
        auto book = OpenSpreadsheet(file);
        std::string out = "read\n";
        for (const std::string& sheet : book->SheetNames()) {
            std::string lower = sheet;
            std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
            if (lower != "rpdodef") continue;
            for (const SheetRow& row : Trimmed(book->ReadRows(sheet, 2)))
                out += row.at(0).value_or("") + "|" + row.at(1).value_or("") + "\n";
            break;
        }
        return out;
    } catch (const Error& e) {
        return std::string("error: ") + e.what();
    }
}

std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}


TEST(WorkbookFormats, TheSameWorkbookGivesTheSameTableAsXlsXlsxAndOds) {
    for (const char* stem : {"frames", "no_rpdodef", "many_frames"}) {
        const std::string xls = Outcome(kData / (std::string(stem) + ".xls"));
        ASSERT_EQ(xls.rfind("read\n", 0), 0u) << xls;
        for (const char* ext : {".xlsx", ".ods"}) {
            const std::string name = std::string(stem) + ext;
            EXPECT_EQ(Outcome(kData / name), xls) << name;

            auto other = OpenSpreadsheet(kData / name);
            auto book = OpenSpreadsheet(kData / (std::string(stem) + ".xls"));
            ASSERT_EQ(other->SheetNames(), book->SheetNames()) << name;
            for (const std::string& sheet : book->SheetNames())
                EXPECT_EQ(Trimmed(other->ReadRows(sheet, 5)), Trimmed(book->ReadRows(sheet, 5))) << name << " " << sheet;
        }
    }
}

TEST(WorkbookFormats, AWorkbookSavedByLibreOfficeGivesItsComputedValues) {
    // RPDODEF.csv converted by LibreOffice, formulas included.
    for (const char* name : {"RPDODEF.xlsx", "RPDODEF.ods"}) {
        EXPECT_EQ(Outcome(kData / name), "read\ncobid|id_dev_orig\n385|8\n0x181|2\n386|8\n") << name;
        EXPECT_EQ(OpenSpreadsheet(kData / name)->SheetNames(), std::vector<std::string>{"RPDODEF"});
    }
}

TEST(WorkbookFormats, FormulasDatesAndBooleansComeThroughAsTheirText) {
    const std::vector<SheetRow> common = {
        {"cobid", "id_dev_orig"},
        {"385", "8"},
        {"2024-03-15", "2024-03-15 08:30:05"},
        {"08:30:05", "1999-12-31"},
        {"770", "0x181"},  // formulas: a number and a text
    };
    const SheetRow booleans{"TRUE", "FALSE"};
    const SheetRow percentAndCurrency{"0.25", "12.5"};

    auto ods = OpenSpreadsheet(kData / "values.ods")->ReadRows("rpdodef", 2);
    std::vector<SheetRow> expected = common;
    expected.push_back({"TRUE", "#DIV/0!"});  // a formula's boolean and error results
    expected.push_back(booleans);
    expected.push_back(percentAndCurrency);
    EXPECT_EQ(ods, expected);

    // liborcus 0.17 hands over no boolean or error result of an .xlsx
    // formula: those cells come through empty.
    auto xlsx = OpenSpreadsheet(kData / "values.xlsx")->ReadRows("rpdodef", 2);
    expected = common;
    expected.push_back({std::nullopt, std::nullopt});
    expected.push_back(booleans);
    expected.push_back(percentAndCurrency);
    EXPECT_EQ(xlsx, expected);

    // FreeXL gives .xls dates the same text.
    auto xls = OpenSpreadsheet(kData / "dates.xls")->ReadRows("rpdodef", 2);
    EXPECT_EQ(xls, (std::vector<SheetRow>{common[0], common[2], common[3]}));
}

TEST(WorkbookFormats, EncryptedWorkbooksAreRefused) {
    for (const char* name : {"encrypted.xlsx", "encrypted.ods"}) {
        EXPECT_EQ(Outcome(kData / name), "error: Cannot read workbook \"" + (kData / name).string() +
                                             "\". The workbook is password-protected.");
    }
}

TEST(WorkbookFormats, TheContentDecidesTheReaderNotTheName) {
    TempDir dir;
    WriteFile(dir / "renamed.xls", ReadBytes(kData / "frames.ods"));
    WriteFile(dir / "renamed.ods", ReadBytes(kData / "frames.xlsx"));
    EXPECT_EQ(Outcome(dir / "renamed.xls"), Outcome(kData / "frames.xls"));
    EXPECT_EQ(Outcome(dir / "renamed.ods"), Outcome(kData / "frames.xls"));

    WriteFile(dir / "text.xlsx", "cobid,id_dev_orig\r\n385,8\r\n");
    WriteFile(dir / "empty.ods", "");
    for (const char* name : {"text.xlsx", "empty.ods"}) {
        EXPECT_EQ(Outcome(dir / name), "error: Cannot read workbook \"" + (dir / name).string() +
                                           "\". It is not an Excel (.xlsx) or OpenDocument (.ods) workbook.");
    }
    EXPECT_EQ(Outcome(dir / "missing.xlsx"), "error: Cannot read workbook \"" + (dir / "missing.xlsx").string() +
                                                 "\". The file does not exist or cannot be read.");
}

// Offsets of an archive's parts, found the way an unzip tool does.
struct ZipLayout {
    std::size_t directory = 0;  // start of the central directory
    std::size_t firstData = 0;  // the first entry's data
};

ZipLayout Layout(const std::string& bytes) {
    auto get = [&](std::size_t at, int width) {
        std::size_t value = 0;
        for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        return value;
    };
    const std::size_t end = bytes.rfind("PK\x05\x06");
    return {get(end + 16, 4), 30 + get(26, 2) + get(28, 2)};
}

TEST(WorkbookFormats, DamagedArchivesFailWithAMessage) {
    TempDir dir;
    for (const char* name : {"frames.xlsx", "frames.ods"}) {
        const std::string good = ReadBytes(kData / name);
        const ZipLayout layout = Layout(good);
        const std::string prefix = "error: Cannot read workbook \"" + (dir / name).string() + "\". ";

        std::string bytes = good.substr(0, good.size() / 2);  // cut off
        WriteFile(dir / name, bytes);
        EXPECT_EQ(Outcome(dir / name).rfind(prefix, 0), 0u) << name;

        bytes = good;  // an entry that claims to unpack to 2 GB
        bytes[layout.directory + 27] = 0x7F;
        WriteFile(dir / name, bytes);
        EXPECT_EQ(Outcome(dir / name).rfind(prefix + "The workbook is damaged or not supported (zip entry ", 0), 0u)
            << name;

        bytes = good;  // an entry that lies past the end of the file
        bytes[layout.directory + 42 + 3] = 0x40;
        WriteFile(dir / name, bytes);
        EXPECT_EQ(Outcome(dir / name).rfind(prefix + "The workbook is damaged or not supported (", 0), 0u) << name;

        bytes = good;  // a changed byte inside the first entry's data
        bytes[layout.firstData + 10] ^= 0x20;
        WriteFile(dir / name, bytes);
        EXPECT_EQ(Outcome(dir / name).rfind(prefix + "The workbook is damaged or not supported (zip entry ", 0), 0u)
            << name;
    }
}

TEST(WorkbookFormats, AnXlsWhoseContainerFreeXlCannotReadSafelyIsRefused) {
    // FreeXL reads each directory entry's name with the length the entry
    // gives, far past the entry; the format allows at most 64 bytes.
    TempDir dir;
    const std::string good = ReadBytes(kData / "frames.xls");
    auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(good[at + static_cast<std::size_t>(i)]);
        return v;
    };
    const std::size_t directory = (u32(0x30) + 1) * 512;
    const std::string prefix = "error: Cannot read workbook \"" + (dir / "frames.xls").string() +
                               "\". The workbook is damaged or not supported (";
    for (std::size_t entry : {std::size_t{0}, std::size_t{3}}) {
        std::string bytes = good;
        bytes[directory + 128 * entry + 0x40] = '\x00';
        bytes[directory + 128 * entry + 0x41] = '\x10';  // 4096 bytes
        WriteFile(dir / "frames.xls", bytes);
        EXPECT_EQ(Outcome(dir / "frames.xls"), prefix + "a directory entry name of 4096 bytes).") << entry;
    }
    // FreeXL works sector positions out in 32 bits: a directory sector number
    // 2^23 past the real one reads that same sector.
    std::string bytes = good;
    bytes[directory + 128 + 0x41] = '\x10';
    bytes[0x32] = static_cast<char>(bytes[0x32] + 0x80);  // + 0x800000 sectors
    WriteFile(dir / "frames.xls", bytes);
    EXPECT_EQ(Outcome(dir / "frames.xls"), prefix + "a directory entry name of 4114 bytes).");

    // FreeXL sizes its tables by the header's counts: 4096 DIFAT sectors in
    // a file of ten took it gigabytes.
    bytes = good;
    bytes[0x49] = '\x10';
    WriteFile(dir / "frames.xls", bytes);
    EXPECT_EQ(Outcome(dir / "frames.xls"), prefix + "it counts 4096 DIFAT sectors in a file of 10).");

    bytes = good;
    bytes[0x1E] = 16;  // sectors of 64 KiB
    WriteFile(dir / "frames.xls", bytes);
    EXPECT_EQ(Outcome(dir / "frames.xls"), prefix + "sector size 2^16).");

    bytes = good;  // 64 bytes is the longest name there is
    bytes[directory + 128 * 3 + 0x40] = 64;
    WriteFile(dir / "frames.xls", bytes);
    EXPECT_EQ(Outcome(dir / "frames.xls"), Outcome(kData / "frames.xls"));
}

TEST(WorkbookFormats, AnXlsClaimingMoreCellsThanFreeXlCanHoldIsRefused) {
    // FreeXL allocates every sheet's whole cell table, by the size the sheet
    // claims, while it opens the file. Found by fuzzing: an empty DIMENSIONS
    // record, whose range FreeXL read from the record before it (131097 rows
    // by 99 columns), took 400 MB of a 5.6 KB file.
    const std::string damaged = "The workbook is damaged or not supported (";
    auto refusal = [&](const std::filesystem::path& file, const std::string& reason) {
        return "error: Cannot read workbook \"" + file.string() + "\". " + damaged + reason + ").";
    };
    EXPECT_EQ(Outcome(kData / "huge_cell_table.xls"),
              refusal(kData / "huge_cell_table.xls", "a DIMENSIONS record of 0 bytes"));
    // Found by fuzzing: a FAT sector this check could not read made it stop
    // before the directory, whose entry FreeXL then read far past its name.
    EXPECT_EQ(Outcome(kData / "unreadable_fat.xls"),
              refusal(kData / "unreadable_fat.xls", "a directory entry name of 5632 bytes"));
    EXPECT_EQ(Outcome(kData / "damaged_dimensions.xls"),
              refusal(kData / "damaged_dimensions.xls", "a record of 65280 bytes"));

    // The DIMENSIONS record of frames.xls's second sheet: last row + 1 as 32
    // bits at 8, last column + 1 as 16 bits at 14.
    TempDir dir;
    const std::filesystem::path file = dir / "frames.xls";
    const std::string good = ReadBytes(kData / "frames.xls");
    constexpr std::size_t kDimensions = 1995;
    ASSERT_EQ(good.substr(kDimensions, 4), std::string("\x00\x02\x0E\x00", 4));
    auto withExtent = [&](std::uint32_t rows, std::uint16_t columns) {
        std::string bytes = good;
        for (int i = 0; i < 4; ++i) bytes[kDimensions + 8 + i] = static_cast<char>(rows >> (8 * i));
        for (int i = 0; i < 2; ++i) bytes[kDimensions + 14 + i] = static_cast<char>(columns >> (8 * i));
        WriteFile(file, bytes);
        return Outcome(file);
    };
    // 2^32 cells, which FreeXL's 32-bit product makes a table of none.
    EXPECT_EQ(withExtent(0x20000, 0x8000), refusal(file, "its sheets claim 4294967297 cells"));
    EXPECT_EQ(withExtent(65536, 257), refusal(file, "its sheets claim 16842753 cells"));
    EXPECT_EQ(withExtent(65536, 255).rfind("read\n", 0), 0u);
    {
        // More rows than a sheet has, of no columns: FreeXL holds no cells,
        // but the rows read would take gigabytes. The sheet's cell records
        // are made records of no known type, as FreeXL refuses cells past
        // the range.
        std::string bytes = good;
        std::size_t at = kDimensions;
        for (; at + 4 <= bytes.size() && !(bytes[at] == '\x0A' && bytes[at + 1] == 0);
             at += 4 + (static_cast<unsigned char>(bytes[at + 2]) | static_cast<unsigned char>(bytes[at + 3]) << 8)) {
            const int type = static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
            if (type == 0x00FD || type == 0x0203 || type == 0x027E || type == 0x00BD || type == 0x0201 ||
                type == 0x00BE)
                bytes[at + 1] = '\x7F';
        }
        ASSERT_LT(at, bytes.size());
        for (int i = 0; i < 4; ++i) bytes[kDimensions + 8 + i] = static_cast<char>(436207616u >> (8 * i));
        bytes[kDimensions + 14] = bytes[kDimensions + 15] = 0;
        WriteFile(file, bytes);
        EXPECT_EQ(Outcome(file), refusal(file, "sheet \"RpdoDef\" claims 436207616 rows"));
    }

    {
        // A second DIMENSIONS record in the sheet, over the five records
        // after the first: FreeXL would allocate a second table and keep
        // the first for good.
        std::string bytes = good;
        const std::string second("\x00\x02\x1A\x00" "\0\0\0\0\x08\0\0\0\0\0\x05\0\0\0", 18);
        bytes.replace(kDimensions + 18, second.size(), second);
        WriteFile(file, bytes);
        EXPECT_EQ(Outcome(file), refusal(file, "a sheet with two DIMENSIONS records"));
    }

    std::string bytes = good;  // a record longer than BIFF allows
    bytes[kDimensions + 2] = static_cast<char>(9000 & 0xFF);
    bytes[kDimensions + 3] = static_cast<char>(9000 >> 8);
    WriteFile(file, bytes);
    EXPECT_EQ(Outcome(file), refusal(file, "a record of 9000 bytes"));

    // A BIFF2 file is one bare stream that FreeXL sizes by its farthest cell.
    auto record = [](std::uint16_t type, std::string body) {
        std::string out{static_cast<char>(type), static_cast<char>(type >> 8), static_cast<char>(body.size()),
                        static_cast<char>(body.size() >> 8)};
        return out + body;
    };
    const std::string number = std::string("\xFF\xFF\x2C\x01", 4) + std::string(11, '\0');  // row 65535, column 300
    WriteFile(dir / "old.xls", record(0x0009, std::string("\x02\x00\x10\x00", 4)) + record(0x0003, number) +
                                   record(0x000A, ""));
    EXPECT_EQ(Outcome(dir / "old.xls"), refusal(dir / "old.xls", "its sheets claim 19726336 cells"));
    // It is one sheet whatever BOF records it holds; a second DIMENSIONS
    // record or one after the first cell allocates a second table that
    // FreeXL never frees, and a short cell record places its cell with
    // whatever bytes came before.
    const std::string bof = record(0x0009, std::string("\x02\x00\x10\x00", 4));
    const std::string dimensions = record(0x0000, std::string("\0\0\x10\0\0\0\x05\0", 8));
    const std::pair<std::string, std::string> cases[] = {
        {bof + dimensions + bof + dimensions, "a sheet with two DIMENSIONS records"},
        {bof + record(0x0003, std::string(15, '\0')) + dimensions, "a DIMENSIONS record after the cells"},
        {bof + dimensions + record(0x0002, ""), "a cell record of 0 bytes"},
    };
    for (const auto& [stream, reason] : cases) {
        WriteFile(dir / "old.xls", stream + record(0x000A, ""));
        EXPECT_EQ(Outcome(dir / "old.xls"), refusal(dir / "old.xls", reason));
    }
    WriteFile(dir / "old.xls", bof + dimensions + record(0x0003, std::string(15, '\0')) + record(0x000A, ""));
    EXPECT_EQ(Outcome(dir / "old.xls").rfind("read\n", 0), 0u);
}

TEST(WorkbookFormats, NoChangedByteMakesTheReaderCrash) {
    // Each run changes one byte of a real workbook: the import gives rows or
    // an error, and never anything else.
    TempDir dir;
    for (const char* name : {"frames.xlsx", "frames.ods"}) {
        const std::string good = ReadBytes(kData / name);
        int failed = 0;
        for (std::size_t at = 0; at < good.size(); at += 23) {
            std::string bytes = good;
            bytes[at] = static_cast<char>(bytes[at] ^ (0x5A + at % 7));
            WriteFile(dir / name, bytes);
            const std::string outcome = Outcome(dir / name);
            if (outcome.rfind("error: Cannot read workbook ", 0) == 0) ++failed;
            else EXPECT_EQ(outcome.rfind("read\n", 0), 0u) << name << " at " << at;
        }
        EXPECT_GT(failed, 0) << name;
    }
}

TEST(SheetDates, NumberFormatsTellDatesAndTimesFromNumbers) {
    EXPECT_EQ(ClassifyNumberFormat("General"), NumberShown::Number);
    EXPECT_EQ(ClassifyNumberFormat("#,##0.00 [$€-407];[Red]-#,##0.00"), NumberShown::Number);
    EXPECT_EQ(ClassifyNumberFormat("0.00E+00"), NumberShown::Number);
    EXPECT_EQ(ClassifyNumberFormat("0 \"days\""), NumberShown::Number);
    EXPECT_EQ(ClassifyNumberFormat("yyyy-mm-dd"), NumberShown::Date);
    EXPECT_EQ(ClassifyNumberFormat("mmm yy"), NumberShown::Date);
    EXPECT_EQ(ClassifyNumberFormat("[$-409]d\\-mmm;@"), NumberShown::Date);
    EXPECT_EQ(ClassifyNumberFormat("hh:mm"), NumberShown::Time);
    EXPECT_EQ(ClassifyNumberFormat("[h]:mm"), NumberShown::Time);
    EXPECT_EQ(ClassifyNumberFormat("[mm]"), NumberShown::Time);
    EXPECT_EQ(ClassifyNumberFormat("dd/mm/yyyy hh:mm:ss"), NumberShown::DateTime);
    EXPECT_EQ(ClassifyBuiltinNumberFormat(0), NumberShown::Number);
    EXPECT_EQ(ClassifyBuiltinNumberFormat(10), NumberShown::Number);
    EXPECT_EQ(ClassifyBuiltinNumberFormat(14), NumberShown::Date);
    EXPECT_EQ(ClassifyBuiltinNumberFormat(21), NumberShown::Time);
    EXPECT_EQ(ClassifyBuiltinNumberFormat(22), NumberShown::DateTime);
    EXPECT_EQ(ClassifyBuiltinNumberFormat(46), NumberShown::Time);
}

TEST(SheetDates, SerialNumbersAsText) {
    EXPECT_EQ(FormatSheetSerial(45366, NumberShown::Date), "2024-03-15");
    EXPECT_EQ(FormatSheetSerial(45366.354224537, NumberShown::DateTime), "2024-03-15 08:30:05");
    // Rounded to the second, into the next day when it comes to that.
    EXPECT_EQ(FormatSheetSerial(45366.999999999, NumberShown::DateTime), "2024-03-16 00:00:00");
    EXPECT_EQ(FormatSheetSerial(0.5, NumberShown::Time), "12:00:00");
    EXPECT_EQ(FormatSheetSerial(1.5, NumberShown::Time), "12:00:00");
    // Workbooks that count from 1904.
    EXPECT_EQ(FormatSheetSerial(43904, NumberShown::Date, {1904, 1, 1}), "2024-03-15");
    // What is no date stays a number.
    EXPECT_EQ(FormatSheetSerial(385, NumberShown::Number), "385");
    EXPECT_EQ(FormatSheetSerial(-1, NumberShown::Date), "-1");
    EXPECT_EQ(FormatSheetSerial(3e6, NumberShown::Date), "3000000");
}

}  // namespace
}  // namespace vestrel
