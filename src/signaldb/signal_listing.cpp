#include "signaldb/signal_listing.h"

#include "platform/printable_text.h"
#include "platform/text.h"
#include "signaldb/physical_value.h"

namespace vestrel::signaldb {

namespace {

std::string Shown(const std::string& text) { return PrintableText(text, LineBreaks::OneLine); }

const char* TypeText(ValueType type) {
    switch (type) {
        case ValueType::Unsigned: return "unsigned";
        case ValueType::Signed: return "signed";
        case ValueType::Float32: return "float";
        case ValueType::Float64: return "double";
    }
    return "";
}

std::string MessageLine(const Message& m, const MessagePlan& plan) {
    std::string line = MessageIdText(m) + " " + Shown(m.name);
    if (m.direction) line += m.direction == FrameDirection::Receive ? " (the gateway receives it)" : " (the gateway transmits it)";
    line += ": " + Plural(static_cast<std::size_t>(m.length), "data byte", "data bytes") + ", " +
            (m.extended ? "29-bit id" : "11-bit id");
    if (m.cycleTimeMs) line += ", every " + std::to_string(*m.cycleTimeMs) + " ms";
    if (!m.transmitters.empty()) {
        line += ", from ";
        for (std::size_t i = 0; i < m.transmitters.size(); ++i) line += (i ? ", " : "") + Shown(m.transmitters[i]);
    }
    if (plan.refusal != Refusal::None) return line + ": refused: " + Shown(MessageRefusalText(m, plan));
    return line + ": " + Plural(plan.registers.size(), "register", "registers");
}

std::string SignalLine(const Message& m, const MessagePlan& plan, std::size_t i) {
    const Signal& s = m.signalList[i];
    std::string line = "  " + Shown(s.name) + ": " + SignalBitsText(s) + ", " + Shown(ScalingText(s));
    if (const std::string range = RangeText(s); !range.empty()) line += ", " + range;
    if (s.mux == Multiplexing::Multiplexor) line += ", multiplexor";
    if (!s.values.empty()) line += ", " + Plural(s.values.size(), "named value", "named values");
    if (plan.refusal != Refusal::None) return line;
    return line + ": " + SignalFitText(m, plan, i);
}

struct Totals {
    std::size_t total = 0, one = 0, several = 0, masked = 0, refused = 0;
};

void Count(const Message& m, const MessagePlan& plan, Totals& t) {
    for (std::size_t i = 0; i < m.signalList.size(); ++i) {
        ++t.total;
        const SignalPlan& p = plan.placements[i];
        if (plan.Refused(i))
            ++t.refused;
        else if (p.masked)
            ++t.masked;
        else if (p.registerCount == 1)
            ++t.one;
        else
            ++t.several;
    }
}

}  // namespace

std::string SignalBitsText(const Signal& signal) {
    return std::to_string(signal.startBit) + "|" + std::to_string(signal.length) + " " +
           (signal.order == ByteOrder::Intel ? "Intel" : "Motorola") + " " + TypeText(signal.type);
}

std::string SignalFitText(const Message& message, const MessagePlan& plan, std::size_t signal) {
    if (plan.refusal != Refusal::None)
        return "refused: " + Shown(MessageRefusalText(message, plan));
    const SignalPlan& p = plan.placements[signal];
    if (p.refusal != Refusal::None) return "refused: " + Shown(SignalRefusalText(message, plan, signal));
    std::string text = Plural(static_cast<std::size_t>(p.registerCount), "register", "registers");
    for (int r = p.firstRegister; r < p.firstRegister + p.registerCount; ++r)
        text += " (" + RegisterHalvesText(plan.registers[static_cast<std::size_t>(r)]) + ")";
    if (p.masked) text += ", shift right " + std::to_string(p.shift) + ", mask 0x" + UpperHex(p.mask);
    if (NeedsSignExtension(message.signalList[signal], p))
        text += "; the PLC sign-extends bit " + std::to_string(message.signalList[signal].length - 1);
    return text;
}

std::string DatabaseListing(const Database& db, const DatabasePlan& plan) {
    std::string out = Shown(db.fileName) + ": " + FormatName(db.format);
    if (db.nodeId) out += ", node " + std::to_string(*db.nodeId) + (db.nodeIdFromFile ? " (from the file)" : "");
    out += ", " + Plural(db.messages.size(), "message", "messages") + ", " +
           Plural(db.SignalCount(), "signal", "signals") + "\n";
    out += "Registers are listed per message in the order the import numbers them, " +
           std::string(WordOrderText(plan.order)) + ".\n";
    if (!plan.mode)
        out += "11-bit ids need CANType 0 (" + std::string(CanModeText(CanMode::Can20A)) +
               "), 29-bit ids any other CANType (" + std::string(CanModeText(CanMode::Can20B)) + ").\n";
    Totals totals;
    for (std::size_t i = 0; i < db.messages.size(); ++i) {
        const Message& m = db.messages[i];
        const MessagePlan& p = plan.messages[i];
        out += "\n" + MessageLine(m, p) + "\n";
        for (std::size_t s = 0; s < m.signalList.size(); ++s) out += SignalLine(m, p, s) + "\n";
        Count(m, p, totals);
    }
    out += "\n" + Plural(totals.total, "signal", "signals") + ": " + std::to_string(totals.one) +
           " in one register, " + std::to_string(totals.several) + " in two or more, " +
           std::to_string(totals.masked) + " with shift and mask, " + std::to_string(totals.refused) + " refused\n";
    return out;
}

}  // namespace vestrel::signaldb
