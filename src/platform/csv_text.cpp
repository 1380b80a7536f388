#include "platform/csv_text.h"

namespace vestrel {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "-5", "+1.25", "7": a number a spreadsheet reads as such.
bool IsPlainNumber(std::string_view text) {
    std::size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
    const std::size_t start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i == start) return false;
    if (i < text.size() && text[i] == '.') {
        const std::size_t fraction = ++i;
        while (i < text.size() && IsDigit(text[i])) ++i;
        if (i == fraction) return false;
    }
    return i == text.size();
}

// Whether `text` needs the apostrophe: it starts like a formula, perhaps
// behind apostrophes of its own.
bool NeedsGuard(std::string_view text) {
    const std::size_t start = text.find_first_not_of('\'');
    if (start == std::string_view::npos) return false;
    const std::string_view rest = text.substr(start);
    switch (rest[0]) {
        case '=': case '@': case '\t': case '\r': return true;
        case '+': case '-': return !IsPlainNumber(rest);
        default: return false;
    }
}

}  // namespace

std::string CsvCell(std::string_view text, char separator) {
    std::string cell = NeedsGuard(text) ? "'" + std::string(text) : std::string(text);
    if (cell.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string::npos) return cell;
    std::string quoted = "\"";
    for (char c : cell) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string_view CsvCellText(std::string_view cell) {
    if (!cell.empty() && cell[0] == '\'' && NeedsGuard(cell.substr(1))) cell.remove_prefix(1);
    return cell;
}

}  // namespace vestrel
