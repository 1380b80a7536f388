#include "signaldb/signal_listing.h"

#include "platform/printable_text.h"
#include "platform/text.h"
#include "signaldb/physical_value.h"

namespace vestrel::signaldb {

namespace {

std::string Shown(const std::string& text) { return PrintableText(text, LineBreaks::OneLine); }

std::string MessageLine(const Message& m, const MessagePlan& plan, std::optional<int> nodeId) {
    std::string line = MessageIdText(m) + " " + Shown(m.name);
    if (m.direction) line += m.direction == FrameDirection::Receive ? " (the gateway receives it)" : " (the gateway transmits it)";
    line += ": " + Plural(static_cast<std::size_t>(m.length), "data byte", "data bytes") + ", " +
            (m.extended ? "29-bit id" : "11-bit id");
    if (const std::string origin = CobIdOriginText(m, nodeId, "--node-cob-ids"); !origin.empty())
        line += ", COB-ID from " + origin;
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
    return std::to_string(signal.startBit) + "|" + std::to_string(signal.length) + " " + ByteOrderWord(signal.order) +
           " " + ValueTypeWord(signal.type);
}

std::string CobIdOriginText(const Message& m, std::optional<int> nodeId, std::string_view takeOther) {
    const CobIdOrigin& o = m.cobIdOrigin;
    if (o.entry == CobIdOrigin::Entry::None) return {};
    const std::string node = nodeId ? "node " + std::to_string(*nodeId) : "the node id";
    std::string text = o.entry == CobIdOrigin::Entry::ParameterValue ? "ParameterValue" : "DefaultValue";
    if (o.usesNodeId) text += " with " + node;
    text += " (line " + std::to_string(o.line) + ")";
    if (o.nodeIdCobId)
        text += ", which " + node + " does not change: its DefaultValue gives " + PrefixedHex(*o.nodeIdCobId, 1) +
                " (" + std::string(takeOther) + " takes that)";
    if (o.passedOver) text += "; ParameterValue gives " + PrefixedHex(*o.passedOver, 1);
    return text;
}

std::string SignalFitText(const Message& message, const MessagePlan& plan, std::size_t signal) {
    if (plan.refusal != Refusal::None)
        return "refused: " + Shown(MessageRefusalText(message, plan));
    const SignalPlan& p = plan.placements[signal];
    if (p.refusal != Refusal::None) return "refused: " + Shown(SignalRefusalText(message, plan, signal));
    std::string text = Plural(static_cast<std::size_t>(p.registerCount), "register", "registers");
    for (int r = p.firstRegister; r < p.firstRegister + p.registerCount; ++r)
        text += " (" + RegisterHalvesText(plan.registers[static_cast<std::size_t>(r)]) + ")";
    if (const std::string steps = PlcStepsText(StepsOf(p)); !steps.empty()) text += (p.masked ? ", " : "; ") + steps;
    // A frame the gateway may transmit: a DBC's (the user chooses) or a CANopen receive PDO.
    if (message.direction != FrameDirection::Receive)
        if (const std::string write = MultiRegisterWriteText(p.registerCount); !write.empty()) text += "; " + write;
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
        out += "\n" + MessageLine(m, p, db.nodeId) + "\n";
        for (std::size_t s = 0; s < m.signalList.size(); ++s) out += SignalLine(m, p, s) + "\n";
        Count(m, p, totals);
    }
    out += "\n" + Plural(totals.total, "signal", "signals") + ": " + std::to_string(totals.one) +
           " in one register, " + std::to_string(totals.several) + " in two or more, " +
           std::to_string(totals.masked) + " with shift and mask, " + std::to_string(totals.refused) + " refused\n";
    return out;
}

}  // namespace vestrel::signaldb
