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

// Reads a list of items from left to right: KEY=VALUE pairs handed to
// `take`, or with `pairs` false single values handed to it with an empty
// key. The first fault ends it. `form` says what the list is made of.
class ListReader {
public:
    // Takes an item (key, value, the item as typed), or refuses it with the reason.
    using Take = std::function<Result<void>(std::string_view, std::string_view, const std::string&)>;

    ListReader(std::string_view list, std::string form, Take take, bool pairs = true)
        : list_(list), form_(std::move(form)), take_(std::move(take)), pairs_(pairs) {}

    Result<void> Read() {
        SkipBlanks();
        if (at_ == list_.size()) return Failure{form_};
        while (at_ < list_.size()) {
            if (Result<void> item = Item(); !item) return item;
            const std::size_t before = at_;
            SkipBlanks();
            if (at_ == list_.size()) break;
            if (list_[at_] == ',') {
                ++at_;
                SkipBlanks();
                if (at_ == list_.size() || list_[at_] == ',')
                    return Failure{form_ + ", not '" + std::string(list_) + "': a comma with no " + (pairs_ ? "pair" : "value") + " after it"};
            } else if (at_ == before) {
                return Failure{form_ + ", not '" + std::string(list_.substr(itemStart_)) + "'"};
            }
        }
        return {};
    }

private:
    void SkipBlanks() {
        while (at_ < list_.size() && IsBlank(list_[at_])) ++at_;
    }

    // The text up to the next blank, comma or "=".
    std::string_view Token() {
        const std::size_t start = at_;
        while (at_ < list_.size() && !IsBlank(list_[at_]) && list_[at_] != ',' && list_[at_] != '=') ++at_;
        return list_.substr(start, at_ - start);
    }

    // The item as typed, up to the next comma, for messages.
    std::string ItemText() const {
        const std::size_t comma = list_.find(',', itemStart_);
        std::string_view text = list_.substr(itemStart_, comma == std::string_view::npos ? comma : comma - itemStart_);
        if (comma == itemStart_) text = list_.substr(itemStart_);  // a comma where an item belongs
        while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
        return std::string(text);
    }

    Result<void> Item() {
        itemStart_ = at_;
        const std::string_view key = pairs_ ? Token() : std::string_view();
        if (pairs_) {
            SkipBlanks();
            if (key.empty() || at_ == list_.size() || list_[at_] != '=') return Failure{form_ + ", not '" + ItemText() + "'"};
            ++at_;
            SkipBlanks();
        }
        const std::string_view value = Token();
        if (!pairs_ && value.empty()) return Failure{form_ + ", not '" + ItemText() + "'"};
        return take_(key, value, ItemText());
    }

    std::string_view list_;
    std::string form_;
    Take take_;
    bool pairs_;
    std::size_t at_ = 0;
    std::size_t itemStart_ = 0;
};

// A value in the one grammar, or the reason it is none.
Result<std::uint16_t> TypedValue(std::string_view text, const std::string& what) {
    const auto value = Number(text, true);
    if (!value || *value < kLowestRegisterValue || *value > kHighestRegisterValue)
        return Failure{what + " is outside -32768 to 65535"};
    return static_cast<std::uint16_t>(*value & 0xFFFF);
}

}  // namespace

Result<RegisterValues> ParseRegisterValues(std::string_view list) {
    RegisterValues values;
    auto take = [&](std::string_view regText, std::string_view valueText, const std::string& pair) -> Result<void> {
        const auto reg = Number(regText, false);
        if (!reg || !Number(valueText, true))
            return Failure{"'" + pair + "' is not REG=VALUE: registers and values are decimal or 0x hexadecimal numbers"};
        if (*reg > 0xFFFF) return Failure{"register " + std::string(regText) + " is outside 0 to 65535"};
        const Result<std::uint16_t> value =
            TypedValue(valueText, "the value " + std::string(valueText) + " of register " + std::to_string(*reg));
        if (!value) return Failure{value.Why()};
        if (!values.emplace(static_cast<std::uint16_t>(*reg), *value).second)
            return Failure{"register " + std::to_string(*reg) + " is given twice"};
        return {};
    };
    if (Result<void> read = ListReader(list, "register values are REG=VALUE pairs separated by commas or blanks", take).Read(); !read)
        return Failure{read.Why()};
    return values;
}

Result<std::vector<std::uint16_t>> ParseRegisterValueList(std::string_view list) {
    std::vector<std::uint16_t> values;
    auto take = [&](std::string_view, std::string_view valueText, const std::string& item) -> Result<void> {
        if (!Number(valueText, true))
            return Failure{"'" + item + "' is not a register value: values are decimal or 0x hexadecimal numbers"};
        const Result<std::uint16_t> value = TypedValue(valueText, "the value " + std::string(valueText));
        if (!value) return Failure{value.Why()};
        values.push_back(*value);
        return {};
    };
    if (Result<void> read = ListReader(list, "type the values to write, such as 0x1234, 7", take, false).Read(); !read)
        return Failure{read.Why()};
    return values;
}

}  // namespace vestrel::gateway
