#include "gateway/register_values.h"

#include "platform/text.h"

namespace vestrel::gateway {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// A number as the grammar has it: decimal digits, or "0x" and hexadecimal
// digits, with a "-" in front where `signedValue`. Nothing for any other
// text; values far beyond 16 bits stop the reading early, never overflow.
std::optional<std::int32_t> Number(std::string_view text, bool signedValue) {
    const bool negative = signedValue && !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::int32_t value = 0;
    for (char c : text) {
        const int digit = base == 16 ? HexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0) return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFF) value = 0xFFFFF;  // past any range: stays refused
    }
    return negative ? -value : value;
}

// Reads the list from left to right; the first fault ends it.
class ListReader {
public:
    explicit ListReader(std::string_view list) : list_(list) {}

    std::optional<RegisterValues> Read(std::string& why) {
        SkipBlanks();
        if (at_ == list_.size()) return Refused(why, Form());
        while (at_ < list_.size()) {
            if (!Pair(why)) return std::nullopt;
            const std::size_t before = at_;
            SkipBlanks();
            if (at_ == list_.size()) break;
            if (list_[at_] == ',') {
                ++at_;
                SkipBlanks();
                if (at_ == list_.size() || list_[at_] == ',')
                    return Refused(why, Form() + ", not '" + std::string(list_) + "': a comma with no pair after it");
            } else if (at_ == before) {
                return Refused(why, Form() + ", not '" + std::string(list_.substr(pairStart_)) + "'");
            }
        }
        return std::move(values_);
    }

private:
    static std::string Form() { return "register values are REG=VALUE pairs separated by commas or blanks"; }

    static std::optional<RegisterValues> Refused(std::string& why, std::string text) {
        why = std::move(text);
        return std::nullopt;
    }

    void SkipBlanks() {
        while (at_ < list_.size() && IsBlank(list_[at_])) ++at_;
    }

    // The text up to the next blank, comma or "=".
    std::string_view Token() {
        const std::size_t start = at_;
        while (at_ < list_.size() && !IsBlank(list_[at_]) && list_[at_] != ',' && list_[at_] != '=') ++at_;
        return list_.substr(start, at_ - start);
    }

    // The pair as typed, up to the next comma, for messages.
    std::string PairText() const {
        const std::size_t comma = list_.find(',', pairStart_);
        std::string_view text = list_.substr(pairStart_, comma == std::string_view::npos ? comma : comma - pairStart_);
        if (comma == pairStart_) text = list_.substr(pairStart_);  // a comma where a pair belongs
        while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
        return std::string(text);
    }

    bool Pair(std::string& why) {
        pairStart_ = at_;
        const std::string_view regText = Token();
        SkipBlanks();
        if (regText.empty() || at_ == list_.size() || list_[at_] != '=') {
            why = Form() + ", not '" + PairText() + "'";
            return false;
        }
        ++at_;
        SkipBlanks();
        const std::string_view valueText = Token();
        const auto reg = Number(regText, false);
        const auto value = Number(valueText, true);
        if (!reg || !value) {
            why = "'" + PairText() + "' is not REG=VALUE: registers and values are decimal or 0x hexadecimal numbers";
            return false;
        }
        if (*reg > 0xFFFF) {
            why = "register " + std::string(regText) + " is outside 0 to 65535";
            return false;
        }
        if (*value < kLowestRegisterValue || *value > kHighestRegisterValue) {
            why = "the value " + std::string(valueText) + " of register " + std::to_string(*reg) +
                  " is outside -32768 to 65535";
            return false;
        }
        if (!values_.emplace(static_cast<std::uint16_t>(*reg), static_cast<std::uint16_t>(*value & 0xFFFF)).second) {
            why = "register " + std::to_string(*reg) + " is given twice";
            return false;
        }
        return true;
    }

    std::string_view list_;
    std::size_t at_ = 0;
    std::size_t pairStart_ = 0;
    RegisterValues values_;
};

}  // namespace

std::optional<RegisterValues> ParseRegisterValues(std::string_view list, std::string& why) {
    return ListReader(list).Read(why);
}

}  // namespace vestrel::gateway
