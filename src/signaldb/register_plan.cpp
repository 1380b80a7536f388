#include "signaldb/register_plan.h"

#include "platform/text.h"
#include "signaldb/signal_codec.h"

#include <algorithm>
#include <array>

namespace vestrel::signaldb {

namespace {

constexpr int kGatewayBytes = 8;  // CAN 2.0

Refusal MessageRefusal(const Message& m, std::optional<CanMode> mode) {
    if (!m.problem.empty()) return Refusal::Unreadable;
    if (m.disabled) return Refusal::Disabled;
    if (m.length > kGatewayBytes) return Refusal::TooLong;
    if (m.canFd) return Refusal::CanFd;
    if (mode && m.extended != UsesExtendedIds(*mode)) return Refusal::IdFormat;
    return Refusal::None;
}

// Refusals that each signal earns alone.
Refusal SignalRefusal(const Message& m, const Signal& s) {
    if (!s.problem.empty()) return Refusal::Unreadable;
    if (s.mux == Multiplexing::Multiplexed) return Refusal::Multiplexed;
    if (!FitsIn(s, m.length)) return Refusal::PastLength;
    return Refusal::None;
}

void RefuseOverlaps(const Message& m, MessagePlan& plan) {
    std::array<int, kGatewayBytes * 8> owner;
    owner.fill(-1);
    for (std::size_t i = 0; i < m.signalList.size(); ++i) {
        if (plan.placements[i].refusal != Refusal::None) continue;
        for (int b = 0; b < m.signalList[i].length; ++b) {
            int& o = owner[static_cast<std::size_t>(FrameBitOf(m.signalList[i], b))];
            if (o < 0) {
                o = static_cast<int>(i);
                continue;
            }
            for (auto [x, y] : {std::pair{static_cast<std::size_t>(o), i}, std::pair{i, static_cast<std::size_t>(o)}})
                if (plan.placements[x].other < 0) plan.placements[x].other = static_cast<int>(y);
        }
    }
    for (SignalPlan& s : plan.placements)
        if (s.refusal == Refusal::None && s.other >= 0) s.refusal = Refusal::Overlap;
}

struct ByteGroup {
    int first = 0, last = 0;  // data bytes
    ByteOrder order = ByteOrder::Intel;
    std::vector<std::size_t> members;
};

// The groups of consecutive bytes that the usable signals join, by first
// byte; the signals in each by index.
std::vector<ByteGroup> Groups(const Message& m, const MessagePlan& plan) {
    std::vector<std::size_t> usable;
    for (std::size_t i = 0; i < m.signalList.size(); ++i)
        if (plan.placements[i].refusal == Refusal::None) usable.push_back(i);
    std::stable_sort(usable.begin(), usable.end(), [&](std::size_t a, std::size_t b) {
        return FirstByte(m.signalList[a]) < FirstByte(m.signalList[b]);
    });
    std::vector<ByteGroup> groups;
    for (std::size_t i : usable) {
        const Signal& s = m.signalList[i];
        if (groups.empty() || FirstByte(s) > groups.back().last)
            groups.push_back(ByteGroup{FirstByte(s), LastByte(s), ByteOrder::Intel, {}});
        groups.back().last = std::max(groups.back().last, LastByte(s));
        groups.back().members.push_back(i);
    }
    for (ByteGroup& g : groups) std::sort(g.members.begin(), g.members.end());
    return groups;
}

// The byte order of each group: that of its first signal over more than one
// byte. A signal over more than one byte in the other order cannot be read
// from the same registers: refused. Returns whether it refused any.
bool SettleByteOrders(const Message& m, std::vector<ByteGroup>& groups, MessagePlan& plan) {
    bool refused = false;
    for (ByteGroup& g : groups) {
        int leader = -1;
        for (std::size_t i : g.members) {
            const Signal& s = m.signalList[i];
            if (FirstByte(s) == LastByte(s)) continue;
            if (leader < 0) {
                leader = static_cast<int>(i);
                g.order = s.order;
            } else if (s.order != g.order) {
                plan.placements[i].refusal = Refusal::MixedByteOrder;
                plan.placements[i].other = leader;
                refused = true;
            }
        }
    }
    return refused;
}

// Bit `frameBit` of the data as a bit of the group's joined value.
int ValueBit(const ByteGroup& g, int frameBit) {
    if (g.order == ByteOrder::Intel) return frameBit - 8 * g.first;
    return 8 * (g.last - frameBit / 8) + frameBit % 8;
}

void LayOut(const Message& m, const ByteGroup& g, WordOrder order, MessagePlan& plan) {
    const int bytes = g.last - g.first + 1;
    const int words = (bytes + 1) / 2;
    // The data byte of significance j (0 = least significant).
    const auto byteAt = [&](int j) { return g.order == ByteOrder::Intel ? g.first + j : g.last - j; };
    const int firstRegister = static_cast<int>(plan.registers.size());
    for (int n = 0; n < words; ++n) {
        const int w = order == WordOrder::HighFirst ? words - 1 - n : n;
        const int high = 2 * w + 1 < bytes ? byteAt(2 * w + 1) : -1;
        plan.registers.push_back(PlannedRegister{MakePosComp(NibbleOfDataByte(high), NibbleOfDataByte(byteAt(2 * w)))});
    }
    for (std::size_t i : g.members) {
        const Signal& s = m.signalList[i];
        SignalPlan& p = plan.placements[i];
        p.firstRegister = firstRegister;
        p.registerCount = words;
        p.shift = ValueBit(g, FrameBitOf(s, 0));
        p.mask = LowBits(s.length);
        p.masked = p.shift != 0 || s.length != 8 * bytes;
        p.signBit = SignBitOf(s.type, s.length, words, p.masked);
    }
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

}  // namespace

const char* WordOrderText(WordOrder order) {
    return order == WordOrder::HighFirst ? "high word first" : "low word first";
}

const char* WordOrderWord(WordOrder order) { return order == WordOrder::HighFirst ? "high-first" : "low-first"; }

std::optional<WordOrder> WordOrderOfWord(std::string_view word) {
    for (WordOrder order : {WordOrder::HighFirst, WordOrder::LowFirst})
        if (word == WordOrderWord(order)) return order;
    return std::nullopt;
}

MessagePlan PlanMessage(const Message& message, std::optional<CanMode> mode, WordOrder order) {
    MessagePlan plan;
    plan.mode = mode;
    plan.placements.resize(message.signalList.size());
    plan.refusal = MessageRefusal(message, mode);
    if (plan.refusal != Refusal::None) return plan;
    for (std::size_t i = 0; i < message.signalList.size(); ++i)
        plan.placements[i].refusal = SignalRefusal(message, message.signalList[i]);
    RefuseOverlaps(message, plan);
    std::vector<ByteGroup> groups = Groups(message, plan);
    // Each pass refuses at least one signal, or ends.
    while (SettleByteOrders(message, groups, plan)) groups = Groups(message, plan);
    for (const ByteGroup& g : groups) LayOut(message, g, order, plan);
    return plan;
}

DatabasePlan PlanDatabase(const Database& database, std::optional<CanMode> mode, WordOrder order) {
    DatabasePlan plan{mode, order, {}};
    plan.messages.reserve(database.messages.size());
    for (const Message& m : database.messages) plan.messages.push_back(PlanMessage(m, mode, order));
    return plan;
}

std::optional<int> SignBitOf(ValueType type, int length, int registerCount, bool masked) {
    if (type != ValueType::Signed || registerCount <= 0 || (!masked && length >= 16 * registerCount)) return std::nullopt;
    return length - 1;
}

PlcSteps StepsOf(const SignalPlan& plan) { return {plan.shift, plan.mask, plan.masked, plan.signBit}; }

std::string PlcStepsText(const PlcSteps& steps) {
    std::string text;
    if (steps.masked) text = "shift right " + std::to_string(steps.shift) + ", mask 0x" + UpperHex(steps.mask);
    if (steps.signBit)
        text += (text.empty() ? "" : "; ") + std::string("the PLC sign-extends bit ") + std::to_string(*steps.signBit);
    return text;
}

std::string MultiRegisterWriteText(int registerCount) {
    if (registerCount < 2) return {};
    return std::string("a PLC writing it writes ") +
           (registerCount == 2 ? "both" : "all " + std::to_string(registerCount)) + " in one function 16 request";
}

std::string MessageRefusalText(const Message& message, const MessagePlan& plan) {
    switch (plan.refusal) {
        case Refusal::None: return {};
        case Refusal::Unreadable: return message.problem;
        case Refusal::Disabled: return "the PDO is disabled (bit 31 of its COB-ID is set)";
        case Refusal::TooLong:
            return std::to_string(message.length) + " data bytes: the gateway is CAN 2.0, at most 8 (CAN FD)";
        case Refusal::CanFd:
            return "a CAN FD frame (VFrameFormat " + message.frameFormat +
                   "): the gateway is a CAN 2.0 node and never takes it, whatever its length";
        case Refusal::IdFormat:
            if (plan.mode == CanMode::Can20A)
                return "a 29-bit id, and the project's CANType is 0 (" + std::string(CanModeText(CanMode::Can20A)) +
                       ")";
            return "an 11-bit id, and the project's CANType selects " + std::string(CanModeText(CanMode::Can20B));
        default: return {};
    }
}

std::string SignalRefusalText(const Message& message, const MessagePlan& plan, std::size_t signal) {
    const Signal& s = message.signalList[signal];
    const SignalPlan& p = plan.placements[signal];
    const auto other = [&] { return Quoted(message.signalList[static_cast<std::size_t>(p.other)].name); };
    switch (p.refusal) {
        case Refusal::Unreadable: return s.problem;
        case Refusal::Multiplexed:
            return "multiplexed (m" + std::to_string(s.muxValue) +
                   "): the gateway has no multiplexer, every frame with id " + MessageIdText(message) +
                   " feeds the same registers";
        case Refusal::PastLength:
            return "its bits reach past the message's " + std::to_string(message.length) + " data bytes";
        case Refusal::Overlap: return "it shares bits with " + other();
        case Refusal::MixedByteOrder:
            return std::string("it shares data bytes with the ") +
                   (s.order == ByteOrder::Intel ? "Motorola" : "Intel") + " signal " + other() +
                   ", and no register holds both byte orders";
        default: return {};
    }
}

std::string RegisterHalvesText(const PlannedRegister& reg) {
    return "high " + ByteSourceText(PosCompHigh(reg.posComp)) + ", low " + ByteSourceText(PosCompLow(reg.posComp));
}

}  // namespace vestrel::signaldb
