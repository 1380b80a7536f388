#pragma once

#include "gateway/gateway_model.h"
#include "gateway/register_values.h"
#include "gateway/signal_values.h"
#include "live/send_schedule.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Traffic for a gateway on the bench: every receive frame of a project with
// data that change, so that a check or a PLC has live values to read.
namespace vestrel::live {

enum class StimulusPattern {
    Count,   // each register counts up by one per change
    Ramp,    // each register walks its range in kRampSteps steps; a signal its minimum..maximum
    Random,  // each register a value drawn reproducibly from --seed
};

inline constexpr int kRampSteps = 16;

// "count", "ramp", "random"; and back.
std::optional<StimulusPattern> ParseStimulusPattern(std::string_view text);
const char* StimulusPatternName(StimulusPattern pattern);

// How long a value is held by default: verify reads the registers once the
// frames it listens for have come, and a register that differs once more
// after the others, each read within its default time-out of 1000 ms. A
// value held this long is read twice before it changes.
inline constexpr std::int64_t kDefaultHoldMs = 3000;
// The periods of `periodMs` that hold a value that long, at least 1.
std::int64_t DefaultHoldPeriods(std::int64_t periodMs);

// The register values and frames of each change of the pattern. Only
// receive frames the gateway takes in are sent (not a frame whose COB-ID the
// banks give another frame), each with its Dimensin of data bytes.
class Stimulus {
public:
    // `signals` may be null; where given, Ramp walks each imported receive
    // signal's minimum..maximum (its raw range where the database gives no
    // range).
    Stimulus(const gateway::GatewayModel& model, const gateway::SignalValues* signalValues, StimulusPattern pattern,
             std::uint64_t seed);

    // Register number -> value at change `change` (0 is the first).
    gateway::RegisterValues ValuesAt(std::uint64_t change) const;
    // The frames that carry those values, in the order of the receive frames.
    std::vector<can::CanFrame> FramesAt(std::uint64_t change) const;
    // The receive frames that are sent (0-based), and those left out with why.
    const std::vector<int>& Sent() const { return sent_; }
    const std::vector<std::string>& LeftOut() const { return leftOut_; }

private:
    std::uint16_t RegisterValueAt(std::size_t position, std::uint64_t change) const;
    void PlaceSignals(std::uint64_t change, gateway::RegisterValues& values) const;

    const gateway::GatewayModel& model_;
    const gateway::SignalValues* signals_;
    StimulusPattern pattern_;
    std::uint64_t seed_;
    std::vector<int> sent_;
    std::vector<std::string> leftOut_;
};

// The frames of a stimulus every period, a new change every `hold` periods.
class StimulusFrames : public FrameSource {
public:
    StimulusFrames(const Stimulus& stimulus, std::int64_t periodMicros, std::uint64_t hold, std::uint64_t periods = 0);
    bool Next(TimedSend& next) override;
    // Whether the frame handed out last begins a change (the first frame of
    // the first period after one).
    bool NewValues() const { return newValues_; }

private:
    const Stimulus& stimulus_;
    std::int64_t period_;
    std::uint64_t hold_;
    std::uint64_t periods_;
    std::uint64_t index_ = 0;
    std::optional<std::uint64_t> change_;
    std::vector<can::CanFrame> frames_;
    bool newValues_ = false;
};

}  // namespace vestrel::live
