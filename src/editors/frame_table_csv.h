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

// Writes rpdodef.csv into the project folder, replacing it whole. Throws
// Error with the file error.
void ExportFrameTableCsv(const std::filesystem::path& projectDir, const FrameTable& table);

// The rows of a CSV text: fields split at the separator that the first line
// uses most (",", ";" or a tab), double quotes as spreadsheet programs write
// them. Every line is one row, the first one included.
std::vector<SheetRow> ParseCsvRows(std::string_view text);

// What an import puts into the table: the CobID and Dimension texts of the
// first MaxFrameRows records, and how many records with content came after.
struct FrameSheetRead {
    std::vector<FrameRow> rows;
    int leftOut = 0;
};

// The records of a sheet (its rows after the column names) as table rows.
FrameSheetRead FrameRowsFromRecords(const std::vector<SheetRow>& sheetRows);

// Reads the frames from `file`: a .csv file as Export writes it, or else the
// sheet named rpdodef (any letter case) of a workbook (.xls, .xlsx or .ods).
// A workbook without that sheet gives no rows. Throws Error when the file
// cannot be read, is damaged or is password-protected.
FrameSheetRead ImportFrameTableSheet(const std::filesystem::path& file);

}  // namespace vestrel
