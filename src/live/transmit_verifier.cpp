#include "live/transmit_verifier.h"

#include "gateway/model_wording.h"
#include "platform/text.h"

namespace vestrel::live {

using gateway::ByteState;
using can::CanFrame;

namespace {

std::string Hex2(unsigned value) { return "0x" + UpperHex(value & 0xFF, 2); }

}  // namespace

FrameComparison CompareFrame(const gateway::GatewayModel& model, const TransmitExpectation& expectation,
                             const can::CanFrame& frame) {
    using Kind = FrameComparison::Kind;
    const gateway::GatewayFrame& f = model.Transmit().frames[static_cast<std::size_t>(expectation.frame)];
    if (frame.error || frame.id != f.cobId || frame.extended != UsesExtendedIds(model.Mode()))
        return {Kind::AnotherFrame, {}};
    if (frame.remote) return {Kind::Differs, "a remote request instead of a data frame"};
    if (frame.fd) return {Kind::Differs, "a CAN FD frame, which the gateway (CAN 2.0) does not send"};
    if (frame.length != f.DataBytes())
        return {Kind::Differs, std::to_string(frame.length) + " data bytes, Dimensin is " + std::to_string(f.length)};
    for (int i = 0; i < frame.length; ++i) {
        const gateway::TransmitByte& b = expectation.expected.bytes[static_cast<std::size_t>(i)];
        const std::uint8_t got = frame.data[static_cast<std::size_t>(i)];
        if (b.state == ByteState::Value && b.value != got)
            return {Kind::Differs, "B" + std::to_string(i + 1) + " is " + Hex2(got) + ", expected " + Hex2(b.value)};
    }
    return {Kind::Matches, {}};
}

TransmitVerifier::TransmitVerifier(const gateway::GatewayModel& model, const gateway::RegisterValues& written)
    : model_(model) {
    for (int index : model.TransmitFramesFedBy(written)) {
        if (model.Transmit().frames[static_cast<std::size_t>(index)].remote) continue;
        TransmitExpectation& e = expectations_.emplace_back();
        e.frame = index;
        e.expected = model.ComposeTransmit(index, written);
    }
    for (const auto& [reg, value] : written) {
        bool named = false;
        for (const gateway::GatewayMapping& m : model.Transmit().mappings)
            if (m.reg == reg && model.Transmit().FrameOf(m)) named = true;
        if (!named) feedingNothing_.push_back(reg);
    }
}

void TransmitVerifier::OnFrame(const can::CanFrame& frame) {
    for (TransmitExpectation& e : expectations_) {
        if (e.matched) continue;
        FrameComparison comparison = CompareFrame(model_, e, frame);
        if (comparison.kind == FrameComparison::Kind::AnotherFrame) continue;
        e.seen = frame;
        e.matched = comparison.kind == FrameComparison::Kind::Matches;
        e.difference = std::move(comparison.difference);
    }
}

bool TransmitVerifier::AllMatched() const {
    for (const TransmitExpectation& e : expectations_)
        if (!e.matched) return false;
    return true;
}

std::vector<std::string> TransmitVerifier::Lines(int waitMs) const {
    std::vector<std::string> lines;
    for (const TransmitExpectation& e : expectations_) {
        const gateway::GatewayFrame& f = model_.Transmit().frames[static_cast<std::size_t>(e.frame)];
        std::string line = "  " + gateway::FrameName(FrameDirection::Transmit, f, e.frame, {.direction = true}) +
                           ": expected " +
                           gateway::TransmitBytesText(e.expected, f.DataBytes());
        if (e.seen) line += ", seen " + can::CompactFrameText(*e.seen);
        if (e.matched)
            line += ": OK";
        else if (e.seen)
            line += ": MISMATCH (" + e.difference + ")";
        else
            line += ": NOT SEEN within " + std::to_string(waitMs) + " ms";
        lines.push_back(std::move(line));
    }
    for (std::uint16_t reg : feedingNothing_)
        lines.push_back("  register " + std::to_string(reg) + " feeds no transmit frame: nothing to see on the bus");
    return lines;
}

std::string WrittenValuesText(const gateway::RegisterValues& values) {
    std::string text;
    for (const auto& [reg, value] : values) {
        if (!text.empty()) text += ' ';
        text += std::to_string(reg) + "=" + gateway::RegisterValueText(value);
    }
    return text;
}

}  // namespace vestrel::live
