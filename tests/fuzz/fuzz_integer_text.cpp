// ParseIntegerText against a second reading of the same rules built on
// std::from_chars; the strict and fallback forms must agree with it, and
// every accepted value must read back from its decimal and "$" forms.

#include "fuzz_support.h"

#include "platform/error.h"
#include "project/integer_text.h"

#include <charconv>
#include <cinttypes>
#include <cstring>
#include <optional>

namespace {


bool AllOf(std::string_view text, bool (*pred)(char)) {
    return !text.empty() && std::all_of(text.begin(), text.end(), pred);
}
bool IsDecimal(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDecimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::optional<std::int32_t> Reference(std::string_view text) {
    const auto start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) return std::nullopt;
    text.remove_prefix(start);
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::string_view digits;
    bool hex = true;
    if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X'))
        digits = text.substr(1);
    else if (text.starts_with("0x") || text.starts_with("0X"))
        digits = text.substr(2);
    else
        digits = text, hex = false;

    if (hex) {
        if (!AllOf(digits, IsHex)) return std::nullopt;
        const auto significant = digits.find_first_not_of('0');
        if (significant != std::string_view::npos && digits.size() - significant > 8) return std::nullopt;
        std::uint32_t value = 0;
        if (significant != std::string_view::npos)
            std::from_chars(digits.data() + significant, digits.data() + digits.size(), value, 16);
        return static_cast<std::int32_t>(negative ? 0u - value : value);
    }
    if (!AllOf(digits, IsDecimal)) return std::nullopt;
    std::int64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;  // beyond 64 bits
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = vestrel::fuzz::AsText(data, size);
    const std::optional<std::int32_t> parsed = vestrel::ParseIntegerText(text);
    const std::optional<std::int32_t> expected = Reference(text);
    FUZZ_CHECK(parsed == expected, "ParseIntegerText and the reference disagree on '" + std::string(text) + "'");

    FUZZ_CHECK(vestrel::ParseIntegerText(text, 12345) == parsed.value_or(12345), "the fallback form disagrees");
    try {
        const std::int32_t strict = vestrel::ParseIntegerTextStrict(text);
        FUZZ_CHECK(parsed && strict == *parsed, "the strict form accepted what the plain form refused");
    } catch (const vestrel::Error& e) {
        FUZZ_CHECK(!parsed, "the strict form refused an accepted text");
        // what() ends at the first NUL of the text.
        const std::string message = "'" + std::string(text) + "' is not a valid integer value";
        FUZZ_CHECK(std::strcmp(e.what(), message.c_str()) == 0, "wrong message: " + std::string(e.what()));
    }

    if (parsed) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "$%" PRIX32, static_cast<std::uint32_t>(*parsed));
        FUZZ_CHECK(vestrel::ParseIntegerText(std::to_string(*parsed)) == parsed, "the decimal form does not read back");
        FUZZ_CHECK(vestrel::ParseIntegerText(hex) == parsed, "the hexadecimal form does not read back");
    }
    return 0;
}
