#pragma once

#include "gateway/register_table.h"
#include "live/register_numbering.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

// The register image of a simulated gateway: what the project's mapping
// alone says a device holds and sends. Receive registers follow the frames
// fed to it; transmit registers hold what was written, starting at 0, and a
// write gives the transmit frames it feeds. The project defines nothing
// beyond the mapping, so nothing else is modelled: registers it does not map
// are not served, and the device's own behaviour (time-outs, clearing data
// after a read) is left out. A test double, never the device.
namespace vestrel::live {

class SimulatedGateway {
public:
    // `model` must outlive the gateway.
    SimulatedGateway(const gateway::GatewayModel& model, Numbering indexNumbering);

    // Whether a protocol address holds a mapped register: any mapped register
    // can be read (with 03 or 04 alike); only transmit registers can be written.
    bool Readable(std::uint16_t address) const;
    bool Writable(std::uint16_t address) const;

    // The values of `count` registers from `address`, or false when one of
    // them is not readable. A half no frame has fed reads as 0.
    bool Read(std::uint16_t address, int count, std::vector<std::uint16_t>& values) const;

    // Stores the values from `address` on and appends to `frames` the
    // transmit frames they feed, composed from every transmit register's
    // value, in frame order. False, and nothing stored, when one address is
    // not writable. Remote transmit frames carry no data and are not sent.
    bool Write(std::uint16_t address, std::span<const std::uint16_t> values, std::vector<can::CanFrame>& frames);

    // A frame from the bus: the register changes it makes.
    std::span<const gateway::RegisterTable::Change> Feed(const can::CanFrame& frame, std::int64_t time);

    const gateway::RegisterTable& Table() const { return table_; }
    Numbering IndexNumbering() const { return numbering_; }

    // What the simulator says when it starts: that it models the mapping
    // only and is not the device, which registers it serves, and how.
    std::vector<std::string> Description() const;

private:
    can::CanFrame ComposeFrame(int index) const;

    const gateway::GatewayModel& model_;
    Numbering numbering_;
    gateway::RegisterTable table_;
    std::map<std::uint16_t, std::uint16_t> image_;    // protocol address -> value, every readable register
    std::map<std::uint16_t, std::uint16_t> writable_; // protocol address -> Index of a transmit register
    std::vector<gateway::RegisterTable::Change> changes_;
};

}  // namespace vestrel::live
