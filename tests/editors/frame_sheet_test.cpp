#include "editors/frame_table_csv.h"

#include "platform/error.h"
#include "platform/spreadsheet_source.h"
#include "support/temp_dir.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace vestrel {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::filesystem::path kData = VESTREL_TEST_DATA_DIR;

std::vector<std::pair<std::string, std::string>> Frames(const FrameSheetRead& read) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const FrameRow& row : read.rows) {
        EXPECT_TRUE(row.RTR.empty());
        EXPECT_TRUE(row.Mnemonic.empty());
        out.emplace_back(row.CobID, row.Dimensin);
    }
    return out;
}

TEST(FrameSheet, AWorkbookGivesTheCellsOfItsRpdodefSheetAsTheUserSeesThem) {
    // The sheet is named RpdoDef and is not the first one.
    FrameSheetRead read = ImportFrameTableSheet(kData / "frames.xls");
    EXPECT_EQ(Frames(read), (std::vector<std::pair<std::string, std::string>>{
                                {"385", "8"},
                                {"0x181", "2"},
                                {"1025.5", "0.1"},
                                {"3000000000", "1"},
                                {"", ""},
                                {"Ñandú 7", "3"},
                                {"2047", ""},
                            }));
    EXPECT_EQ(read.leftOut, 0);
}

TEST(FrameSheet, AWorkbookWithoutAnRpdodefSheetGivesNoRows) {
    FrameSheetRead read = ImportFrameTableSheet(kData / "no_rpdodef.xls");
    EXPECT_TRUE(read.rows.empty());
    EXPECT_EQ(read.leftOut, 0);
}

TEST(FrameSheet, RecordsPastTheLastTableRowAreCountedNotTaken) {
    // 262 records and five blank formatted rows below them.
    FrameSheetRead read = ImportFrameTableSheet(kData / "many_frames.xls");
    ASSERT_EQ(read.rows.size(), 250u);
    EXPECT_EQ(read.rows.front().CobID, "256");
    EXPECT_EQ(read.rows.back().CobID, "505");
    EXPECT_EQ(read.leftOut, 12);
}

TEST(FrameSheet, FilesThatAreNoWorkbookFail) {
    TempDir dir;
    WriteFile(dir / "text.xls", "cobid,id_dev_orig\r\n385,8\r\n");
    WriteFile(dir / "empty.xls", "");
    for (const char* name : {"text.xls", "empty.xls", "missing.xls"}) {
        try {
            ImportFrameTableSheet(dir / name);
            ADD_FAILURE() << name << ": no error";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Cannot read workbook \"" + (dir / name).string() + "\". ", 0), 0u)
                << e.what();
        }
    }
    EXPECT_THROW(ImportFrameTableSheet(dir / "missing.csv"), Error);
}

TEST(FrameSheet, TheWorkbookBackendListsSheetsAndReadsRowsByName) {
    auto book = OpenSpreadsheet(kData / "no_rpdodef.xls");
    EXPECT_EQ(book->SheetNames(), (std::vector<std::string>{"Sheet1", "rpdodef_old"}));
    auto rows = book->ReadRows("Sheet1", 100);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (SheetRow{"cobid", "id_dev_orig", "en_bypass", "posind", "n_tpdo"}));
    EXPECT_EQ(rows[1], (SheetRow{"385", "8", std::nullopt, std::nullopt, std::nullopt}));
    EXPECT_EQ(book->ReadRows("Sheet1", 1)[1], (SheetRow{"385"}));
    EXPECT_THROW(book->ReadRows("sheet1", 5), Error);
}

TEST(FrameTableCsv, ExportWritesCobIdAndDimensionOfEachFrame) {
    TempDir dir;
    FrameTable table;
    table.direction = FrameDirection::Transmit;
    table.rows = {{"0x181", "8", "Y", "Speed"}, {"1025", "2", "", "a,b"}};
    ExportFrameTableCsv(dir.path(), table);
    const std::string text = ReadFile(dir / "rpdodef.csv");
    EXPECT_EQ(text,
              "cobid,id_dev_orig,en_bypass,posind,n_tpdo \r\n"
              "0x181,8,0,0,0\r\n"
              "1025,2,0,0,0\r\n");
    EXPECT_EQ(std::string(kFrameTableCsvHeader).size(), 42u);

    table.rows.clear();
    ExportFrameTableCsv(dir.path(), table);
    EXPECT_EQ(ReadFile(dir / "rpdodef.csv"), "cobid,id_dev_orig,en_bypass,posind,n_tpdo \r\n");
}

