#include "live/stimulus.h"

#include "gateway/model_wording.h"
#include "project/pos_comp.h"
#include "signaldb/physical_value.h"

#include <algorithm>

namespace vestrel::live {

namespace {

// SplitMix64: a value of good spread from any 64 bits, the same everywhere.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::uint64_t Step(std::uint64_t change) { return change % kRampSteps; }

// The raw bits of step `step` of a signal's walk.
std::uint64_t RampBits(const signaldb::Signal& signal, std::uint64_t mask, std::uint64_t step) {
    if (signal.problem.empty() && (signal.minimum != 0 || signal.maximum != 0) && signal.maximum >= signal.minimum) {
        const double value = signal.minimum + (signal.maximum - signal.minimum) * static_cast<double>(step) /
                                                  static_cast<double>(kRampSteps - 1);
        const signaldb::RawConversion raw = signaldb::PhysicalToRaw(signal, signaldb::ShortestText(value));
        if (raw.outcome == signaldb::ToRaw::Ok) return raw.bits;
    }
    // No range: the raw bits from 0 to all ones.
    return step + 1 == kRampSteps ? mask : mask / (kRampSteps - 1) * step;
}

}  // namespace

std::optional<StimulusPattern> ParseStimulusPattern(std::string_view text) {
    for (StimulusPattern p : {StimulusPattern::Count, StimulusPattern::Ramp, StimulusPattern::Random})
        if (text == StimulusPatternName(p)) return p;
    return std::nullopt;
}

const char* StimulusPatternName(StimulusPattern pattern) {
    switch (pattern) {
        case StimulusPattern::Count: return "count";
        case StimulusPattern::Ramp: return "ramp";
        case StimulusPattern::Random: return "random";
    }
    return "count";
}

std::int64_t DefaultHoldPeriods(std::int64_t periodMs) {
    if (periodMs <= 0) return 1;
    return std::max<std::int64_t>(1, (kDefaultHoldMs + periodMs - 1) / periodMs);
}

Stimulus::Stimulus(const gateway::GatewayModel& model, const gateway::SignalValues* signalValues,
                   StimulusPattern pattern, std::uint64_t seed)
    : model_(model), signals_(signalValues && !signalValues->Empty() ? signalValues : nullptr), pattern_(pattern),
      seed_(seed) {
    const auto& frames = model.Receive().frames;
    for (int i = 0; i < static_cast<int>(frames.size()); ++i) {
        if (const Result<void> reached = model.ReceiveFrameReached(i))
            sent_.push_back(i);
        else
            leftOut_.push_back(gateway::FrameName(FrameDirection::Receive, frames[static_cast<std::size_t>(i)], i,
                                                  {.direction = true, .mnemonic = false}) +
                               " is not sent: " + reached.Why());
    }
}

std::uint16_t Stimulus::RegisterValueAt(std::size_t position, std::uint64_t change) const {
    switch (pattern_) {
        case StimulusPattern::Count:
            // Each register starts at its own value, none at 0 (what a device
            // holds before any frame), so that no two read alike.
            return static_cast<std::uint16_t>((position + 1) * 0x100 + change);
        case StimulusPattern::Ramp:
            return static_cast<std::uint16_t>(Step(change) * 0xFFFF / (kRampSteps - 1));
        case StimulusPattern::Random:
            return static_cast<std::uint16_t>(Mix(seed_ ^ Mix(change * 0x10001 + position)));
    }
    return 0;
}

void Stimulus::PlaceSignals(std::uint64_t change, gateway::RegisterValues& values) const {
    if (!signals_ || pattern_ != StimulusPattern::Ramp) return;
    for (const gateway::SignalValues::Entry& entry : signals_->Entries()) {
        if (entry.message->direction != FrameDirection::Receive) continue;
        const std::uint64_t bits = RampBits(entry.signal->signal, entry.signal->mask, Step(change));
        gateway::PlaceSignalBits(*entry.message, *entry.signal, bits, values);
    }
}

gateway::RegisterValues Stimulus::ValuesAt(std::uint64_t change) const {
    gateway::RegisterValues values;
    const std::vector<std::uint16_t>& registers = model_.ReceiveRegisters();
    for (std::size_t i = 0; i < registers.size(); ++i) values[registers[i]] = RegisterValueAt(i, change);
    PlaceSignals(change, values);
    return values;
}

std::vector<can::CanFrame> Stimulus::FramesAt(std::uint64_t change) const {
    const gateway::RegisterValues values = ValuesAt(change);
    const gateway::GatewayDirection& receive = model_.Receive();
    std::vector<can::CanFrame> out;
    for (int index : sent_) {
        const gateway::GatewayFrame& f = receive.frames[static_cast<std::size_t>(index)];
        can::CanFrame frame;
        frame.id = f.cobId;
        frame.extended = model_.Mode() == CanMode::Can20B;
        frame.length = static_cast<std::uint8_t>(std::clamp(f.length, 0, can::kMaxDataBytes));
        for (int m : f.mappings) {
            const gateway::GatewayMapping& mapping = receive.mappings[static_cast<std::size_t>(m)];
            const auto value = values.find(mapping.reg);
            if (value == values.end()) continue;
            const int high = DataByteOfNibble(mapping.HighByte());
            const int low = DataByteOfNibble(mapping.LowByte());
            if (high >= 0 && high < frame.length) frame.data[static_cast<std::size_t>(high)] = value->second >> 8;
            if (low >= 0 && low < frame.length) frame.data[static_cast<std::size_t>(low)] = value->second & 0xFF;
        }
        out.push_back(frame);
    }
    return out;
}

StimulusFrames::StimulusFrames(const Stimulus& stimulus, std::int64_t periodMicros, std::uint64_t hold,
                               std::uint64_t periods)
    : stimulus_(stimulus), period_(periodMicros), hold_(std::max<std::uint64_t>(hold, 1)), periods_(periods) {}

bool StimulusFrames::Next(TimedSend& next) {
    const std::size_t count = stimulus_.Sent().size();
    if (count == 0) return false;
    const std::uint64_t period = index_ / count;
    if (periods_ > 0 && period >= periods_) return false;
    const std::uint64_t change = period / hold_;
    newValues_ = !change_ || *change_ != change;
    if (newValues_) {
        frames_ = stimulus_.FramesAt(change);
        change_ = change;
    }
    next.frame = frames_[index_ % count];
    next.period = period;
    next.at = static_cast<std::int64_t>(period) * period_;
    ++index_;
    return true;
}

}  // namespace vestrel::live
