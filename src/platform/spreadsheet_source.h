#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vestrel {

// One cell as the user sees it in the sheet: its text, or nullopt for an
// empty cell. Numbers come back in their shortest form ("385", "0.1"), dates
// as "2024-03-15", "2024-03-15 08:30:05" or "08:30:05", booleans as "TRUE" or
// "FALSE", formulas as their last computed value.
using SheetCell = std::optional<std::string>;
using SheetRow = std::vector<SheetCell>;

// A workbook opened read-only. Each backend (FreeXL for .xls, liborcus for
// .xlsx and .ods) implements this; the importers only use it.
class SpreadsheetSource {
public:
    virtual ~SpreadsheetSource() = default;

    // The names of the workbook's sheets, in workbook order.
    virtual std::vector<std::string> SheetNames() const = 0;

    // Every row of the named sheet's used range, from its first row (usually
    // the column names) down. Each row holds the cells of the first
    // `maxColumns` columns of that range, empty cells included, so all rows
    // have the same length. Throws Error when there is no such sheet or it
    // cannot be read.
    virtual std::vector<SheetRow> ReadRows(std::string_view sheetName, std::size_t maxColumns) const = 0;
};

// Opens a workbook read-only with the backend for its content (a zip archive
// is .xlsx or .ods, anything else goes to the .xls reader). Throws Error with
// a message for the user when the file cannot be opened as a workbook.
std::unique_ptr<SpreadsheetSource> OpenSpreadsheet(const std::filesystem::path& path);

// The backends.
std::unique_ptr<SpreadsheetSource> OpenFreeXlWorkbook(const std::filesystem::path& path);
std::unique_ptr<SpreadsheetSource> OpenOrcusWorkbook(const std::filesystem::path& path);

// The start of every error message about a workbook that cannot be read.
std::string WorkbookFailure(const std::filesystem::path& path, const std::string& reason);

// A number as a sheet shows it in its general format: whole numbers without a
// fraction or exponent, others in the shortest text that reads back as the
// same double.
std::string FormatSheetNumber(double value);

// What a cell's number format shows of its value.
enum class NumberShown { Number, Date, Time, DateTime };

// Tells a date or time format from a number format by its format code (as in
// "yyyy-mm-dd hh:mm" or "#,##0.00"); quoted text, escaped characters and
// colours in brackets do not count.
NumberShown ClassifyNumberFormat(std::string_view code);

// The same for a built-in format of an Excel workbook, by its number.
NumberShown ClassifyBuiltinNumberFormat(std::size_t id);

// A date serial number (days since the workbook's day zero, the fraction
// being the time of day) as FreeXL shows .xls dates: "2024-03-15",
// "08:30:05" or "2024-03-15 08:30:05", to the nearest second. A value that is
// no date (negative, past the year 9999) is shown as a number.
struct SheetDate {
    int year;
    unsigned month;
    unsigned day;
};
std::string FormatSheetSerial(double serial, NumberShown shown, SheetDate dayZero = {1899, 12, 30});

}  // namespace vestrel