TEST(FrameTableCsv, TheExportedFileImportsBack) {
    TempDir dir;
    FrameTable table;
    for (int i = 0; i < 3; ++i) table.rows.push_back({std::to_string(0x181 + i), "8", "", "x"});
    ExportFrameTableCsv(dir.path(), table);
    FrameSheetRead read = ImportFrameTableSheet(dir / "rpdodef.csv");
    EXPECT_EQ(Frames(read), (std::vector<std::pair<std::string, std::string>>{
                                {"385", "8"}, {"386", "8"}, {"387", "8"}}));

    // Whatever the cells hold: a formula is disarmed in the file and comes
    // back as typed, and so do separators, quotes and apostrophes.
    table.rows = {{"=HYPERLINK(\"http://x\")", "-1+2", "", ""}, {"'=x", "a,\"b\"", "", ""}, {"-5", "'8", "", ""}};
    ExportFrameTableCsv(dir.path(), table);
    EXPECT_EQ(ReadFile(dir / "rpdodef.csv"),
              "cobid,id_dev_orig,en_bypass,posind,n_tpdo \r\n"
              "\"'=HYPERLINK(\"\"http://x\"\")\",'-1+2,0,0,0\r\n"
              "''=x,\"a,\"\"b\"\"\",0,0,0\r\n"
              "-5,'8,0,0,0\r\n");
    read = ImportFrameTableSheet(dir / "rpdodef.csv");
    EXPECT_EQ(Frames(read), (std::vector<std::pair<std::string, std::string>>{
                                {"=HYPERLINK(\"http://x\")", "-1+2"}, {"'=x", "a,\"b\""}, {"-5", "'8"}}));
    EXPECT_EQ(Frames(FrameRowsFromRecords(ParseCsvRows(ReadFile(dir / "rpdodef.csv")))), Frames(read));
}

TEST(FrameTableCsv, CsvAsSpreadsheetProgramsSaveIt) {
    // Semicolons, quotes, a byte order mark, no line break at the end.
    TempDir dir;
    WriteFile(dir / "table.CSV",
              "\xEF\xBB\xBF" "cobid;id_dev_orig;en_bypass;posind;n_tpdo\r\n"
              "385;8;0;0;0\r\n"
              "\"0x181\";\"2\";0;0;0\r\n"
              "\"a;\"\"b\"\"\";3\r\n"
              ";;;;\r\n"
              "\"multi\nline\";4");
    FrameSheetRead read = ImportFrameTableSheet(dir / "table.CSV");
    EXPECT_EQ(Frames(read), (std::vector<std::pair<std::string, std::string>>{
                                {"385", "8"}, {"0x181", "2"}, {"a;\"b\"", "3"}, {"", ""}, {"multi\nline", "4"}}));

    EXPECT_EQ(ParseCsvRows("a,b\n1\n\n2,3\n"),
              (std::vector<SheetRow>{{"a", "b"}, {"1"}, {""}, {"2", "3"}}));
    EXPECT_EQ(ParseCsvRows("a\tb\n1\t2"), (std::vector<SheetRow>{{"a", "b"}, {"1", "2"}}));
    EXPECT_TRUE(ParseCsvRows("").empty());
}

TEST(FrameTableCsv, CsvRecordsPastTheLastTableRowAreCounted) {
    std::string text = "cobid,id_dev_orig\n";
    for (int i = 1; i <= 253; ++i) text += std::to_string(i) + ",8\n";
    text += ",\n,\n";
    FrameSheetRead read = FrameRowsFromRecords(ParseCsvRows(text));
    EXPECT_EQ(read.rows.size(), 250u);
    EXPECT_EQ(read.rows.back().CobID, "250");
    EXPECT_EQ(read.leftOut, 3);

    EXPECT_TRUE(FrameRowsFromRecords(ParseCsvRows("cobid\n")).rows.empty());
}

