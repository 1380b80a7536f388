#include "gateway/register_table.h"

#include <algorithm>

namespace vestrel::gateway {

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
        RegisterValue after = before;
        bool fed = false;
        if (feeder.highByte >= 0 && feeder.highByte < frame.length) {
            after.bits = static_cast<std::uint16_t>((after.bits & 0x00FF) |
                                                    frame.data[static_cast<std::size_t>(feeder.highByte)] << 8);
            after.highKnown = fed = true;
        }
        if (feeder.lowByte >= 0 && feeder.lowByte < frame.length) {
            after.bits = static_cast<std::uint16_t>((after.bits & 0xFF00) |
                                                    frame.data[static_cast<std::size_t>(feeder.lowByte)]);
            after.lowKnown = fed = true;
        }
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

}  // namespace vestrel::gateway
