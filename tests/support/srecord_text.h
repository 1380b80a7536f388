#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace vestrel::test {

// One S-record line with a correct checksum and a CR LF line end.
inline std::string SRecord(char type, std::uint32_t address, int addressBytes, std::span<const std::uint8_t> data) {
    char hex[8];
    unsigned sum = 0;
    std::string line = std::string("S") + type;
    auto put = [&](unsigned byte) {
        std::snprintf(hex, sizeof hex, "%02X", byte & 0xFF);
        line += hex;
        sum += byte & 0xFF;
    };
    put(static_cast<unsigned>(addressBytes) + static_cast<unsigned>(data.size()) + 1);
    for (int i = addressBytes - 1; i >= 0; --i) put(address >> (8 * i));
    for (std::uint8_t b : data) put(b);
    std::snprintf(hex, sizeof hex, "%02X", ~sum & 0xFF);
    return line + hex + "\r\n";
}

inline std::string SRecord(char type, std::uint32_t address, int addressBytes, const std::string& data = {}) {
    return SRecord(type, address, addressBytes,
                   std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

// `bytes` as S2 records of 32 bytes from `address` on.
inline std::string S2Block(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    std::string text;
    for (std::size_t at = 0; at < bytes.size(); at += 32)
        text += SRecord('2', address + static_cast<std::uint32_t>(at), 3, bytes.subspan(at, std::min<std::size_t>(32, bytes.size() - at)));
    return text;
}

// A firmware image: a header, some code below the banks, banks 1 and 2 at
// 0x388000 and 0x398000, code above, and the end record.
inline std::string FirmwareImage(std::span<const std::uint8_t> bank1, std::span<const std::uint8_t> bank2) {
    std::string image = SRecord('0', 0, 2, "demo");
    image += SRecord('2', 0x380000, 3, std::string(32, '\x11'));
    image += S2Block(0x388000, bank1);
    image += SRecord('2', 0x390000, 3, std::string(16, '\x22'));
    image += S2Block(0x398000, bank2);
    image += SRecord('2', 0x3A0000, 3, std::string(16, '\x33'));
    return image + SRecord('9', 0, 2);
}

}  // namespace vestrel::test
