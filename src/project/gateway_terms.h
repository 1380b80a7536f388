#pragma once

// The few terms every part of the tool shares about a gateway: the two
// directions, the CAN mode and the identifiers each mode allows. Kept apart
// from the project files' header so that the gateway model includes them
// without the file system.

#include "can/can_frame.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vestrel {

// The editors' EditorMode values: 1 receive, 2 transmit.
enum class FrameDirection { Receive = 1, Transmit = 2 };

// CAN 2.0A (11-bit COB-IDs) or CAN 2.0B (29-bit COB-IDs).
enum class CanMode { Can20A, Can20B };

// How the user reads a mode: "CAN 2.0A, 11-bit COB-IDs".
inline std::string_view CanModeText(CanMode mode) {
    return mode == CanMode::Can20A ? "CAN 2.0A, 11-bit COB-IDs" : "CAN 2.0B, 29-bit COB-IDs";
}

// The CAN mode the device takes from a CANType value: the banks keep its low
// byte, which is 0 for CAN 2.0A and anything else for CAN 2.0B. Every part
// that reads a CANType, from the project or from the banks, asks this.
constexpr CanMode CanModeOfCanType(std::int64_t value) {
    return (value & 0xFF) == 0 ? CanMode::Can20A : CanMode::Can20B;
}

// Whether a CANType says as a number what its low byte says to the device:
// 256 does not (CAN 2.0B as a number, 2.0A to the device), and the compiler
// refuses such a value rather than guess which was meant.
constexpr bool CanTypeMeansItsLowByte(std::int64_t value) { return (value != 0) == ((value & 0xFF) != 0); }

// The identifier limits are the frame's (can/can_frame.h); the project's
// COB-IDs are held to them.
using can::kMaxExtendedId;
using can::kMaxStandardId;

// Whether a mode's frames carry extended (29-bit) identifiers: CAN 2.0B
// does, CAN 2.0A does not. Every part that builds or matches a frame asks this.
constexpr bool UsesExtendedIds(CanMode mode) { return mode == CanMode::Can20B; }

// The largest COB-ID a mode allows.
constexpr std::uint32_t MaxCobId(CanMode mode) { return UsesExtendedIds(mode) ? kMaxExtendedId : kMaxStandardId; }
// The bit rates the project's codes name, in bit/s: BaudRateCAN 0-8 (the
// banks keep the code plus one) and Baud_Ser 0-7.
inline constexpr std::array<int, 9> kCanBitRates = {10000, 20000, 50000, 100000, 125000,
                                                   250000, 500000, 800000, 1000000};
inline constexpr std::array<int, 8> kSerialBitRates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// The serial parity. The project's Par_Ser counts 0 none, 1 odd, 2 even (the
// dialog's order); the banks keep the same codes but odd as 3.
enum class SerialParity { None, Even, Odd };
constexpr int BankParityCode(int parSer) { return parSer == 1 ? 3 : parSer; }
constexpr int ParSerOfBankParity(int code) { return code == 3 ? 1 : code; }
// The parity a bank code names; nothing for a code no compile writes.
constexpr std::optional<SerialParity> ParityOfBankCode(int code) {
    if (code == 0) return SerialParity::None;
    if (code == 2) return SerialParity::Even;
    if (code == 3) return SerialParity::Odd;
    return std::nullopt;
}

// Whether a COB-ID as a file states it (perhaps negative) fits the mode.
constexpr bool CobIdFits(std::int64_t cobId, CanMode mode) { return cobId >= 0 && cobId <= MaxCobId(mode); }

}  // namespace vestrel
