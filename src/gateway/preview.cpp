#include "gateway/preview.h"

#include "can/candump_line.h"
#include "gateway/model_wording.h"

#include "platform/printable_text.h"
#include "platform/text.h"

#include <algorithm>
#include <ostream>
#include <sstream>

namespace vestrel::gateway {

namespace {

// "frame 2 "Motor temperatures" (COB-ID 0x182, Dimensin 4)".
constexpr FrameNameParts kTitle{.dimensin = true};


std::string HalfText(const HalfEffect& half, const can::CanFrame& frame) {
    const std::string byte = ByteSourceText(half.nibble);
    switch (half.source) {
        case HalfSource::Fed: return byte;
        case HalfSource::NotMapped: return "not fed by this frame";
        case HalfSource::NoSuchByte: return byte + ": no data byte";
        case HalfSource::BeyondDimension: return byte + ": beyond Dimensin";
        case HalfSource::NotInData:
            return frame.remote ? byte + ": a remote request carries no data"
                                : byte + ": not in the frame's " + Plural(frame.length, "data byte", "data bytes");
    }
    return byte;
}

void PrintEffects(const GatewayModel& model, int index, const can::CanFrame& frame, const std::string& indent,
                  const SignalValues* signalValues, std::ostream& out) {
    const GatewayFrame& f = model.Receive().frames[static_cast<std::size_t>(index)];
    if (frame.remote) {
        out << indent << "a remote request carries no data: no register is set\n";
        return;
    }
    if (frame.length != f.length)
        out << indent << "the frame carries " << Plural(frame.length, "data byte", "data bytes") << ", Dimensin is " << f.length << '\n';
    std::vector<RegisterEffect> effects;
    model.ReceiveEffects(index, frame, effects);
    if (effects.empty()) out << indent << "no register is mapped on this frame\n";
    // The registers as this frame leaves them, for the signals' values: a
    // half it does not feed is not known.
    auto fed = [&](std::int32_t reg) {
        RegisterValue value;
        for (const RegisterEffect& e : effects) {
            if (e.reg != reg) continue;
            if (e.high.source == HalfSource::Fed) {
                value.bits = static_cast<std::uint16_t>((value.bits & 0x00FF) | e.high.value << 8);
                value.highKnown = true;
            }
            if (e.low.source == HalfSource::Fed) {
                value.bits = static_cast<std::uint16_t>((value.bits & 0xFF00) | e.low.value);
                value.lowKnown = true;
            }
        }
        return value;
    };
    for (const RegisterEffect& e : effects) {
        out << indent << "register " << e.reg << " = " << EffectValueText(e) << " (high byte "
            << HalfText(e.high, frame) << ", low byte " << HalfText(e.low, frame) << ")";
        if (signalValues) {
            const std::string note = signalValues->RegisterNote(FrameDirection::Receive, e.reg, fed);
            if (!note.empty()) out << ": " << PrintableText(note, LineBreaks::OneLine);
        }
        out << '\n';
    }
}

void PreviewFrameTo(const GatewayModel& model, const std::string& text, const can::CanFrame& frame,
                    const SignalValues* signalValues, std::ostream& out) {
    const GatewayDirection& receive = model.Receive();
    const ReceiveMatch match = model.MatchReceive(frame);
    out << text << ": ";
    switch (match.kind) {
        case MatchKind::ErrorFrame:
            out << "an error frame: it matches no frame\n";
            return;
        case MatchKind::CanFd: out << kCanFdNotFed << " (the gateway is a CAN 2.0 node)\n"; return;
        case MatchKind::WrongFormat:
            out << (frame.extended ? "a 29-bit" : "an 11-bit") << " frame, but the project has " << ModeText(model)
                << ": it matches no frame\n";
            return;
        case MatchKind::NoFrame: {
            out << "no receive frame has COB-ID " << can::CobIdText(frame.id);
            const std::span<const int> transmit = model.TransmitFramesWithCobId(frame.id);
            if (!transmit.empty()) {
                const int t = transmit[0];
                out << "; it is "
                    << FrameName(FrameDirection::Transmit, model.Transmit().frames[static_cast<std::size_t>(t)], t,
                                 {.direction = true, .cobId = false})
                    << ", which the gateway sends";
            }
            out << '\n';
            return;
        }
        case MatchKind::Ambiguous: {
            out << "receive frames";
            for (std::size_t i = 0; i < match.frames.size(); ++i)
                out << (i == 0 ? " " : i + 1 == match.frames.size() ? " and " : ", ") << match.frames[i] + 1;
            out << " have COB-ID " << can::CobIdText(frame.id)
                << "; the project does not say which one the device matches\n";
            for (int index : match.frames) {
                out << "  if " << FrameName(FrameDirection::Receive, receive.frames[static_cast<std::size_t>(index)], index, kTitle) << ":\n";
                PrintEffects(model, index, frame, "    ", signalValues, out);
            }
            return;
        }
        case MatchKind::Frame: {
            const int index = match.frames[0];
            out << FrameName(FrameDirection::Receive, receive.frames[static_cast<std::size_t>(index)], index,
                            {.direction = true, .dimensin = true})
                << '\n';
            const std::span<const int> all = model.ReceiveFramesWithCobId(frame.id);
            if (all.size() > 1) {
                out << "  ";
                for (std::size_t i = 0; i + 1 < all.size(); ++i)
                    out << (i == 0 ? (all.size() == 2 ? "frame " : "frames ") : i + 2 == all.size() ? " and " : ", ")
                        << all[i] + 1;
                out << (all.size() == 2 ? " has" : " have") << " the same COB-ID; "
                    << LookupSelectionText(index + 1, all.size()) << '\n';
            }
            PrintEffects(model, index, frame, "  ", signalValues, out);
            return;
        }
    }
}

// "  signals: Speed = 1500 rpm, Torque = ?": the physical values the
// register values give the signals imported into transmit frame `f`.
void PrintTransmitSignals(const SignalValues& signalValues, const GatewayModel& model, const GatewayFrame& f,
                          const RegisterValues& values, std::ostream& out) {
    const signaldb::ImportedMessage* message =
        signalValues.File().Find(FrameDirection::Transmit, f.cobId, UsesExtendedIds(model.Mode()));
    if (!message) return;
    auto given = [&](std::int32_t reg) {
        const auto it = values.find(static_cast<std::uint16_t>(reg));
        return it == values.end() ? RegisterValue{} : RegisterValue{it->second, true, true};
    };
    std::string line;
    for (const SignalValues::Entry& e : signalValues.Entries()) {
        if (e.message != message) continue;
        line += (line.empty() ? "" : ", ") + SignalReadingText(e, ReadSignalBits(*message, *e.signal, given));
    }
    if (!line.empty()) out << "  signals: " << PrintableText(line, LineBreaks::OneLine) << '\n';
}

std::string ByteHex(unsigned value) { return PrefixedHex(value & 0xFF, 2); }

void PreviewTransmitTo(const GatewayModel& model, const RegisterValues& values, const SignalValues* signalValues,
                       std::ostream& out) {
    const GatewayDirection& transmit = model.Transmit();
    for (int index : model.TransmitFramesFedBy(values)) {
        const GatewayFrame& f = transmit.frames[static_cast<std::size_t>(index)];
        out << FrameName(FrameDirection::Transmit, f, index, {.direction = true, .dimensin = true});
        if (f.remote) {
            out << ": a remote frame carries no data\n";
            continue;
        }
        const TransmitFrameData data = model.ComposeTransmit(index, values);
        const int count = f.DataBytes();
        out << ": " << TransmitBytesText(data, count) << '\n';
        bool complete = true;
        for (int b = 0; b < count; ++b) {
            const TransmitByte& byte = data.bytes[static_cast<std::size_t>(b)];
            complete = complete && byte.state == ByteState::Value;
            if (byte.sources.empty()) continue;
            out << "  B" << b + 1 << " = "
                << (byte.state == ByteState::Value     ? ByteHex(byte.value)
                    : byte.state == ByteState::Unknown ? std::string("??")
                                                       : std::string("!!"))
                << ":";
            for (std::size_t s = 0; s < byte.sources.size(); ++s) {
                const ByteSourceRef& source = byte.sources[s];
                const std::uint16_t reg = transmit.mappings[static_cast<std::size_t>(source.mapping)].reg;
                out << (s == 0 ? " " : ", ") << "register " << reg << (source.high ? " high byte" : " low byte");
                const auto given = values.find(reg);
                if (given == values.end())
                    out << ", no value given";
                else if (byte.sources.size() > 1)
                    out << " " << ByteHex(source.high ? given->second >> 8 : given->second & 0xFF);
            }
            out << '\n';
        }
        if (complete) {
            out << "  as a frame: " << can::CompactFrameText(model.TransmitCanFrame(index, data, values)) << '\n';
        }
        if (signalValues) PrintTransmitSignals(*signalValues, model, f, values, out);
    }
    for (const auto& [reg, value] : values) {
        bool feeds = false;
        for (const GatewayMapping& m : transmit.mappings) feeds = feeds || (m.reg == reg && transmit.FrameOf(m));
        if (!feeds) out << "register " << reg << " feeds no transmit frame\n";
    }
}

}  // namespace

std::vector<TypedFrame> ReadTypedFrames(std::string_view text) {
    std::vector<TypedFrame> typed;
    auto add = [&](std::string_view piece, bool whole) {
        Result<can::CanFrame> frame = Failure{};
        if (whole) {
            can::LogFrame logged;
            std::string why;
            if (can::CandumpLines().Parse(piece, logged, why) == can::LineKind::Frame)
                frame = logged.frame;
            else
                frame = Failure{std::move(why)};
        } else {
            frame = can::ParseCompactFrame(piece);
        }
        typed.push_back(TypedFrame{std::string(piece), std::move(frame)});
    };
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::pair<std::size_t, std::size_t>> words;  // start, length
        for (std::size_t at = 0; at < line.size();) {
            const std::size_t start = line.find_first_not_of(" \t\r", at);
            if (start == std::string::npos) break;
            const std::size_t end = std::min(line.find_first_of(" \t\r", start), line.size());
            words.emplace_back(start, end - start);
            at = end;
        }
        if (words.empty()) continue;
        const std::string_view all(line);
        if (all.substr(words[0].first, words[0].second).find('#') != std::string_view::npos) {
            for (const auto& [start, length] : words) add(all.substr(start, length), false);
            continue;
        }
        std::size_t from = 0;
        for (std::size_t w = 1; w <= words.size(); ++w) {
            const bool stamp = w < words.size() && line[words[w].first] == '(';
            if (w < words.size() && !stamp) continue;
            const std::size_t end = words[w - 1].first + words[w - 1].second;
            add(all.substr(words[from].first, end - words[from].first), true);
            from = w;
        }
    }
    return typed;
}

