#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The two ways register numbers are written in the Modbus world, and the
// conversions between them. A request carries a 0-based protocol address;
// many masters and data sheets count registers from 1 (register 40 is
// protocol address 39). Mixing the two up is the most common mistake with
// Modbus tools, so every number the bench tools show says which one it is.
namespace vestrel::live {

enum class Numbering {
    ProtocolAddress,  // 0-based: the number is the address in the request
    RegisterNumber,   // 1-based: the address in the request is the number - 1
};

// "0-based protocol address" / "1-based register number".
std::string NumberingName(Numbering numbering);

// The protocol address that `number` stands for, or nothing when there is
// none (a register number of 0, a number beyond 65535 or 65536).
std::optional<std::uint16_t> AddressOf(long number, Numbering numbering);

// The number under `numbering` that names protocol address `address`.
long NumberOf(std::uint16_t address, Numbering numbering);

// Both readings at once: "protocol address 39 (register number 40)" or
// "register 40 = protocol address 39".
std::string AddressText(std::uint16_t address, Numbering numbering);

// The project's Index under a numbering. The gateway's firmware reads the
// 16-bit Index that the banks keep as the protocol address of a request, so
// Numbering::ProtocolAddress is what the banks mean; RegisterNumber serves a
// project written with 1-based numbers in mind.
std::string IndexNumberingText(Numbering numbering);

}  // namespace vestrel::live
