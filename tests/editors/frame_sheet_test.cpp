#include "editors/frame_table_csv.h"

#include "platform/error.h"
#include "platform/spreadsheet_source.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vestrel
