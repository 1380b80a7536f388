#include "project/frame_mapping.h"
#include "project/frame_table.h"
#include "project/integer_text.h"
#include "signaldb/database_file.h"
#include "signaldb/register_plan.h"
#include "signaldb/signal_codec.h"

#include <algorithm>
#include <random>

#include <gtest/gtest.h>

namespace vestrel::signaldb {
namespace {

struct Sig {
    int start, length;
    ByteOrder order = ByteOrder::Intel;
    Multiplexing mux = Multiplexing::None;
    const char* problem = "";
};

constexpr ByteOrder kIntel = ByteOrder::Intel, kMotorola = ByteOrder::Motorola;

Message MakeMessage(const std::vector<Sig>& sigs, int length = 8) {
    Message m;
    m.name = "M";
    m.id = 0x181;
    m.length = length;
    for (std::size_t i = 0; i < sigs.size(); ++i) {
        Signal s;
        s.name = "S" + std::to_string(i);
        s.startBit = sigs[i].start;
        s.length = sigs[i].length;
        s.order = sigs[i].order;
        s.mux = sigs[i].mux;
        s.muxValue = 1;
        s.problem = sigs[i].problem;
        m.signalList.push_back(s);
    }
    return m;
}

const char* RefusalName(Refusal r) {
    switch (r) {
        case Refusal::None: return "None";
        case Refusal::Unreadable: return "Unreadable";
        case Refusal::Disabled: return "Disabled";
        case Refusal::TooLong: return "TooLong";
        case Refusal::CanFd: return "CanFd";
        case Refusal::IdFormat: return "IdFormat";
        case Refusal::Multiplexed: return "Multiplexed";
        case Refusal::PastLength: return "PastLength";
        case Refusal::Overlap: return "Overlap";
        case Refusal::MixedByteOrder: return "MixedByteOrder";
    }
    return "?";
}

// "1/2 -/5 | 0+1 >>4&FFF, !Overlap(0)": the registers by their data bytes
// (B1 = 1, "-" for none), then per signal its registers (first + count),
// its shift and mask where the PLC needs them, or its refusal.
std::string Render(const MessagePlan& plan) {
    if (plan.refusal != Refusal::None) return std::string("!") + RefusalName(plan.refusal);
    std::string out;
    for (const PlannedRegister& r : plan.registers) {
        const auto name = [](int byte) { return byte < 0 ? std::string("-") : std::to_string(byte + 1); };
        out += (out.empty() ? "" : " ") + name(r.HighByte()) + "/" + name(r.LowByte());
    }
    out += " |";
    for (const SignalPlan& s : plan.placements) {
        if (s.refusal != Refusal::None) {
            out += std::string(" !") + RefusalName(s.refusal) + "(" + std::to_string(s.other) + "),";
            continue;
        }
        out += " " + std::to_string(s.firstRegister) + "+" + std::to_string(s.registerCount);
        if (s.masked) {
            char mask[24];
            std::snprintf(mask, sizeof mask, "%llX", static_cast<unsigned long long>(s.mask));
            out += " >>" + std::to_string(s.shift) + "&" + mask;
        }
        out += ",";
    }
    return out;
}

TEST(RegisterPlan, WhatTheGatewayMakesOfEachLayout) {
    const auto hi = WordOrder::HighFirst, lo = WordOrder::LowFirst;
    const struct {
        std::vector<Sig> sigs;
        WordOrder order;
        const char* plan;
    } kCases[] = {
        // Byte-aligned: one register per 16 bits, the word order for more.
        {{{7, 16, kMotorola}}, hi, "1/2 | 0+1,"},
        {{{0, 16, kIntel}}, hi, "2/1 | 0+1,"},
        {{{16, 8, kIntel}}, hi, "-/3 | 0+1,"},
        {{{23, 8, kMotorola}}, hi, "-/3 | 0+1,"},
        {{{0, 32, kIntel}}, hi, "4/3 2/1 | 0+2,"},
        {{{0, 32, kIntel}}, lo, "2/1 4/3 | 0+2,"},
        {{{7, 32, kMotorola}}, hi, "1/2 3/4 | 0+2,"},
        {{{7, 32, kMotorola}}, lo, "3/4 1/2 | 0+2,"},
        {{{0, 24, kIntel}}, hi, "-/3 2/1 | 0+2,"},
        {{{0, 24, kIntel}}, lo, "2/1 -/3 | 0+2,"},
        {{{7, 24, kMotorola}}, hi, "-/1 2/3 | 0+2,"},
        {{{0, 64, kIntel}}, hi, "8/7 6/5 4/3 2/1 | 0+4,"},
        {{{7, 64, kMotorola}}, lo, "7/8 5/6 3/4 1/2 | 0+4,"},
        {{{8, 40, kIntel}}, hi, "-/6 5/4 3/2 | 0+3,"},
        // Not aligned or short: the whole bytes, with shift and mask.
        {{{4, 12, kIntel}}, hi, "2/1 | 0+1 >>4&FFF,"},
        {{{3, 12, kMotorola}}, hi, "1/2 | 0+1 >>0&FFF,"},
        {{{10, 3, kIntel}}, hi, "-/2 | 0+1 >>2&7,"},
        {{{7, 10, kIntel}}, hi, "-/3 2/1 | 0+2 >>7&3FF,"},
        // Signals that share a byte share its register.
        {{{0, 1}, {1, 1}, {2, 1}, {4, 12}}, hi, "2/1 | 0+1 >>0&1, 0+1 >>1&1, 0+1 >>2&1, 0+1 >>4&FFF,"},
        {{{7, 12, kMotorola}, {11, 4, kMotorola}}, hi, "1/2 | 0+1 >>4&FFF, 0+1 >>0&F,"},
        {{{4, 8, kIntel}, {12, 8, kIntel}}, hi, "-/3 2/1 | 0+2 >>4&FF, 0+2 >>12&FF,"},
        {{{0, 1}, {8, 1}, {23, 16, kMotorola}}, hi, "-/1 -/2 3/4 | 0+1 >>0&1, 1+1 >>0&1, 2+1,"},
        {{{12, 8, kIntel}, {11, 8, kMotorola}}, hi, "3/2 | 0+1 >>4&FF, !MixedByteOrder(0),"},
        // A signal within one byte has no byte order of its own: it shares a byte with either.
        {{{7, 12, kMotorola}, {8, 4, kIntel}}, hi, "1/2 | 0+1 >>4&FFF, 0+1 >>0&F,"},
        {{{0, 12, kIntel}, {15, 4, kMotorola}}, hi, "2/1 | 0+1 >>0&FFF, 0+1 >>12&F,"},
        // Refused signals; the rest of the message stays.
        {{{0, 16}, {8, 8}, {16, 8}}, hi, "-/3 | !Overlap(1), !Overlap(0), 0+1,"},
        {{{0, 8, kIntel, Multiplexing::Multiplexor}, {8, 16, kIntel, Multiplexing::Multiplexed}}, hi,
         "-/1 | 0+1, !Multiplexed(-1),"},
        {{{56, 16}}, hi, " | !PastLength(-1),"},
        {{{0, 8, kIntel, Multiplexing::None, "bad"}, {8, 8}}, hi, "-/2 | !Unreadable(-1), 0+1,"},
    };
    for (const auto& c : kCases) {
        const Message m = MakeMessage(c.sigs);
        EXPECT_EQ(Render(PlanMessage(m, CanMode::Can20A, c.order)), c.plan) << c.plan;
    }
}

TEST(RegisterPlan, WholeMessagesRefused) {
    Message m = MakeMessage({{0, 8}});
    const auto refusal = [&](std::optional<CanMode> mode) {
        return Render(PlanMessage(m, mode, WordOrder::HighFirst));
    };
    EXPECT_EQ(refusal(CanMode::Can20B), "!IdFormat");
    EXPECT_EQ(refusal(std::nullopt), "-/1 | 0+1,");
    m.extended = true;
    EXPECT_EQ(refusal(CanMode::Can20A), "!IdFormat");
    EXPECT_EQ(refusal(CanMode::Can20B), "-/1 | 0+1,");
    m.canFd = true;
    EXPECT_EQ(refusal(CanMode::Can20B), "!CanFd");
    m.length = 12;
    EXPECT_EQ(refusal(CanMode::Can20B), "!TooLong");
    m.disabled = true;
    EXPECT_EQ(refusal(CanMode::Can20B), "!Disabled");
    m.problem = "why";
    EXPECT_EQ(refusal(CanMode::Can20B), "!Unreadable");
}

TEST(RegisterPlan, RefusalsAreWorded) {
    Message m = MakeMessage({{0, 16}, {8, 8}, {16, 8, kIntel, Multiplexing::Multiplexed}, {60, 8}, {44, 8, kIntel},
                             {43, 8, kMotorola}},
                            7);
    const MessagePlan plan = PlanMessage(m, CanMode::Can20A, WordOrder::HighFirst);
    const std::vector<std::string> texts = {
        "it shares bits with \"S1\"",
        "it shares bits with \"S0\"",
        "multiplexed (m1): the gateway has no multiplexer, every frame with id 0x181 feeds the same registers",
        "its bits reach past the message's 7 data bytes",
        "",
        "it shares data bytes with the Intel signal \"S4\", and no register holds both byte orders",
    };
    for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(SignalRefusalText(m, plan, i), texts[i]) << i;
    m.extended = true;
    EXPECT_EQ(MessageRefusalText(m, PlanMessage(m, CanMode::Can20A, WordOrder::HighFirst)),
              "a 29-bit id, and the project's CANType is 0 (CAN 2.0A, 11-bit COB-IDs)");
    m.extended = false;
    EXPECT_EQ(MessageRefusalText(m, PlanMessage(m, CanMode::Can20B, WordOrder::HighFirst)),
              "an 11-bit id, and the project's CANType selects CAN 2.0B, 29-bit COB-IDs");
    m.canFd = true;
    m.frameFormat = "StandardCAN_FD";
    EXPECT_EQ(MessageRefusalText(m, PlanMessage(m, CanMode::Can20A, WordOrder::HighFirst)),
              "a CAN FD frame (VFrameFormat StandardCAN_FD): the gateway is a CAN 2.0 node and never takes it, "
              "whatever its length");
    m.length = 64;
    EXPECT_EQ(MessageRefusalText(m, PlanMessage(m, CanMode::Can20A, WordOrder::HighFirst)),
              "64 data bytes: the gateway is CAN 2.0, at most 8 (CAN FD)");
}

// The PLC's steps, from their one home: what it shifts, masks and
// sign-extends, whatever the signal's length.
TEST(RegisterPlan, ThePlcStepsOfASignal) {
    const auto kSigned = ValueType::Signed, kUnsigned = ValueType::Unsigned;
    const struct {
        int start, length;
        ValueType type;
        const char* steps;
    } kCases[] = {
        {4, 16, kSigned, "shift right 4, mask 0xFFFF; the PLC sign-extends bit 15"},
        {0, 16, kSigned, ""},
        {0, 8, kSigned, "the PLC sign-extends bit 7"},
        {0, 24, kSigned, "the PLC sign-extends bit 23"},
        {0, 32, kSigned, ""},
        {8, 40, kSigned, "the PLC sign-extends bit 39"},
        {4, 12, kUnsigned, "shift right 4, mask 0xFFF"},
        {0, 1, kUnsigned, "shift right 0, mask 0x1"},
        {0, 64, kSigned, ""},
    };
    for (const auto& c : kCases) {
        Message m = MakeMessage({{c.start, c.length}});
        m.signalList[0].type = c.type;
        const MessagePlan plan = PlanMessage(m, CanMode::Can20A, WordOrder::HighFirst);
        EXPECT_EQ(PlcStepsText(StepsOf(plan.placements[0])), c.steps) << c.start << "|" << c.length;
    }
    EXPECT_EQ(MultiRegisterWriteText(1), "");
    EXPECT_EQ(MultiRegisterWriteText(2), "a PLC writing it writes both in one function 16 request");
    EXPECT_EQ(MultiRegisterWriteText(4), "a PLC writing it writes all 4 in one function 16 request");
}

// The joined value of a signal's registers, as the PLC builds it.
std::uint64_t Joined(const std::vector<std::uint16_t>& regs, WordOrder order) {
    std::uint64_t value = 0;
    for (std::size_t k = 0; k < regs.size(); ++k) {
        const std::size_t w = order == WordOrder::HighFirst ? regs.size() - 1 - k : k;
        value |= std::uint64_t{regs[k]} << (16 * w);
    }
    return value;
}

// Random messages of signals that do not overlap: through the gateway's byte
// copies and the PLC's shift and mask, every signal comes back whole, both
// ways, and no data byte feeds two register halves.
TEST(RegisterPlan, EverySignalSurvivesTheRoundTripThroughTheRegisters) {
    std::mt19937_64 rng(20261209);
    for (int round = 0; round < 3000; ++round) {
        std::vector<Sig> sigs;
        std::uint64_t taken = 0;
        for (int tries = 0; tries < 12; ++tries) {
            Signal s;
            s.order = rng() % 2 ? kIntel : kMotorola;
            s.length = 1 + static_cast<int>(rng() % (rng() % 4 ? 16 : 64));
            s.startBit = static_cast<int>(rng() % 64);
            if (!FitsIn(s, 8)) continue;
            std::uint64_t bits = 0;
            for (int i = 0; i < s.length; ++i) bits |= std::uint64_t{1} << FrameBitOf(s, i);
            if (bits & taken) continue;
            taken |= bits;
            sigs.push_back({s.startBit, s.length, s.order});
        }
        const Message m = MakeMessage(sigs);
        const WordOrder order = round % 2 ? WordOrder::LowFirst : WordOrder::HighFirst;
        const MessagePlan plan = PlanMessage(m, CanMode::Can20A, order);
        std::vector<int> feeds(8, 0);
        for (const PlannedRegister& r : plan.registers)
            for (int b : {r.HighByte(), r.LowByte()})
                if (b >= 0) ++feeds[static_cast<std::size_t>(b)];
        for (int n : feeds) ASSERT_LE(n, 1) << Render(plan);

        std::vector<std::uint8_t> data(8);
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
        for (std::size_t i = 0; i < m.signalList.size(); ++i) {
            const Signal& s = m.signalList[i];
            const SignalPlan& p = plan.placements[i];
            if (p.refusal == Refusal::MixedByteOrder) continue;
            ASSERT_EQ(p.refusal, Refusal::None) << Render(plan);
            // Receive: registers from the data, the signal from the registers.
            std::vector<std::uint16_t> regs;
            for (int r = p.firstRegister; r < p.firstRegister + p.registerCount; ++r) {
                const PlannedRegister& reg = plan.registers[static_cast<std::size_t>(r)];
                const auto byte = [&](int b) { return b < 0 ? 0u : unsigned{data[static_cast<std::size_t>(b)]}; };
                regs.push_back(static_cast<std::uint16_t>(byte(reg.HighByte()) << 8 | byte(reg.LowByte())));
            }
            ASSERT_EQ(Joined(regs, order) >> p.shift & p.mask, ExtractBits(s, data)) << Render(plan) << " " << i;
            // Transmit: registers from the raw bits, the data from the registers.
            const std::uint64_t raw = rng() & LowBits(s.length);
            const std::uint64_t joined = raw << p.shift;
            std::vector<std::uint8_t> sent(8);
            for (int k = 0; k < p.registerCount; ++k) {
                const int w = order == WordOrder::HighFirst ? p.registerCount - 1 - k : k;
                const auto value = static_cast<std::uint16_t>(joined >> (16 * w));
                const PlannedRegister& reg = plan.registers[static_cast<std::size_t>(p.firstRegister + k)];
                if (reg.HighByte() >= 0) sent[static_cast<std::size_t>(reg.HighByte())] = static_cast<std::uint8_t>(value >> 8);
                if (reg.LowByte() >= 0) sent[static_cast<std::size_t>(reg.LowByte())] = static_cast<std::uint8_t>(value);
            }
            ASSERT_EQ(ExtractBits(s, sent), raw) << Render(plan) << " " << i;
        }
    }
}

TEST(RegisterPlan, RegisterHalvesAreNamedByTheBytesThatFeedThem) {
    EXPECT_EQ(RegisterHalvesText(PlannedRegister{MakePosComp(NibbleOfDataByte(0), NibbleOfDataByte(1))}),
              "high B1, low B2");
    EXPECT_EQ(RegisterHalvesText(PlannedRegister{MakePosComp(NibbleOfDataByte(-1), NibbleOfDataByte(7))}),
              "high none, low B8");
    EXPECT_EQ(PlannedRegister{18}.HighByte(), 0);  // PosComp 18 as the demo project stores it: B1, B2
    EXPECT_EQ(PlannedRegister{18}.LowByte(), 1);
}

}  // namespace
}  // namespace vestrel::signaldb

