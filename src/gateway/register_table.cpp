#include "gateway/register_table.h"

#include <algorithm>

namespace vestrel::gateway {

namespace {

// The register with the halves the frame's data carry: the high half from
// data byte `highByte`, the low one from `lowByte` (0-based, -1 for none),
// each where the frame has that byte. `fed` says whether either was.
RegisterValue WithBytesOf(const can::CanFrame& frame, RegisterValue value, int highByte, int lowByte, bool& fed) {
    if (highByte >= 0 && highByte < frame.length) {
        value.bits = static_cast<std::uint16_t>((value.bits & 0x00FF) |
                                                frame.data[static_cast<std::size_t>(highByte)] << 8);
        value.highKnown = fed = true;
    }
    if (lowByte >= 0 && lowByte < frame.length) {
        value.bits = static_cast<std::uint16_t>((value.bits & 0xFF00) | frame.data[static_cast<std::size_t>(lowByte)]);
        value.lowKnown = fed = true;
    }
    return value;
}

}  // namespace

RegisterTable::RegisterTable(const GatewayModel& model) : model_(model) {
    const GatewayDirection& receive = model.Receive();
    const std::size_t slots = model.ReceiveRegisters().size();
    values_.resize(slots);
    lastFed_.resize(slots);
    everFed_.resize(slots);
    feeders_.resize(receive.frames.size());
    for (std::size_t i = 0; i < receive.frames.size(); ++i) {
        const GatewayFrame& frame = receive.frames[i];
        // The bytes a half can ever come from; the rest are reported by the model's findings.
        auto byteOf = [&](int nibble) { return DataByteWithin(nibble, frame.length); };
        for (int m : frame.mappings) {
            const GatewayMapping& mapping = receive.mappings[static_cast<std::size_t>(m)];
            feeders_[i].push_back(Feeder{SlotOf(mapping.reg), byteOf(mapping.HighByte()), byteOf(mapping.LowByte())});
        }
    }
}

int RegisterTable::SlotOf(std::uint16_t reg) const {
    const auto& regs = model_.ReceiveRegisters();
    const auto it = std::lower_bound(regs.begin(), regs.end(), reg);
    return it != regs.end() && *it == reg ? static_cast<int>(it - regs.begin()) : -1;
}

RegisterTable::FeedResult RegisterTable::Feed(const can::CanFrame& frame, std::int64_t time) {
    changes_.clear();
    FeedResult result;
    result.match = model_.MatchReceive(frame);
    if (result.match.kind != MatchKind::Frame) return result;
    const int index = result.match.frames[0];
    const GatewayFrame& matched = model_.Receive().frames[static_cast<std::size_t>(index)];
    result.lengthDiffers = !frame.remote && frame.length != matched.length;
    if (frame.remote) return result;
    for (const Feeder& feeder : feeders_[static_cast<std::size_t>(index)]) {
        const auto slot = static_cast<std::size_t>(feeder.slot);
        const RegisterValue before = values_[slot];
        bool fed = false;
        const RegisterValue after = WithBytesOf(frame, before, feeder.highByte, feeder.lowByte, fed);
        if (!fed) continue;
        lastFed_[slot] = time;
        everFed_[slot] = true;
        if (after == before) continue;
        values_[slot] = after;
        changes_.push_back(Change{model_.ReceiveRegisters()[slot], before, after});
    }
    result.changes = changes_;
    return result;
}

RegisterValue RegisterTable::Value(std::uint16_t reg) const {
    const int slot = SlotOf(reg);
    return slot < 0 ? RegisterValue{} : values_[static_cast<std::size_t>(slot)];
}

std::optional<std::int64_t> RegisterTable::LastFed(std::uint16_t reg) const {
    const int slot = SlotOf(reg);
    if (slot < 0 || !everFed_[static_cast<std::size_t>(slot)]) return std::nullopt;
    return lastFed_[static_cast<std::size_t>(slot)];
}

TransmitRegisterTable::TransmitRegisterTable(const GatewayModel& model) : model_(model) {
    const GatewayDirection& transmit = model.Transmit();
    for (const GatewayMapping& mapping : transmit.mappings) registers_.push_back(mapping.reg);
    std::sort(registers_.begin(), registers_.end());
    registers_.erase(std::unique(registers_.begin(), registers_.end()), registers_.end());
    values_.resize(registers_.size());
    feeders_.resize(transmit.frames.size());
    for (std::size_t i = 0; i < transmit.frames.size(); ++i) {
        const GatewayFrame& frame = transmit.frames[i];
        if (frame.remote) continue;  // a remote request carries no data
        for (int m : frame.mappings) {
            const GatewayMapping& mapping = transmit.mappings[static_cast<std::size_t>(m)];
            const auto slot = static_cast<std::size_t>(
                std::lower_bound(registers_.begin(), registers_.end(), mapping.reg) - registers_.begin());
            feeders_[i].push_back(Feeder{slot, DataByteWithin(mapping.HighByte(), frame.length),
                                         DataByteWithin(mapping.LowByte(), frame.length)});
        }
    }
}

std::optional<int> TransmitRegisterTable::FrameOf(const can::CanFrame& frame) const {
    if (model_.RoleOf(frame.id, frame.extended, frame.error, frame.fd).role != IdRole::Transmit) return std::nullopt;
    const std::span<const int> frames = model_.TransmitFramesWithCobId(frame.id);
    if (frames.size() != 1) return std::nullopt;
    return frames[0];
}

std::span<const RegisterTable::Change> TransmitRegisterTable::Feed(int index, const can::CanFrame& frame) {
    changes_.clear();
    if (frame.remote) return changes_;
    for (const Feeder& feeder : feeders_[static_cast<std::size_t>(index)]) {
        const RegisterValue before = values_[feeder.slot];
        bool fed = false;
        const RegisterValue after = WithBytesOf(frame, before, feeder.highByte, feeder.lowByte, fed);
        if (after == before) continue;
        values_[feeder.slot] = after;
        changes_.push_back(RegisterTable::Change{registers_[feeder.slot], before, after});
    }
    return changes_;
}

RegisterValue TransmitRegisterTable::Value(std::uint16_t reg) const {
    const auto it = std::lower_bound(registers_.begin(), registers_.end(), reg);
    return it != registers_.end() && *it == reg ? values_[static_cast<std::size_t>(it - registers_.begin())]
                                                : RegisterValue{};
}

}  // namespace vestrel::gateway