// The reader that takes the file a piece at a time gives what the whole
// text gives, wherever the pieces break: inside quotes, between a quote and
// its double, between CR and LF, inside the byte order mark.
TEST(FrameTableCsv, ReadingInPiecesGivesWhatTheWholeTextGives) {
    std::string many = "cobid;dim\r\n";
    for (int i = 1; i <= 252; ++i) many += std::to_string(i) + ";8\r\n";
    many += ";\r\n\"\";\"\"\r\n;\"x\"\r\n\r\n";
    const std::string texts[] = {
        "",
        "\xEF\xBB",
        "\xEF\xBB\xBF",
        "\xEF\xBB\xBF" "cobid;id\r\n385;8\r\n\"0x1\"\"8\"\"1\";\"2\"\r\n\"multi\r\nline\";4",
        "\xEFx,y\n1,2\n",
        "a\tb\tc\n1\t2\n3",
        "\"a,b\";c;d\n1;2\n",
        "h\r\r\n1,2\r\r3,4\n\"open,5",
        "h\n\"ab\"cd,\"e\"\"\n",
        "only a header",
        "\"quoted header\n still\",x\n7,8",
        many,
    };
    for (const std::string& text : texts) {
        const FrameSheetRead whole = FrameRowsFromRecords(ParseCsvRows(text));
        for (std::size_t cut = 0; cut <= text.size(); ++cut) {
            FrameCsvReader reader;
            reader.Feed(std::string_view(text).substr(0, cut));
            reader.Feed(std::string_view(text).substr(cut));
            ASSERT_EQ(reader.Finish(), whole) << "cut at " << cut << " of: " << text;
        }
        FrameCsvReader bytes;
        for (char c : text) bytes.Feed(std::string_view(&c, 1));
        EXPECT_EQ(bytes.Finish(), whole) << text;
    }
    FrameCsvReader reader;
    reader.Feed(many);
    const FrameSheetRead read = reader.Finish();
    EXPECT_EQ(read.rows.size(), 250u);
    EXPECT_EQ(read.leftOut, 5);  // 251, 252, the empty ones, and the one with x
}

// The import keeps what the table takes and no more: a CSV of 40 MB imports
// with a few MB of memory, where reading it whole took 27 times the file.
TEST(FrameTableCsv, ABigCsvImportsWithinASmallBudgetOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' allocator keeps freed memory for a while";
#endif
    TempDir dir;
    constexpr std::size_t kRecords = 40'000'000 / 40;
    {
        std::ofstream out(dir / "big.csv", std::ios::binary);
        out << "cobid,id_dev_orig,en_bypass,posind,n_tpdo \r\n";
        const std::string padding(27, 'x');
        for (std::size_t i = 0; i < kRecords; ++i) out << (0x100 + i % 0x600) << ",8,0,0," << padding << "\r\n";
        ASSERT_TRUE(out.good());
    }
    ASSERT_GE(std::filesystem::file_size(dir / "big.csv"), 39'000'000u);

    // In a child process whose data segment may grow by 16 MiB at most.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int code = 3;
        std::ifstream status("/proc/self/status");
        long dataKb = -1;
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmData:", 0) == 0) dataKb = std::stol(line.substr(7));
        rlimit limit{};
        if (dataKb > 0) {
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(dataKb) * 1024 + (16u << 20);
            if (::setrlimit(RLIMIT_DATA, &limit) == 0) {
                try {
                    const FrameSheetRead read = ImportFrameTableSheet(dir / "big.csv");
                    code = read.rows.size() == 250u && read.leftOut == static_cast<int>(kRecords - 250) ? 0 : 2;
                } catch (...) {
                    code = 1;  // out of memory, as reading it whole is
                }
            }
        }
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: out of memory, 2: wrong rows, 3: no limit could be set";
}

// A file that opens but cannot be read is not reported as one that cannot
// be opened.
TEST(FrameTableCsv, AReadErrorIsToldFromAFileThatCannotBeOpened) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.csv");
    try {
        ImportFrameTableSheet(dir / "folder.csv");
        ADD_FAILURE() << "a folder was imported";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot read file \"" + (dir / "folder.csv").string() + "\". Is a directory");
    }
    try {
        ImportFrameTableSheet(dir / "missing.csv");
        ADD_FAILURE() << "a missing file was imported";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + (dir / "missing.csv").string() + "\".", 0), 0u)
            << e.what();
    }
}

}  // namespace
}  // namespace vestrel
