#pragma once

#include "platform/spreadsheet_source.h"
#include "project/frame_table.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vestrel {

// The frame table's exchange files: rpdodef.csv, written by Export, and the
// sheet "rpdodef" of a workbook (or that CSV again), read by Import.
inline constexpr const char* kFrameTableCsvName = "rpdodef.csv";
inline constexpr const char* kFrameTableCsvHeader = "cobid,id_dev_orig,en_bypass,posind,n_tpdo ";
inline constexpr const char* kFrameSheetName = "rpdodef";

// The text of rpdodef.csv: the header, then "CobID,Dimension,0,0,0" for each
// row, each line ending in CR LF.
std::string FormatFrameTableCsv(const FrameTable& table);

// Writes rpdodef.csv into the project folder, replacing it whole, and
// returns the file written. Throws Error with the file error.
std::filesystem::path ExportFrameTableCsv(const std::filesystem::path& projectDir, const FrameTable& table);

// The rows of a CSV text: fields split at the separator that the first line
// uses most (",", ";" or a tab), double quotes as spreadsheet programs write
// them. Every line is one row, the first one included.
std::vector<SheetRow> ParseCsvRows(std::string_view text);

// What an import puts into the table: the CobID and Dimension texts of the
// first MaxFrameRows records, and how many records with content came after.
struct FrameSheetRead {
    std::vector<FrameRow> rows;
    int leftOut = 0;

    friend bool operator==(const FrameSheetRead&, const FrameSheetRead&) = default;
};

// The records of a sheet (its rows after the column names) as table rows.
FrameSheetRead FrameRowsFromRecords(const std::vector<SheetRow>& sheetRows);

// Reads CSV text a piece at a time and keeps only what the table takes, so
// that memory does not grow with the file: Feed the pieces in order, then
// Finish gives what FrameRowsFromRecords(ParseCsvRows(text)) gives for the
// whole text. The separator is the one the first line uses most.
class FrameCsvReader {
public:
    void Feed(std::string_view piece);
    FrameSheetRead Finish();

private:
    void Take(char c);
    void TakeInHeader(char c);
    void TakeInRecord(char c);
    void AddToField(char c);
    void EndRecord();

    enum class Phase { ByteOrderMark, Header, Records };
    Phase phase_ = Phase::ByteOrderMark;
    std::size_t markMatched_ = 0;  // bytes of a UTF-8 byte order mark seen so far
    char separator_ = ',';
    int commas_ = 0, semicolons_ = 0, tabs_ = 0;
    bool quoted_ = false;
    bool quoteInQuoted_ = false;  // a '"' inside quotes: the end, or the first of two
    bool skipLineFeed_ = false;   // after a CR, an LF belongs to the same line break
    bool lineStarted_ = false;
    std::size_t field_ = 0;       // the field of the current record
    bool cobIdSeen_ = false, dimensionSeen_ = false;
    FrameRow row_;
    std::size_t records_ = 0;
    std::size_t lastWithContent_ = 0;  // counted from 1; 0 when none
    FrameSheetRead read_;
};

// Reads the frames from `file`: a .csv file as Export writes it, or else the
// sheet named rpdodef (any letter case) of a workbook (.xls, .xlsx or .ods).
// A workbook without that sheet gives no rows. Throws Error when the file
// cannot be read, is damaged or is password-protected.
FrameSheetRead ImportFrameTableSheet(const std::filesystem::path& file);

}  // namespace vestrel
