#pragma once

#include "gateway/gateway_model.h"
#include "gateway/preview.h"

#include <optional>
#include <string>
#include <vector>

// Expected against seen for the transmit direction: after register values
// are written, each transmit frame they feed should appear on the bus with
// the bytes the model composes from them.
namespace vestrel::live {

struct TransmitExpectation {
    int frame = 0;                          // 0-based transmit frame index
    gateway::TransmitFrameData expected;    // from the written values only
    std::optional<can::CanFrame> seen;  // the last frame with its COB-ID since the write
    std::string difference;                 // why `seen` does not match
    bool matched = false;
};

// How a frame on the bus compares with an expected transmit frame.
struct FrameComparison {
    enum class Kind {
        Matches,       // the frame, with every byte the written values give
        AnotherFrame,  // another COB-ID or format, or an error frame: not a candidate
        Differs,       // the frame, but not as expected: `difference` says how
    };
    Kind kind = Kind::AnotherFrame;
    std::string difference;  // "B2 is 0x35, expected 0x34", "2 data bytes, Dimensin is 8"
};

// Whether a frame on the bus is transmit frame `expectation.frame` with the
// expected bytes: its COB-ID in the format of CANType, a data frame of
// Dimensin bytes, and every byte the written values give equal. Bytes fed by
// registers not written ("??") and bytes no mapping feeds ("--") are not
// compared.
[[nodiscard]] FrameComparison CompareFrame(const gateway::GatewayModel& model, const TransmitExpectation& expectation,
                                           const can::CanFrame& frame);

class TransmitVerifier {
public:
    // `written`: register number (Index) -> value. Remote transmit frames
    // carry no data and are left out.
    TransmitVerifier(const gateway::GatewayModel& model, const gateway::RegisterValues& written);

    // A frame seen on the bus after the write went out.
    void OnFrame(const can::CanFrame& frame);
    bool AllMatched() const;

    const std::vector<TransmitExpectation>& Expectations() const { return expectations_; }
    // The written registers that no transmit mapping record names.
    const std::vector<std::uint16_t>& FeedingNothing() const { return feedingNothing_; }

    // One line per expected frame: "  transmit frame 1 "Speed set-point"
    // (COB-ID 0x201): expected 12 34 ?? ?? -- -- -- --, seen 201#1234...: OK",
    // MISMATCH with what differs, or NOT SEEN within `waitMs`.
    std::vector<std::string> Lines(int waitMs) const;

private:
    const gateway::GatewayModel& model_;
    std::vector<TransmitExpectation> expectations_;
    std::vector<std::uint16_t> feedingNothing_;
};

// "100=0x1234 101=0x0005".
std::string WrittenValuesText(const gateway::RegisterValues& values);

}  // namespace vestrel::live
