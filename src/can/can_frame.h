#pragma once

#include "platform/result.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vestrel::can {

// The largest identifier of each format: 11 bits (standard, CAN 2.0A) and
// 29 bits (extended, CAN 2.0B).
inline constexpr std::uint32_t kMaxStandardId = 0x7FF;
inline constexpr std::uint32_t kMaxExtendedId = 0x1FFFFFFF;

inline constexpr int kMaxDataBytes = 8;     // a CAN 2.0 frame
inline constexpr int kMaxFdDataBytes = 64;  // a CAN FD frame

// A CAN frame as it travels on the bus: a classic CAN 2.0 frame, or a CAN
// FD frame, which the gateway (CAN 2.0) never takes in but the tools show,
// count and record as what it is.
struct CanFrame {
    std::uint32_t id = 0;
    bool extended = false;             // a 29-bit identifier
    bool remote = false;               // a remote request: no data, `length` is the length asked for
    bool error = false;                // an error frame as candump logs it; id holds its error class bits
    bool fd = false;                   // a CAN FD frame
    bool bitRateSwitch = false;        // CAN FD: the data phase ran at the higher bit rate (BRS)
    bool errorStateIndicator = false;  // CAN FD: the sender was error passive (ESI)
    std::uint8_t length = 0;           // 0-8, for CAN FD 0-64
    std::array<std::uint8_t, kMaxFdDataBytes> data{};

    friend bool operator==(const CanFrame&, const CanFrame&) = default;
};

// The data length a CAN FD frame's DLC (0-15) stands for: 0-8, 12, 16, 20,
// 24, 32, 48 or 64. A classic frame's DLC above 8 means 8 bytes.
int FdDataLength(int dlc);

// A frame's identifier as can-utils writes it, apart from the frame.
struct CanIdentifier {
    std::uint32_t id = 0;
    bool extended = false;
    bool error = false;  // an error frame; id holds its error class bits

    void SetIn(CanFrame& frame) const {
        frame.id = id;
        frame.extended = extended;
        frame.error = error;
    }
};

// Reads the identifier of can-utils' syntax: three hex digits make a
// standard identifier, eight an extended one; an eight-digit identifier with
// bit 29 set is an error frame (the other bits its error class).
Result<CanIdentifier> ParseCandumpId(std::string_view digits);

// Reads a frame in can-utils' compact syntax (cansend, candump -l):
// "181#1122334455667788", "12345678#AABB", data bytes optionally separated
// by '.', "181#R" or "181#R3" for a remote request, and for CAN FD
// "181##<flags>DATA" with one hex digit of flags (1 BRS, 2 ESI) and up to
// 64 bytes. Any other text is refused with the reason.
Result<CanFrame> ParseCompactFrame(std::string_view text);

// The frame in that syntax, hex digits upper case: "181#1122", "201#R",
// "181##1AABBCCDDEEFF00112233".
std::string CompactFrameText(const CanFrame& frame);
void AppendCompactFrameText(std::string& out, const CanFrame& frame);

// "0x181" for an identifier, upper-case hex.
std::string CobIdText(std::uint32_t id);
// An identifier as seen on the bus: "0x181" for a standard one, eight digits
// for an extended one ("0x00000181"), so the two formats never look alike.
std::string BusIdText(std::uint32_t id, bool extended);

}  // namespace vestrel::can
