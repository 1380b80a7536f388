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
// empty cell. Numbers come back in their shortest form ("385", "0.1").
using SheetCell = std::optional<std::string>;
using SheetRow = std::vector<SheetCell>;

// A workbook opened read-only. Each backend (FreeXL for .xls; others may
// follow for .xlsx and .ods) implements this; the importers only use it.
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

// Opens a workbook read-only with the backend for its file type. Throws Error
// with a message for the user when the file cannot be opened as a workbook.
std::unique_ptr<SpreadsheetSource> OpenSpreadsheet(const std::filesystem::path& path);

// The backends.
std::unique_ptr<SpreadsheetSource> OpenFreeXlWorkbook(const std::filesystem::path& path);

// A number as a sheet shows it in its general format: whole numbers without a
// fraction or exponent, others in the shortest text that reads back as the
// same double.
std::string FormatSheetNumber(double value);

}  // namespace vestrel
