#pragma once

#include "gateway/gateway_model.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vestrel::gateway {

// The registers that receive frames feed, as the gateway holds them while
// frames arrive one at a time. Every half starts unknown.
class RegisterTable {
public:
    // `model` must outlive the table.
    explicit RegisterTable(const GatewayModel& model);

    struct Change {
        std::uint16_t reg = 0;
        RegisterValue before;
        RegisterValue after;
    };

    struct FeedResult {
        ReceiveMatch match;
        bool lengthDiffers = false;        // a data frame whose length is not the matched frame's Dimensin
        std::span<const Change> changes;   // valid until the next Feed
    };

    // Applies one received frame, `time` in microseconds on the caller's
    // clock. A frame that matches no receive frame, or several (ambiguous in
    // CAN 2.0B), changes nothing.
    FeedResult Feed(const can::CanFrame& frame, std::int64_t time);

    // A register no receive mapping feeds reads as unknown.
    RegisterValue Value(std::uint16_t reg) const;
    // When a frame last fed a half of the register.
    std::optional<std::int64_t> LastFed(std::uint16_t reg) const;

    const GatewayModel& Model() const { return model_; }

private:
    struct Feeder {
        int slot;
        int highByte;  // 0-based data byte, or -1 when the half is never fed
        int lowByte;
    };

    int SlotOf(std::uint16_t reg) const;

    const GatewayModel& model_;
    std::vector<std::vector<Feeder>> feeders_;  // per receive frame, in record order
    std::vector<RegisterValue> values_;         // per slot: ReceiveRegisters() order
    std::vector<std::int64_t> lastFed_;
    std::vector<bool> everFed_;
    std::vector<Change> changes_;
};

// The transmit registers as the gateway's own frames on the bus show them:
// a half is known once a frame carrying the data byte it feeds was seen.
// A byte that several halves feed gives each of them its value.
class TransmitRegisterTable {
public:
    // `model` must outlive the table.
    explicit TransmitRegisterTable(const GatewayModel& model);

    // The transmit frame a frame on the bus is, 0-based: the one transmit
    // frame with its COB-ID and role; nothing when the receive side takes
    // it, when no transmit frame or several have that COB-ID, and for CAN
    // FD and error frames.
    std::optional<int> FrameOf(const can::CanFrame& frame) const;
    // Applies frame `index` as seen on the bus; the changes are valid until
    // the next Feed.
    std::span<const RegisterTable::Change> Feed(int index, const can::CanFrame& frame);

    RegisterValue Value(std::uint16_t reg) const;
    // Every register number that a transmit mapping record feeds, ascending.
    const std::vector<std::uint16_t>& Registers() const { return registers_; }

private:
    struct Feeder {
        std::size_t slot;
        int highByte;  // 0-based data byte, or -1
        int lowByte;
    };

    const GatewayModel& model_;
    std::vector<std::uint16_t> registers_;
    std::vector<std::vector<Feeder>> feeders_;  // per transmit frame
    std::vector<RegisterValue> values_;         // per slot: registers_ order
    std::vector<RegisterTable::Change> changes_;
};

}  // namespace vestrel::gateway
