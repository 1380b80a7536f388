#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vestrel {

// The one conversion of typed numbers to 32-bit signed integers. Accepted:
// leading spaces, an optional "+" or "-", then decimal digits within the
// 32-bit signed range, or a hexadecimal marker ("$", "x", "X", "0x", "0X")
// with at most eight significant hexadecimal digits read as a two's-complement
// pattern ($FFFFFFFF is -1). Nothing may follow, not even a blank.
std::optional<std::int32_t> ParseIntegerText(std::string_view text);

// The fallback mode: failure gives `fallback` (the editors' checks pass -1).
std::int32_t ParseIntegerText(std::string_view text, std::int32_t fallback);

// The strict mode: failure throws Error("'<text>' is not a valid integer value").
std::int32_t ParseIntegerTextStrict(std::string_view text);

std::string InvalidIntegerMessage(std::string_view text);

}  // namespace vestrel
