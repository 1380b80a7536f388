#pragma once

#include "can/can_frame.h"
#include "gateway/gateway_model.h"

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace vestrel::gateway {

// The traffic of one identifier in one format.
struct CobIdTraffic {
    std::uint32_t id = 0;
    bool extended = false;
    std::uint64_t frames = 0;  // error frames excepted
    std::uint64_t remote = 0;
    std::uint64_t fd = 0;                                               // CAN FD frames
    std::array<std::uint64_t, can::kMaxDataBytes + 1> dataFramesByLength{};  // classic data frames
    // When the count is an estimate: it may be this many frames too high,
    // and the kinds and lengths count only the frames since the identifier
    // took its place in the table.
    std::uint64_t overcount = 0;
};

// Counts the frames of a log per identifier in memory that does not grow
// with the log, however many identifiers it holds: exact for every standard
// identifier (there are 2048) and for the extended identifiers the project's
// frame tables name; the other extended identifiers share a table of fixed
// size that keeps the busiest (the Space-Saving method: a new identifier
// takes the place of the least counted one and inherits its count, marked
// as an estimate), and a HyperLogLog sketch estimates how many there were.
class TrafficCounts {
public:
    explicit TrafficCounts(const GatewayModel& model);

    void Count(const can::CanFrame& frame);

    struct Listing {
        std::vector<CobIdTraffic> traffic;  // standard identifiers first, each kind ascending
        std::uint64_t furtherIds = 0;       // identifiers seen but not listed
        std::uint64_t furtherFrames = 0;    // and their frames
        bool idsEstimated = false;          // whether the two above are estimates
        bool framesEstimated = false;
    };
    // The project's identifiers and the `maxOthers` busiest others.
    Listing List(std::size_t maxOthers) const;

private:
    std::uint32_t SketchEntry(std::uint32_t id);
    void SiftDown(std::size_t at);
    void SiftUp(std::size_t at);
    std::uint64_t EstimatedOtherExtendedIds() const;

    std::vector<CobIdTraffic> exact_;
    std::vector<bool> named_;                 // per entry of exact_: the project names the identifier
    std::vector<std::int32_t> standardSlot_;  // per standard identifier, its entry in exact_ or -1
    std::vector<bool> namedStandard_;
    // The extended identifiers the project names, and their entry in exact_
    // once seen (kNotSeen before).
    std::unordered_map<std::uint32_t, std::uint32_t> namedExtendedSlot_;
    // The other extended identifiers: entries, a min-heap over them by
    // frames, and where each identifier sits.
    std::vector<CobIdTraffic> sketch_;
    std::vector<std::uint32_t> heap_;
    std::vector<std::uint32_t> heapAt_;
    std::unordered_map<std::uint32_t, std::uint32_t> sketchSlot_;
    bool replaced_ = false;
    std::vector<std::uint8_t> distinct_;  // HyperLogLog registers of the other extended identifiers
    std::uint64_t otherExtendedFrames_ = 0;
};

}  // namespace vestrel::gateway
