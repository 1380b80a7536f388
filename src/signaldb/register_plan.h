#pragma once

#include "project/pos_comp.h"
#include "project/project_files.h"
#include "signaldb/signal_database.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the gateway can make of a message's signals. The gateway copies
// whole data bytes into the high and low halves of 16-bit registers
// (PosComp); it cannot shift, mask, scale or sign-extend. So:
//
// - Signals that share a data byte share the registers that hold it: the
//   signals of a message fall into groups of consecutive data bytes, and
//   each data byte feeds at most one register half. A group's bytes form
//   one unsigned value in the byte order of its signals (Intel: the first
//   byte least significant; Motorola: the first byte most significant).
// - That value is cut into 16-bit words, the least significant byte of each
//   word in its low half; a group of an odd number of bytes leaves the high
//   half of its most significant word unfed. The words go into consecutive
//   registers, the most significant first (WordOrder::HighFirst, the
//   default) or last.
// - A signal that fills its group exactly needs nothing more: a byte-aligned
//   16-bit signal is one register (Motorola: high half from its first byte,
//   low half from the next; Intel: high half from its second byte, low half
//   from its first), an 8-bit one the low half of one, 24 and 32 bits two
//   registers, 64 bits four. Any other signal is recovered by the PLC from
//   the joined registers with a shift and a mask.
// - Refused, with the reason: a message longer than 8 data bytes (CAN FD),
//   one whose id format does not match the project's CANType, a disabled
//   PDO, a CAN FD frame of any length (DBC VFrameFormat); multiplexed signals (the gateway has no multiplexer: every frame
//   with the id feeds the same registers; the multiplexor itself is
//   mapped), signals past the message's length, signals that overlap, and a
//   signal sharing bytes with one of the other byte order.
//
// The plan numbers no registers: it lists them per message in the order
// the import assigns numbers to them.
namespace vestrel::signaldb {

enum class WordOrder { HighFirst, LowFirst };

// "high word first" or "low word first".
const char* WordOrderText(WordOrder order);
// "high-first" or "low-first", as signals.xml and the command line write it.
const char* WordOrderWord(WordOrder order);
std::optional<WordOrder> WordOrderOfWord(std::string_view word);

enum class Refusal : std::uint8_t {
    None,
    Unreadable,      // the file's description cannot be used: the model's `problem` says why
    Disabled,        // a PDO whose COB-ID has bit 31 set
    TooLong,         // more than 8 data bytes (CAN FD); the gateway is CAN 2.0
    CanFd,           // a CAN FD frame, whatever its length: the gateway never takes it
    IdFormat,        // a 29-bit id under CAN 2.0A, or an 11-bit one under CAN 2.0B
    Multiplexed,     // carried only for one value of the multiplexor
    PastLength,      // bits past the message's length
    Overlap,         // shares bits with another signal (`other`)
    MixedByteOrder,  // shares data bytes with a signal of the other byte order (`other`)
};

// One register the import would map, by the data bytes that feed its halves.
struct PlannedRegister {
    std::uint8_t posComp = 0;

    int HighByte() const { return DataByteOfNibble(PosCompHigh(posComp)); }  // 0-based, -1 for none
    int LowByte() const { return DataByteOfNibble(PosCompLow(posComp)); }

    friend bool operator==(const PlannedRegister&, const PlannedRegister&) = default;
};

struct SignalPlan {
    Refusal refusal = Refusal::None;
    int other = -1;  // Overlap, MixedByteOrder: the index of the other signal
    // The registers that hold the signal: MessagePlan::registers from
    // `firstRegister` on, `registerCount` of them (none when refused).
    int firstRegister = 0;
    int registerCount = 0;
    // Joined as the word order says (the first register most significant
    // when high word first), the registers give a value whose bits from
    // `shift` on, masked with `mask`, are the signal's raw bits.
    int shift = 0;
    std::uint64_t mask = 0;
    bool masked = false;  // the registers hold more than the signal: the PLC applies shift and mask
    // The bit of the masked value the PLC sign-extends: signed signals whose
    // registers hold more bits than they have.
    std::optional<int> signBit;

    friend bool operator==(const SignalPlan&, const SignalPlan&) = default;
};

// What the PLC does with a signal's registers, joined in the message's word
// order, to get the signal's raw value: shift right, mask, sign-extend. The
// one home of these steps, which the listing, the import, signals.xml and
// every report take from here.
struct PlcSteps {
    int shift = 0;
    std::uint64_t mask = 0;
    bool masked = false;
    std::optional<int> signBit;
};

// The bit the PLC sign-extends for a signal of `type` and `length` bits in
// `registerCount` registers (`masked`: they hold more than the signal), or
// none.
std::optional<int> SignBitOf(ValueType type, int length, int registerCount, bool masked);

// "shift right 4, mask 0xFFFF; the PLC sign-extends bit 15", "shift right 0,
// mask 0x1", "the PLC sign-extends bit 7"; empty when the PLC takes the
// registers as they are.
std::string PlcStepsText(const PlcSteps& steps);

struct MessagePlan {
    std::optional<CanMode> mode;      // the CAN mode planned for
    Refusal refusal = Refusal::None;  // the whole message; its signals then have no registers
    std::vector<PlannedRegister> registers;
    std::vector<SignalPlan> placements;  // parallel to Message::signalList

    bool Refused(std::size_t signal) const {
        return refusal != Refusal::None || placements[signal].refusal != Refusal::None;
    }
};

// `mode`: the project's CAN mode; nothing for a listing without a project,
// which refuses no id format.
MessagePlan PlanMessage(const Message& message, std::optional<CanMode> mode, WordOrder order);

struct DatabasePlan {
    std::optional<CanMode> mode;
    WordOrder order = WordOrder::HighFirst;
    std::vector<MessagePlan> messages;  // parallel to Database::messages
};

DatabasePlan PlanDatabase(const Database& database, std::optional<CanMode> mode, WordOrder order);

PlcSteps StepsOf(const SignalPlan& plan);

// What a PLC writing a signal over `registerCount` registers must do, "a
// PLC writing it writes both in one function 16 request": what the device makes of a
// write of some of them (function 06, one register at a time) is not known.
// Empty for one register.
std::string MultiRegisterWriteText(int registerCount);

// Why a message is refused, in words ("13 data bytes: the gateway is CAN
// 2.0, at most 8 (CAN FD)"); empty when it is not.
std::string MessageRefusalText(const Message& message, const MessagePlan& plan);
// Why a signal is refused ("multiplexed (m3): ..."); empty when it is not.
std::string SignalRefusalText(const Message& message, const MessagePlan& plan, std::size_t signal);

// "high B1, low B2", "high none, low B5".
std::string RegisterHalvesText(const PlannedRegister& reg);

}  // namespace vestrel::signaldb
