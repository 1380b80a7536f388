#include "live/simulated_gateway.h"

#include "gateway/preview.h"
#include "platform/text.h"
#include "project/register_directions.h"

#include <algorithm>

namespace vestrel::live {

using can::CanFrame;
using gateway::RegisterValue;

namespace {

// "1-4, 10-11 and 20".
std::string RangesText(const std::vector<long>& numbers) {
    std::vector<std::string> runs;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        runs.push_back(j == i ? std::to_string(numbers[i])
                              : std::to_string(numbers[i]) + "-" + std::to_string(numbers[j]));
        i = j + 1;
    }
    return runs.empty() ? "none" : JoinedWithAnd(runs);
}

}  // namespace

SimulatedGateway::SimulatedGateway(const gateway::GatewayModel& model, Numbering indexNumbering)
    : model_(model), numbering_(indexNumbering), table_(model) {
    for (std::uint16_t reg : model.ReceiveRegisters())
        if (auto address = AddressOf(reg, numbering_)) image_[*address] = 0;
    for (const gateway::GatewayMapping& m : model.Transmit().mappings) {
        if (!model.Transmit().FrameOf(m)) continue;
        if (auto address = AddressOf(m.reg, numbering_)) {
            image_[*address] = 0;
            writable_[*address] = m.reg;
        }
    }
}

bool SimulatedGateway::Readable(std::uint16_t address) const { return image_.count(address) != 0; }

bool SimulatedGateway::Writable(std::uint16_t address) const { return writable_.count(address) != 0; }

bool SimulatedGateway::Read(std::uint16_t address, int count, std::vector<std::uint16_t>& values) const {
    values.clear();
    for (int i = 0; i < count; ++i) {
        const long at = long{address} + i;
        const auto it = at <= 0xFFFF ? image_.find(static_cast<std::uint16_t>(at)) : image_.end();
        if (it == image_.end()) {
            values.clear();
            return false;
        }
        values.push_back(it->second);
    }
    return true;
}

bool SimulatedGateway::Write(std::uint16_t address, std::span<const std::uint16_t> values,
                             std::vector<can::CanFrame>& frames) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const long at = long{address} + static_cast<long>(i);
        if (at > 0xFFFF || !Writable(static_cast<std::uint16_t>(at))) return false;
    }
    gateway::RegisterValues written;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto at = static_cast<std::uint16_t>(address + i);
        image_[at] = values[i];
        written[writable_.at(at)] = values[i];
    }
    for (int index : model_.TransmitFramesFedBy(written))
        if (!model_.Transmit().frames[static_cast<std::size_t>(index)].remote) frames.push_back(ComposeFrame(index));
    return true;
}

can::CanFrame SimulatedGateway::ComposeFrame(int index) const {
    gateway::RegisterValues all;
    for (const auto& [address, reg] : writable_) all[reg] = image_.at(address);
    const gateway::TransmitFrameData data = model_.ComposeTransmit(index, all);
    return model_.TransmitCanFrame(index, data, all);
}

std::span<const gateway::RegisterTable::Change> SimulatedGateway::Feed(const can::CanFrame& frame, std::int64_t time) {
    changes_.clear();
    const gateway::RegisterTable::FeedResult fed = table_.Feed(frame, time);
    for (const gateway::RegisterTable::Change& change : fed.changes) {
        changes_.push_back(change);
        const auto address = AddressOf(change.reg, numbering_);
        if (!address) continue;
        std::uint16_t mask = 0;
        if (change.after.highKnown) mask |= 0xFF00;
        if (change.after.lowKnown) mask |= 0x00FF;
        std::uint16_t& value = image_[*address];
        value = static_cast<std::uint16_t>((value & ~mask) | (change.after.bits & mask));
    }
    return changes_;
}

std::vector<std::string> SimulatedGateway::Description() const {
    std::vector<long> readable, writable;
    for (const auto& [address, value] : image_) readable.push_back(NumberOf(address, Numbering::ProtocolAddress));
    for (const auto& [address, reg] : writable_) writable.push_back(address);
    std::vector<std::string> lines = {
        "This is a simulated gateway, not the device: it models the project's register mapping only, "
        "which is all the project defines.",
        "It serves functions 03, 04, 06 and 16 only; every other function is answered with exception 01 (illegal "
        "function).",
        "It serves the same registers to function 03 and 04; registers the mapping does not name answer "
        "exception 02 (illegal data address).",
        "Protocol addresses served: " + RangesText(readable) + "; writable (transmit, 06 and 16): " +
            RangesText(writable) + " (" + IndexNumberingText(numbering_) + ").",
        "A received frame sets the registers it feeds; each write request sends the transmit frames it feeds at "
        "once, so a value over several registers written one register at a time (06) goes out with the others as "
        "they were: write it in one function 16 request. What the device does per request is not known.",
    };
    std::vector<long> shared;
    for (std::uint16_t reg : model_.SharedRegisters())
        if (const auto address = AddressOf(reg, numbering_)) shared.push_back(*address);
    if (!shared.empty())
        lines.push_back((shared.size() == 1 ? "Register " + RangesText(shared) + " is both a receive and a transmit register: "
                                            : "Registers " + RangesText(shared) + " are both receive and transmit registers: ") +
                        std::string(kSharedAddressNote) + ".");
    return lines;
}

}  // namespace vestrel::live
