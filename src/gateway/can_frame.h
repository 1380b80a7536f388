#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vestrel::gateway {

inline constexpr int kMaxDataBytes = 8;
inline constexpr std::uint32_t kMaxStandardId = 0x7FF;
inline constexpr std::uint32_t kMaxExtendedId = 0x1FFFFFFF;

// A classic CAN 2.0 frame as it travels on the bus.
struct CanFrame {
    std::uint32_t id = 0;
    bool extended = false;     // a 29-bit identifier
    bool remote = false;       // a remote request: no data, `length` is the length asked for
    bool error = false;        // an error frame as candump logs it; id holds its error class bits
    std::uint8_t length = 0;   // 0-8
    std::array<std::uint8_t, kMaxDataBytes> data{};

    friend bool operator==(const CanFrame&, const CanFrame&) = default;
};

// Reads a frame in can-utils' compact syntax (cansend, candump -l):
// "181#1122334455667788", "12345678#AABB", data bytes optionally separated
// by '.', "181#R" or "181#R3" for a remote request. Three hex digits make a
// standard identifier, eight an extended one; an eight-digit identifier with
// bit 29 set is an error frame. Returns false and says why in `why` for any
// other text (CAN FD's "##" included).
bool ParseCompactFrame(std::string_view text, CanFrame& frame, std::string& why);

// The frame in that syntax, hex digits upper case: "181#1122", "201#R".
std::string CompactFrameText(const CanFrame& frame);

// "0x181" for an identifier, upper-case hex.
std::string CobIdText(std::uint32_t id);
// An identifier as seen on the bus: "0x181" for a standard one, eight digits
// for an extended one ("0x00000181"), so the two formats never look alike.
std::string BusIdText(std::uint32_t id, bool extended);

}  // namespace vestrel::gateway
