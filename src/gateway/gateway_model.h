#pragma once

#include "can/can_frame.h"
#include "project/gateway_terms.h"
#include "project/pos_comp.h"
#include "platform/result.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What the gateway does with a configuration, worked out from the banks that
// a compile of it produces: which receive frame a CAN frame reaches, which
// register halves its data bytes set, and which data bytes the transmit
// frames carry for given register values. Built once, then asked many times.
namespace vestrel {
struct DecodedBanks;
}

namespace vestrel::gateway {

struct GatewayFrame {
    std::uint32_t cobId = 0;
    int length = 0;        // Dimensin as the banks keep it
    bool remote = false;   // transmit frames: RTR
    std::string mnemonic;  // from the project files; the banks keep none
    std::vector<int> mappings;  // indexes into the direction's mappings, in record order

    // How many data bytes the frame carries: its Dimensin, at most the 8 of a CAN 2.0 frame.
    int DataBytes() const { return length < 0 ? 0 : length > can::kMaxDataBytes ? can::kMaxDataBytes : length; }
};

struct GatewayMapping {
    std::uint16_t reg = 0;     // the register number as the banks keep it (16 bits)
    int frame = 0;             // NrPdo: the frame's position, from 1; may name no frame
    std::uint8_t posComp = 0;
    int HighByte() const { return PosCompHigh(posComp); }
    int LowByte() const { return PosCompLow(posComp); }
};

// One direction's frames (position = index + 1) and mapping records (record
// number = index + 1), in bank order.
struct GatewayDirection {
    FrameDirection direction = FrameDirection::Receive;
    std::vector<GatewayFrame> frames;
    std::vector<GatewayMapping> mappings;

    // The frame a mapping names, or nothing when NrPdo names none.
    const GatewayFrame* FrameOf(const GatewayMapping& mapping) const;
};

// Something about the configuration worth the engineer's attention: the
// frame that a duplicate COB-ID reaches, register numbers mapped twice or
// from several frames, frames nothing maps, bytes the frames do not have.
// `inProjectCheck` marks what the project check also says of a project, in
// its own words with the file and row: a report of a project lists that
// once, from the check.
struct Finding {
    FrameDirection direction = FrameDirection::Receive;
    std::string text;
    bool inProjectCheck = false;
};

enum class MatchKind {
    Frame,        // one receive frame: `frames` holds its index
    Ambiguous,    // CAN 2.0B with the COB-ID held by several receive frames: `frames` holds them all
    NoFrame,      // no receive frame has this COB-ID
    WrongFormat,  // an 11-bit frame in CAN 2.0B or a 29-bit one in CAN 2.0A
    ErrorFrame,
    CanFd,  // a CAN FD frame: the gateway is a CAN 2.0 node and takes none in
};

// What every tool says of a CAN FD frame: the bench, preview and replay.
inline constexpr std::string_view kCanFdNotFed = "CAN FD, not fed";

// What the project makes of an identifier on the bus.
enum class IdRole {
    Receive,      // a receive frame: the gateway takes it in
    Ambiguous,    // CAN 2.0B, several receive frames hold it: no register is set
    Transmit,     // a transmit frame: the gateway's own
    Unknown,      // no frame table holds it
    WrongFormat,  // 11-bit under CAN 2.0B or 29-bit under CAN 2.0A
    ErrorFrame,
    CanFd,  // CAN FD frames, which the gateway (CAN 2.0) does not take in
};

struct IdentifierRole {
    IdRole role = IdRole::Unknown;
    int frame = -1;  // Receive: the frame the lookup selects; Transmit: the first with the COB-ID (0-based)
};

struct ReceiveMatch {
    MatchKind kind = MatchKind::NoFrame;
    std::span<const int> frames;  // 0-based frame indexes
};

// Where a register half gets its value from one received frame.
enum class HalfSource : std::uint8_t {
    Fed,              // from data byte `nibble`
    NotMapped,        // nibble 0: this frame does not feed the half
    NoSuchByte,       // nibble 9-15
    BeyondDimension,  // past the frame's Dimensin
    NotInData,        // past the data the received frame carries
};

struct HalfEffect {
    HalfSource source = HalfSource::NotMapped;
    std::uint8_t nibble = 0;
    std::uint8_t value = 0;  // when Fed
};

struct RegisterEffect {
    int mapping = 0;  // index of the mapping record
    std::uint16_t reg = 0;
    HalfEffect high, low;
};

// A register as the gateway holds it: each half known once a frame fed it.
struct RegisterValue {
    std::uint16_t bits = 0;
    bool highKnown = false;
    bool lowKnown = false;

