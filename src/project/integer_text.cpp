#include "project/integer_text.h"

#include "platform/error.h"
#include "platform/text.h"

namespace vestrel {

std::optional<std::int32_t> ParseIntegerText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;

    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }

    if (i >= text.size()) return std::nullopt;

    if (hex) {
        std::uint32_t value = 0;
        int significant = 0;
        for (; i < text.size(); ++i) {
            int digit = HexDigitValue(text[i]);
            if (digit < 0) return std::nullopt;
            if (significant > 0 || digit != 0) ++significant;
            if (significant > 8) return std::nullopt;
            value = (value << 4) | static_cast<std::uint32_t>(digit);
        }
        // The sign negates the 32-bit pattern; -$80000000 wraps to itself.
        if (negative) value = 0u - value;
        return static_cast<std::int32_t>(value);
    }

    std::uint64_t magnitude = 0;
    const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
        if (magnitude > limit) return std::nullopt;
    }
    std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(value);
}

std::int32_t ParseIntegerText(std::string_view text, std::int32_t fallback) {
    return ParseIntegerText(text).value_or(fallback);
}

std::string InvalidIntegerMessage(std::string_view text) {
    return "'" + std::string(text) + "' is not a valid integer value";
}

std::int32_t ParseIntegerTextStrict(std::string_view text) {
    if (auto value = ParseIntegerText(text)) return *value;
    throw Error(InvalidIntegerMessage(text));
}

}  // namespace vestrel
