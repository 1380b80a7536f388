#pragma once

#include <cstdint>
#include <string>

// PosComp: which data bytes of a frame a register's two halves hold. The high
// nibble names the byte of the register's high half, the low nibble the byte
// of its low half: 0 names none, 1 to 8 the data bytes B1 to B8. 9 to 15,
// which a CSV import can store, name no byte of a CAN 2.0 frame. Every part
// that reads or makes a PosComp goes through these.
namespace vestrel {

inline constexpr int kNoDataByte = 0;  // the nibble that names no byte

constexpr int PosCompHigh(std::uint32_t posComp) { return static_cast<int>(posComp >> 4 & 0x0F); }
constexpr int PosCompLow(std::uint32_t posComp) { return static_cast<int>(posComp & 0x0F); }

// The PosComp of two nibbles, each 0 to 15.
constexpr std::uint8_t MakePosComp(int high, int low) {
    return static_cast<std::uint8_t>((high & 0x0F) << 4 | (low & 0x0F));
}

// The nibble that names data byte `index` (0 for B1), or none for -1.
constexpr int NibbleOfDataByte(int index) { return index < 0 ? kNoDataByte : index + 1; }
// The data byte (0 for B1) that a nibble names, or -1 when it names none of B1-B8.
constexpr int DataByteOfNibble(int nibble) { return nibble >= 1 && nibble <= 8 ? nibble - 1 : -1; }

// The data byte (0 for B1) a nibble names within a frame of `length` data
// bytes (its Dimensin), or -1 when it names none of them.
constexpr int DataByteWithin(int nibble, int length) {
    const int byte = DataByteOfNibble(nibble);
    return byte < length ? byte : -1;
}

// "B3", "none" or "code 12".
inline std::string ByteSourceText(int nibble) {
    if (nibble == kNoDataByte) return "none";
    if (DataByteOfNibble(nibble) >= 0) return "B" + std::to_string(nibble);
    return "code " + std::to_string(nibble);
}

}  // namespace vestrel
