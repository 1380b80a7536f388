#include "gateway/register_values.h"

#include "platform/text.h"

#include <functional>

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

// Reads a list of KEY=VALUE pairs from left to right, handing each pair to
// `take`; the first fault ends it. `form` says what the list is made of.
class ListReader {
public:
    // Takes a pair (key, value, the pair as typed); false with `why` set refuses it.
    using Take = std::function<bool(std::string_view, std::string_view, const std::string&, std::string&)>;

    ListReader(std::string_view list, std::string form, Take take)
        : list_(list), form_(std::move(form)), take_(std::move(take)) {}

    bool Read(std::string& why) {
        SkipBlanks();
        if (at_ == list_.size()) return Refused(why, form_);
        while (at_ < list_.size()) {
            if (!Pair(why)) return false;
            const std::size_t before = at_;
            SkipBlanks();
            if (at_ == list_.size()) break;
            if (list_[at_] == ',') {
                ++at_;
                SkipBlanks();
                if (at_ == list_.size() || list_[at_] == ',')
                    return Refused(why, form_ + ", not '" + std::string(list_) + "': a comma with no pair after it");
            } else if (at_ == before) {
                return Refused(why, form_ + ", not '" + std::string(list_.substr(pairStart_)) + "'");
            }
        }
        return true;
    }

private:
    static bool Refused(std::string& why, std::string text) {
        why = std::move(text);
        return false;
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
        const std::string_view key = Token();
        SkipBlanks();
        if (key.empty() || at_ == list_.size() || list_[at_] != '=') {
            why = form_ + ", not '" + PairText() + "'";
            return false;
        }
        ++at_;
        SkipBlanks();
        const std::string_view value = Token();
        return take_(key, value, PairText(), why);
    }

    std::string_view list_;
    std::string form_;
    Take take_;
    std::size_t at_ = 0;
    std::size_t pairStart_ = 0;
};

}  // namespace

Result<RegisterValues> ParseRegisterValues(std::string_view list) {
    RegisterValues values;
    auto take = [&](std::string_view regText, std::string_view valueText, const std::string& pair, std::string& reason) {
        const auto reg = Number(regText, false);
        const auto value = Number(valueText, true);
        if (!reg || !value) {
            reason = "'" + pair + "' is not REG=VALUE: registers and values are decimal or 0x hexadecimal numbers";
            return false;
        }
        if (*reg > 0xFFFF) {
            reason = "register " + std::string(regText) + " is outside 0 to 65535";
            return false;
        }
        if (*value < kLowestRegisterValue || *value > kHighestRegisterValue) {
            reason = "the value " + std::string(valueText) + " of register " + std::to_string(*reg) +
                  " is outside -32768 to 65535";
            return false;
        }
        if (!values.emplace(static_cast<std::uint16_t>(*reg), static_cast<std::uint16_t>(*value & 0xFFFF)).second) {
            reason = "register " + std::to_string(*reg) + " is given twice";
            return false;
        }
        return true;
    };
    if (std::string why; !ListReader(list, "register values are REG=VALUE pairs separated by commas or blanks", take)
                              .Read(why))
        return Failure{std::move(why)};
    return values;
}

Result<std::vector<NamedValue>> ParseNamedValues(std::string_view list) {
    std::vector<NamedValue> values;
    auto take = [&](std::string_view name, std::string_view value, const std::string& pair, std::string& reason) {
        if (value.empty()) {
            reason = "'" + pair + "' is not NAME=VALUE: the value is missing";
            return false;
        }
        for (const NamedValue& v : values)
            if (v.name == name) {
                reason = std::string(name) + " is given twice";
                return false;
            }
        values.push_back({std::string(name), std::string(value)});
        return true;
    };
    if (std::string why; !ListReader(list, "values are NAME=VALUE pairs separated by commas or blanks", take).Read(why))
        return Failure{std::move(why)};
    return values;
}

}  // namespace vestrel::gateway
