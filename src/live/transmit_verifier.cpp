#include "live/transmit_verifier.h"

#include "platform/printable_text.h"

#include <cstdio>

namespace vestrel::live {

using gateway::ByteState;
using gateway::CanFrame;

namespace {

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

int DataLength(const gateway::GatewayFrame& frame) { return frame.length < 0 ? 0 : frame.length > 8 ? 8 : frame.length; }

}  // namespace

bool FrameMatches(const gateway::GatewayModel& model, const TransmitExpectation& expectation, const CanFrame& frame,
                  std::string& why) {
    const gateway::GatewayFrame& f = model.Transmit().frames[static_cast<std::size_t>(expectation.frame)];
    if (frame.error || frame.id != f.cobId || frame.extended != (model.Mode() == CanMode::Can20B)) {
        why = "another frame";
        return false;
    }
    if (frame.remote) {
        why = "a remote request instead of a data frame";
        return false;
    }
    if (frame.fd) {
        why = "a CAN FD frame, which the gateway (CAN 2.0) does not send";
        return false;
    }
    if (frame.length != DataLength(f)) {
        why = std::to_string(frame.length) + " data bytes, Dimensin is " + std::to_string(f.length);
        return false;
    }
    for (int i = 0; i < frame.length; ++i) {
        const gateway::TransmitByte& b = expectation.expected.bytes[static_cast<std::size_t>(i)];
        const std::uint8_t got = frame.data[static_cast<std::size_t>(i)];
        if (b.state == ByteState::Value && b.value != got) {
            why = "B" + std::to_string(i + 1) + " is " + Hex2(got) + ", expected " + Hex2(b.value);
            return false;
        }
    }
    why.clear();
    return true;
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

void TransmitVerifier::OnFrame(const CanFrame& frame) {
    for (TransmitExpectation& e : expectations_) {
        if (e.matched) continue;
        std::string why;
        if (FrameMatches(model_, e, frame, why)) {
            e.seen = frame;
            e.matched = true;
            e.difference.clear();
        } else if (why != "another frame") {
            e.seen = frame;
            e.difference = why;
        }
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
        std::string line = "  transmit frame " + std::to_string(e.frame + 1) +
                           (f.mnemonic.empty() ? "" : " \"" + PrintableText(f.mnemonic, LineBreaks::OneLine) + "\"") +
                           " (COB-ID " + gateway::CobIdText(f.cobId) + "): expected " +
                           gateway::TransmitBytesText(e.expected, DataLength(f));
        if (e.seen) line += ", seen " + gateway::CompactFrameText(*e.seen);
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
