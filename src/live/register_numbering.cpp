#include "live/register_numbering.h"

namespace vestrel::live {

std::string NumberingName(Numbering numbering) {
    return numbering == Numbering::ProtocolAddress ? "0-based protocol address" : "1-based register number";
}

std::optional<std::uint16_t> AddressOf(long number, Numbering numbering) {
    const long address = numbering == Numbering::ProtocolAddress ? number : number - 1;
    if (address < 0 || address > 0xFFFF) return std::nullopt;
    return static_cast<std::uint16_t>(address);
}

long NumberOf(std::uint16_t address, Numbering numbering) {
    return numbering == Numbering::ProtocolAddress ? address : address + 1L;
}

std::string AddressText(std::uint16_t address, Numbering numbering) {
    if (numbering == Numbering::ProtocolAddress)
        return "protocol address " + std::to_string(address) + " (register number " + std::to_string(address + 1L) +
               ")";
    return "register " + std::to_string(address + 1L) + " = protocol address " + std::to_string(address);
}

std::string IndexNumberingText(Numbering numbering) {
    if (numbering == Numbering::ProtocolAddress)
        return "the project's register number (Index) is the protocol address of the request, as the gateway's "
               "firmware reads it";
    return "the project's register number (Index) is a 1-based register number: protocol address = Index - 1";
}

}  // namespace vestrel::live
