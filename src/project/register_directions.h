#pragma once

#include <string_view>

namespace vestrel {

// What is said wherever one register number is both a receive register
// (the PLC reads it) and a transmit register (the PLC writes it): the
// project allows it, and what the device does with such an address is not
// known. The simulator keeps one value per address, so a received frame
// overwrites what the PLC wrote there, and the next transmit frame sends it.
inline constexpr std::string_view kSharedAddressNote =
    "a Modbus master reads and writes the same address there; what the device does with such an address is not "
    "known, and the simulator keeps one value for both, so a received frame overwrites what the PLC wrote";

// The same, short, for a line of a table that names such a register.
inline constexpr std::string_view kSharedAddressBrief =
    "what the device does with an address both read and written is not known";

}  // namespace vestrel
