#include "platform/spreadsheet_source.h"

#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace vestrel {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool StartsWithZipSignature(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    char head[4] = {};
    if (!in.read(head, sizeof head)) return false;
    // A local file header, or the end record of an empty archive.
    return head[0] == 'P' && head[1] == 'K' && ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6));
}

}  // namespace

std::unique_ptr<SpreadsheetSource> OpenSpreadsheet(const std::filesystem::path& path) {
    // The content decides, whatever the name says: .xlsx and .ods are zip
    // archives, .xls is not. A file of neither kind gets the message of the
    // reader that its name asks for.
    if (StartsWithZipSignature(path)) return OpenOrcusWorkbook(path);
    const std::string extension = Lower(path.extension().string());
    if (extension == ".xlsx" || extension == ".xlsm" || extension == ".ods") {
        std::error_code ignored;
        if (!std::filesystem::exists(path, ignored)) return OpenFreeXlWorkbook(path);  // its missing-file message
        // An encrypted .xlsx is an OLE container, like an .xls: let FreeXL
        // say what it is.
        std::ifstream in(path, std::ios::binary);
        unsigned char head[4] = {};
        in.read(reinterpret_cast<char*>(head), sizeof head);
        if (head[0] == 0xD0 && head[1] == 0xCF && head[2] == 0x11 && head[3] == 0xE0) return OpenFreeXlWorkbook(path);
        return OpenOrcusWorkbook(path);
    }
    return OpenFreeXlWorkbook(path);
}

std::string WorkbookFailure(const std::filesystem::path& path, const std::string& reason) {
    return "Cannot read workbook \"" + path.string() + "\". " + reason;
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

NumberShown ClassifyNumberFormat(std::string_view code) {
    bool date = false, time = false, month = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(code[i])));
        if (c == ';') break;  // the first section decides
        if (c == '"') {
            const auto end = code.find('"', i + 1);
            if (end == std::string_view::npos) break;
            i = end;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;  // an escaped character, or one that only pads
        } else if (c == '[') {
            const auto end = code.find(']', i + 1);
            if (end == std::string_view::npos) break;
            // [h], [mm] and [ss] are elapsed times; [Red] or [$-409] are not.
            const std::string_view inside = code.substr(i + 1, end - i - 1);
            if (!inside.empty() && inside.find_first_not_of("hHmMsS") == std::string_view::npos) time = true;
            i = end;
        } else if (c == 'y' || c == 'd') {
            date = true;
        } else if (c == 'h' || c == 's') {
            time = true;
        } else if (c == 'm') {
            month = true;
        }
    }
    // m is the minute next to hours or seconds, else the month.
    if (month && !time) date = true;
    if (date && time) return NumberShown::DateTime;
    if (date) return NumberShown::Date;
    if (time) return NumberShown::Time;
    return NumberShown::Number;
}

NumberShown ClassifyBuiltinNumberFormat(std::size_t id) {
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 31) || (id >= 34 && id <= 36) || (id >= 50 && id <= 58))
        return NumberShown::Date;
    if ((id >= 18 && id <= 21) || (id >= 32 && id <= 33) || (id >= 45 && id <= 47)) return NumberShown::Time;
    if (id == 22) return NumberShown::DateTime;
    return NumberShown::Number;
}

std::string FormatSheetSerial(double serial, NumberShown shown, SheetDate dayZero) {
    using namespace std::chrono;
    // 2958466 days after 1899-12-30 is the year 10000.
    if (shown == NumberShown::Number || !std::isfinite(serial) || serial < 0 || serial >= 2958466)
        return FormatSheetNumber(serial);
    const long long seconds = std::llround(serial * 86400.0);
    const sys_days day = sys_days(year_month_day(year(dayZero.year), std::chrono::month(dayZero.month),
                                                 std::chrono::day(dayZero.day))) +
                         days(seconds / 86400);
    const year_month_day date(day);
    if (!date.ok() || static_cast<int>(date.year()) > 9999) return FormatSheetNumber(serial);
    const long long clock = seconds % 86400;

    char text[32];
    switch (shown) {
    case NumberShown::Date:
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
        break;
    case NumberShown::Time:
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", clock / 3600, clock / 60 % 60, clock % 60);
        break;
    default:
        std::snprintf(text, sizeof text, "%04d-%02u-%02u %02lld:%02lld:%02lld", static_cast<int>(date.year()),
                      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), clock / 3600,
                      clock / 60 % 60, clock % 60);
        break;
    }
    return text;
}

}  // namespace vestrel
