#pragma once

// What the .xlsx and .ods readers share: the cells one reading pass keeps,
// and the text of values that the file stores as booleans or dates rather
// than as the numbers .xls gives. Private to the workbook readers.

#include "platform/spreadsheet_source.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vestrel {
namespace workbook_io {

// The largest sheet of Excel and LibreOffice; cells beyond it are dropped.
inline constexpr std::int32_t kMaxRows = 1048576;
inline constexpr std::int32_t kMaxColumns = 16384;

// The cells of one sheet in its first columns; the others pass by. With no
// sheet asked for, a pass only lists the sheet names.
struct CellSink {
    std::optional<std::string> sheet;
    std::size_t maxColumns = 0;

    std::map<std::pair<std::int32_t, std::int32_t>, std::string> cells;
    std::int32_t rows = 0;     // of the used range, counted from the first row
    std::int32_t columns = 0;  // likewise

    // Whether the sheet that the reader comes to next is the one asked for.
    // Of several sheets with that name only the first is read.
    bool Takes(std::string_view name) {
        const bool wanted = sheet && *sheet == name && !taken_;
        taken_ = taken_ || wanted;
        return wanted;
    }

    static bool InSheet(std::int32_t row, std::int32_t col) {
        return row >= 0 && col >= 0 && row < kMaxRows && col < kMaxColumns;
    }

    bool Keeps(std::int32_t row, std::int32_t col) const {
        return InSheet(row, col) && static_cast<std::size_t>(col) < maxColumns;
    }

    // Widens the used range to a cell that holds a value.
    void Note(std::int32_t row, std::int32_t col) {
        if (!InSheet(row, col)) return;
        rows = std::max(rows, row + 1);
        columns = std::max(columns, col + 1);
    }

    std::vector<SheetRow> Rows() const {
        const std::size_t width = std::min<std::size_t>(static_cast<std::size_t>(columns), maxColumns);
        std::vector<SheetRow> out(static_cast<std::size_t>(rows), SheetRow(width));
        for (const auto& [at, text] : cells) {
            // An empty text is an empty cell, as FreeXL has it.
            if (static_cast<std::size_t>(at.second) < width && !text.empty()) out[at.first][at.second] = text;
        }
        return out;
    }

private:
    bool taken_ = false;
};

inline std::string BoolText(bool value) { return value ? "TRUE" : "FALSE"; }

// A date and time of day as a serial number from 1899-12-30, so that it is
// shown the way sheet dates are; empty for a day that does not exist.
inline std::string DateTimeText(int year, int month, int day, double secondsOfDay, bool withTime) {
    using namespace std::chrono;
    const year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok()) return {};
    const double serial =
        static_cast<double>((sys_days(date) - sys_days(1899y / December / 30)).count()) + secondsOfDay / 86400.0;
    return FormatSheetSerial(serial, withTime ? NumberShown::DateTime : NumberShown::Date);
}

}  // namespace workbook_io
}  // namespace vestrel