std::string PreviewFrameText(const GatewayModel& model, const std::string& text, const can::CanFrame& frame,
                             const SignalValues* signalValues) {
    std::ostringstream out;
    PreviewFrameTo(model, PrintableText(text, LineBreaks::OneLine), frame, signalValues, out);
    return out.str();
}

std::string PreviewTransmitText(const GatewayModel& model, const RegisterValues& values,
                                const SignalValues* signalValues) {
    std::ostringstream out;
    PreviewTransmitTo(model, values, signalValues, out);
    return out.str();
}

Result<RegisterValues> TypedTransmitValues(std::string_view registers, std::string_view typedSignals,
                                           const SignalValues* signalValues, std::vector<std::string>& warnings) {
    RegisterValues values;
    if (!registers.empty()) {
        auto parsed = ParseRegisterValues(registers);
        if (!parsed) return Failure{parsed.Why()};
        values = std::move(*parsed);
    }
    if (typedSignals.empty()) return values;
    const auto assignments = signaldb::ParseSignalValues(typedSignals);
    if (!assignments) return Failure{assignments.Why()};
    if (!signalValues || signalValues->Empty())
        return Failure{"physical values need a project with imported signals (signals.xml)"};
    if (Result<void> applied = ApplySignalAssignments(*signalValues, *assignments, values, warnings); !applied)
        return Failure{applied.Why()};
    return values;
}

std::string SignalRegistersText(const RegisterValues& before, const RegisterValues& after) {
    std::string text;
    for (const auto& [reg, value] : after) {
        const auto was = before.find(reg);
        if (was != before.end() && was->second == value) continue;
        text += (text.empty() ? "signals give " : ", ") + std::string("register ") + std::to_string(reg) + " = " +
                RegisterValueText(value);
    }
    return text;
}

}  // namespace vestrel::gateway
