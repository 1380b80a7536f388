#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Small pieces of text handling that every module does the same way.
namespace vestrel {

// Equal when ASCII letters are compared without regard to case: how project
// files, INI keys and sheet names are matched.
bool EqualNoCase(std::string_view a, std::string_view b);

namespace text_detail {
inline constexpr std::array<signed char, 256> kHexDigitValues = [] {
    std::array<signed char, 256> table{};
    table.fill(-1);
    for (int c = 0; c < 10; ++c) table['0' + c] = static_cast<signed char>(c);
    for (int c = 0; c < 6; ++c) {
        table['A' + c] = static_cast<signed char>(10 + c);
        table['a' + c] = static_cast<signed char>(10 + c);
    }
    return table;
}();
}  // namespace text_detail

// The value of a hexadecimal digit of either case, or -1. A table lookup:
// it runs for every character of a firmware image.
inline int HexDigitValue(char c) { return text_detail::kHexDigitValues[static_cast<unsigned char>(c)]; }

// The upper-case hexadecimal digit of 0 to 15.
inline char UpperHexDigit(unsigned value) { return "0123456789ABCDEF"[value & 0xF]; }
// The lower-case one, as digests are written.
inline char LowerHexDigit(unsigned value) { return "0123456789abcdef"[value & 0xF]; }
// Whether `c` is one of those: a digest's digit.
inline bool IsLowerHexDigit(char c) { return HexDigitValue(c) >= 0 && !(c >= 'A' && c <= 'F'); }

// `value` in upper-case hexadecimal digits, at least `digits` of them, without
// a prefix: UpperHex(0x181, 4) is "0181".
std::string UpperHex(std::uint64_t value, int digits = 1);

// The same with the "0x" prefix: PrefixedHex(0x181) is "0x181".
inline std::string PrefixedHex(std::uint64_t value, int digits = 1) { return "0x" + UpperHex(value, digits); }

// A count and its noun: "1 frame", "3 frames", "0 frames".
std::string Plural(std::uint64_t count, std::string_view one, std::string_view many);

// Items as a sentence lists them: "1", "1 and 3", "1, 2 and 3"; "" for none.
std::string JoinedWithAnd(std::span<const std::string> items);
// The same with "or": "1, 2 or 3".
std::string JoinedWithOr(std::span<const std::string> items);

}  // namespace vestrel
