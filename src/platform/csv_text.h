#pragma once

#include <string>
#include <string_view>

// The cells of every CSV file the tool writes and reads back.
namespace vestrel {

// A cell as written: text that a spreadsheet program would take for a
// formula (it starts with "=", "+", "-", "@", a tab or a carriage return, and
// is not a plain decimal number such as -5 or +1.25) gets an apostrophe in
// front, so that a file opened in LibreOffice or Excel runs nothing. So does
// such text behind apostrophes of its own, so that reading gives back exactly
// what was written. A cell that holds the separator, a double quote or a line
// break is then put in double quotes, inner quotes doubled.
std::string CsvCell(std::string_view text, char separator);

// The line end of the CSV files the editors export, as spreadsheet programs
// write them.
inline constexpr std::string_view kCsvLineEnd = "\r\n";

// A cell's text as the tool's CSV importers take it: without the apostrophe
// that CsvCell put in front (the cell already unquoted).
std::string_view CsvCellText(std::string_view cell);

}  // namespace vestrel