    friend bool operator==(const RegisterValue&, const RegisterValue&) = default;
};

// A data byte of a transmit frame composed from register values.
enum class ByteState : std::uint8_t {
    NotFed,    // no mapping record feeds it: shown "--"
    Unknown,   // fed by a register whose value was not given: "??"
    Value,     // known: two hex digits
    Conflict,  // fed by several register halves with different values: "!!"
};

struct ByteSourceRef {
    int mapping = 0;  // index of the transmit mapping record
    bool high = false;
};

struct TransmitByte {
    ByteState state = ByteState::NotFed;
    std::uint8_t value = 0;
    std::vector<ByteSourceRef> sources;  // the register halves that feed it, in record order
};

struct TransmitFrameData {
    int frame = 0;  // 0-based index
    std::array<TransmitByte, can::kMaxDataBytes> bytes;  // B1-B8; the frame's Dimensin says how many count
};

// Of the receive frames that share a CAN 2.0A COB-ID, in position order, the
// one the banks' lookup table selects: as the compile lays the table, the
// later frame overwrites.
int LookupSelects(std::span<const int> frames);

class GatewayModel {
public:
    // From the banks as the decoder reads them. Mnemonics are taken by frame
    // position where given.
    explicit GatewayModel(const DecodedBanks& banks, const std::vector<std::string>& receiveMnemonics = {},
                          const std::vector<std::string>& transmitMnemonics = {});

    CanMode Mode() const;
    // The decoded banks (inspect/bank_decoder.h).
    const DecodedBanks& Banks() const { return *banks_; }
    const GatewayDirection& Receive() const { return receive_; }
    const GatewayDirection& Transmit() const { return transmit_; }
    const GatewayDirection& Direction(FrameDirection d) const {
        return d == FrameDirection::Receive ? receive_ : transmit_;
    }
    const std::vector<Finding>& Findings() const { return findings_; }

    // The receive frame the device's tables select for a CAN frame.
    ReceiveMatch MatchReceive(const can::CanFrame& frame) const;
    // Whether receive frame `index` (0-based) ever takes a frame in: not when
    // the lookup selects another frame with its COB-ID (CAN 2.0A), nor when
    // several frames hold it in CAN 2.0B. Refused with the reason otherwise.
    Result<void> ReceiveFrameReached(int index) const;
    // The role of an identifier: the receive side decides first (a frame
    // that the gateway takes in is never called its own), then the
    // transmit frames; replay and the bus monitor both ask this.
    IdentifierRole RoleOf(std::uint32_t id, bool extended, bool error = false, bool fd = false) const;
    // Transmit frame `index` as the gateway sends it with these bytes: its
    // COB-ID in the mode's format, its data bytes, a byte whose halves
    // disagree as the later mapping record writes it, an unknown byte 0.
    can::CanFrame TransmitCanFrame(int index, const TransmitFrameData& data,
                              const std::map<std::uint16_t, std::uint16_t>& values) const;
    // Every receive frame with this COB-ID, in position order (0-based).
    std::span<const int> ReceiveFramesWithCobId(std::uint32_t cobId) const;
    // The transmit frames with this COB-ID (the gateway's own traffic).
    std::span<const int> TransmitFramesWithCobId(std::uint32_t cobId) const;

    // What `frame`'s data do to the registers that receive frame `index`
    // feeds, one entry per mapping record of that frame, in record order.
    // A remote request carries no data and sets nothing.
    void ReceiveEffects(int index, const can::CanFrame& frame, std::vector<RegisterEffect>& out) const;

    // The data bytes of transmit frame `index` for the given register values.
    TransmitFrameData ComposeTransmit(int index, const std::map<std::uint16_t, std::uint16_t>& values) const;
    // The transmit frames that any of the given registers feeds, in frame order.
    std::vector<int> TransmitFramesFedBy(const std::map<std::uint16_t, std::uint16_t>& values) const;

    // Every register number that a receive mapping record feeds, ascending.
    const std::vector<std::uint16_t>& ReceiveRegisters() const { return receiveRegisters_; }
    // Every register number that both a receive and a transmit frame's
    // mapping names, ascending: an address a Modbus master both reads and
    // writes (kSharedAddressNote in project/register_directions.h).
    const std::vector<std::uint16_t>& SharedRegisters() const { return sharedRegisters_; }

private:
    struct IdIndex {
        std::vector<std::uint32_t> ids;  // sorted
        std::vector<int> frames;         // parallel to ids
        std::span<const int> Find(std::uint32_t id) const;
    };

    void BuildFindings();

    std::shared_ptr<const DecodedBanks> banks_;  // shared by the model's copies: it never changes
    GatewayDirection receive_;
    GatewayDirection transmit_;
    std::vector<Finding> findings_;
    std::vector<std::int16_t> lookup20A_;  // COB-ID -> frame index or -1, as the banks' lookup table
    std::vector<int> frameIndexes_;        // 0, 1, 2, ... to hand out one-frame spans
    IdIndex receiveById_;
    IdIndex transmitById_;
    std::vector<std::uint16_t> receiveRegisters_;
    std::vector<std::uint16_t> sharedRegisters_;
};

}  // namespace vestrel::gateway
