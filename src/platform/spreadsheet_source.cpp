#include "platform/spreadsheet_source.h"

#include <charconv>
#include <cmath>

namespace vestrel {

std::unique_ptr<SpreadsheetSource> OpenSpreadsheet(const std::filesystem::path& path) {
    // .xls is the only workbook format so far; FreeXL tells a file that is
    // not one apart by its content, whatever its name.
    return OpenFreeXlWorkbook(path);
}

std::string FormatSheetNumber(double value) {
    if (value == 0) return "0";  // also -0
    char buffer[400];
    const double magnitude = std::fabs(value);
    // Within this range plain notation is what a sheet shows and stays
    // short; whole numbers up to 1e15 are exact in a double.
    const auto format = (magnitude >= 1e-5 && magnitude < 1e15) ? std::chars_format::fixed
                                                                 : std::chars_format::general;
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format);
    if (result.ec != std::errc()) return {};
    return std::string(buffer, result.ptr);
}

}  // namespace vestrel