namespace vestrel::signaldb {
namespace {

// The demo drive's DBC describes the demo project's frames: its plan gives
// the registers of every frame the project maps, data bytes and Dimensin
// alike.
TEST(RegisterPlan, TheDemoDrivesDatabaseGivesTheDemoProjectsMapping) {
    const std::filesystem::path demo = VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo";
    const Database db = ReadDatabaseFile(VESTREL_EXAMPLES_DIR "/demo-drive.dbc");
    int frames = 0;
    for (FrameDirection direction : {FrameDirection::Receive, FrameDirection::Transmit}) {
        const FrameTableRead table = ReadFrameTable(demo, direction);
        FrameListRead list = LoadFrameList(demo, direction);
        ASSERT_FALSE(table.error || list.error || !LoadMappings(demo, direction, list.frames));
        for (std::size_t f = 0; f < list.frames.size(); ++f, ++frames) {
            const auto id = static_cast<std::uint32_t>(ParseIntegerText(list.frames[f].CobID, -1));
            const auto m = std::find_if(db.messages.begin(), db.messages.end(),
                                        [&](const Message& message) { return message.id == id && !message.extended; });
            ASSERT_NE(m, db.messages.end()) << list.frames[f].CobID;
            EXPECT_EQ(std::to_string(m->length), table.table.rows[f].Dimensin) << m->name;
            const MessagePlan plan = PlanMessage(*m, CanMode::Can20A, WordOrder::HighFirst);
            std::vector<std::string> planned, mapped;
            for (const PlannedRegister& r : plan.registers) planned.push_back(std::to_string(r.posComp));
            for (const TClIndMB& reg : list.frames[f].Registers) mapped.push_back(reg.PosComp);
            EXPECT_EQ(planned, mapped) << m->name;
        }
    }
    EXPECT_EQ(frames, 5);
}

}  // namespace
}  // namespace vestrel::signaldb
