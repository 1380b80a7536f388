#pragma once

#include "platform/result.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Register values as an engineer types them, the one grammar of every place
// that takes such a list: vestrel-cli preview --registers and verify --write,
// the Preview window and the bench windows. Plain C++, so that the bench
// tools include it as they are.
namespace vestrel::gateway {

// Register number (Index) -> 16-bit value.
using RegisterValues = std::map<std::uint16_t, std::uint16_t>;

// The values a register takes as typed: -32768 to 65535, a negative value
// standing for its 16-bit two's complement (-1 is 0xFFFF).
inline constexpr std::int32_t kLowestRegisterValue = -32768;
inline constexpr std::int32_t kHighestRegisterValue = 65535;

// Reads "100=0x1234,110=7", "100 = 0x1234, 110 = -1" or "100=1 110=7":
// REG=VALUE pairs separated by a comma or by blanks, blanks allowed around
// the "=" and the comma. A register is 0 to 65535, a value -32768 to 65535;
// both are decimal or "0x" hexadecimal (a value with a "-" in front), and no
// register comes twice. Anything else gives the reason, which quotes the
// text as typed (the caller escapes it for where it goes).
Result<RegisterValues> ParseRegisterValues(std::string_view list);

// Reads "0x1234, 7 -1": values alone in the same grammar, separated by a
// comma or by blanks, as a Modbus write takes them in order. The reason
// otherwise.
Result<std::vector<std::uint16_t>> ParseRegisterValueList(std::string_view list);

}  // namespace vestrel::gateway
