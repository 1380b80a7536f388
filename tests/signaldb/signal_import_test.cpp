// The import's rules on projects and databases held in memory: which
// registers it assigns, which frames it reuses or adds, and what it refuses.
#include "signaldb/dbc_reader.h"
#include "signaldb/signal_import.h"
#include "signaldb/signal_removal.h"

#include <gtest/gtest.h>

namespace vestrel::signaldb {
namespace {

constexpr const char* kDbc = R"(BO_ 256 Speed: 4 ECU
 SG_ Rpm : 0|16@1+ (0.125,0) [0|8000] "rpm" GW
 SG_ Flags : 16|4@1+ (1,0) [0|15] "" GW
 SG_ Mode : 20|4@1+ (1,0) [0|15] "" GW
BO_ 512 Counter: 8 ECU
 SG_ Total : 7|32@0+ (1,0) [0|0] "" GW
 SG_ Temp : 32|8@1- (1,0) [-40|125] "C" GW
BO_ 1024 Mux: 3 ECU
 SG_ Sel M : 0|8@1+ (1,0) [0|0] "" GW
 SG_ A m1 : 8|16@1+ (1,0) [0|0] "" GW
BO_ 2566848641 Ext: 8 ECU
 SG_ E : 0|8@1+ (1,0) [0|0] "" GW
BO_ 1792 Fd: 8 ECU
 SG_ F : 0|8@1+ (1,0) [0|0] "" GW
BA_DEF_ BO_ "VFrameFormat" ENUM "StandardCAN","ExtendedCAN","StandardCAN_FD";
BA_ "VFrameFormat" BO_ 1792 2;
BA_ "GenMsgCycleTime" BO_ 256 100;
)";

const Database& Db() {
    static const Database db = ReadDbc(kDbc, "test.dbc");
    return db;
}

struct FrameSpec {
    std::string cobId;
    std::vector<std::pair<int, int>> rows;  // Index, PosComp
    std::string dimension = "8";
    std::string rtr = "N";
};

ProjectTables Project(std::vector<FrameSpec> receive, std::vector<FrameSpec> transmit = {},
                      CanMode mode = CanMode::Can20A) {
    ProjectTables p;
    p.mode = mode;
    for (auto [direction, specs] : {std::pair{FrameDirection::Receive, &receive}, std::pair{FrameDirection::Transmit, &transmit}}) {
        DirectionTables& t = p.Of(direction);
        t.frames.direction = direction;
        for (const FrameSpec& f : *specs) {
            t.frames.rows.push_back(FrameRow{f.cobId, f.dimension, f.rtr, "by hand"});
            t.mappings.emplace_back(f.cobId, static_cast<std::int32_t>(t.mappings.size() + 1));
            for (auto [index, posComp] : f.rows)
                t.mappings.back().Registers.push_back(TClIndMB{std::to_string(index), std::to_string(posComp)});
        }
    }
    return p;
}

struct Options {
    std::optional<std::int32_t> first;
    WordOrder order = WordOrder::HighFirst;
    bool prune = false;
    std::optional<std::int32_t> firstTransmit = std::nullopt;
};

struct Result {
    std::vector<std::string> lines, notes, refusals;
    std::optional<ImportOutcome> outcome;
};

Result Import(const ProjectTables& project, const std::string& receive, const std::string& transmit = "",
              Options options = {}, const Database& db = Db()) {
    Result r;
    try {
        ImportRequest request{{}, options.first, options.firstTransmit, options.order, options.prune};
        std::vector<std::string> refusals;
        if (!receive.empty()) request.picks.push_back(ResolveList(db, FrameDirection::Receive, receive, refusals));
        if (!transmit.empty()) request.picks.push_back(ResolveList(db, FrameDirection::Transmit, transmit, refusals));
        if (!refusals.empty()) throw ImportRefused(refusals);
        r.outcome = PlanImport(project, db, DatabaseSource{"test.dbc", std::string(64, 'a')}, request);
        for (const AssignedRegister& a : r.outcome->assigned)
            r.lines.push_back(RegisterLine(r.outcome->tables.signalFile, a.direction, a.index));
        r.notes = r.outcome->notes;
    } catch (const ImportRefused& e) {
        r.refusals = e.Reasons();
    }
    return r;
}

bool Contains(const std::vector<std::string>& texts, const std::string& part) {
    return std::any_of(texts.begin(), texts.end(), [&](const std::string& t) { return t.find(part) != std::string::npos; });
}

std::vector<FrameSpec> ManyFrames(int count) {
    std::vector<FrameSpec> frames;
    for (int i = 0; i < count; ++i) frames.push_back({std::to_string(0x600 + i), {}});
    return frames;
}

FrameSpec ManyRows(int count) {
    FrameSpec f{"0x7FF", {}};
    for (int i = 0; i < count; ++i) f.rows.emplace_back(1000 + i, 1);
    return f;
}

const std::string kRpm = "0x100 Speed, high B2, low B1: Rpm";
const std::string kBits = "0x100 Speed, high none, low B3: Flags (shift right 0, mask 0xF), Mode (shift right 4, mask 0xF)";
const std::string kTemp = "0x200 Counter, high none, low B5: Temp (the PLC sign-extends bit 7)";

// Each case: the project, the lists, the options, and what comes out: the
// assigned registers in order (plain), a refusal ("!" and a part of it) or
// a note ("~" and a part of it).
TEST(SignalImport, RulesOfTheImport) {
    const struct {
        const char* what;
        ProjectTables project;
        std::string receive, transmit;
        Options options;
        std::vector<std::string> expected;
    } cases[] = {
        {"an empty project numbers from 0; signals sharing a byte share its register", Project({}), "Speed", "", {},
         {"receive 0: " + kRpm, "receive 1: " + kBits, "~Speed (0x100): added as frame 0x100 (row 1 of RCobDef.xml)"}},
        {"one above the highest register of the direction", Project({{"0x7FF", {{20, 18}}}}, {{"0x7FE", {{40, 18}}}}),
         "Speed.Rpm", "Counter.Temp", {}, {"receive 21: " + kRpm, "transmit 41: " + kTemp}},
        {"transmit registers of a project without any start above the receive ones", Project({ManyRows(3)}, {}), "",
         "Speed", {}, {"transmit 1003: " + kRpm, "transmit 1004: " + kBits, "~transmit registers are numbered from 1003"}},
        {"both directions at once: transmit above receive", Project({}), "Counter", "Speed", {},
         {"receive 0: 0x200 Counter, high B1, low B2: Total (word 1 of 2, high word first)",
          "receive 1: 0x200 Counter, high B3, low B4: Total (word 2 of 2, high word first)", "receive 2: " + kTemp,
          "transmit 3: " + kRpm, "transmit 4: " + kBits}},
        {"numbers pass over those the other direction maps", Project({{"0x7FF", {{20, 18}}}}, {{"0x7FE", {{21, 18}}}}),
         "Speed", "", {}, {"receive 22: " + kRpm, "receive 23: " + kBits}},
        {"--first-transmit-register", Project({}), "Counter", "Speed", {std::nullopt, WordOrder::HighFirst, false, 100},
         {"receive 0: 0x200 Counter, high B1, low B2: Total (word 1 of 2, high word first)",
          "receive 1: 0x200 Counter, high B3, low B4: Total (word 2 of 2, high word first)", "receive 2: " + kTemp,
          "transmit 100: " + kRpm, "transmit 101: " + kBits}},
        {"a register given that the other direction maps", Project({}, {{"0x7FE", {{21, 18}}}}), "Speed.Rpm=21", "", {},
         {"receive 21: " + kRpm,
          "~register 21 (receive, Speed.Rpm) is also a transmit register: a Modbus master reads and writes the same "
          "address there"}},
        {"a CAN FD frame", Project({}), "Fd", "", {},
         {"!Fd (0x700): a CAN FD frame (VFrameFormat StandardCAN_FD): the gateway is a CAN 2.0 node and never takes "
          "it, whatever its length"}},
        {"from --first-register, high word first", Project({}), "Counter", "", {100},
         {"receive 100: 0x200 Counter, high B1, low B2: Total (word 1 of 2, high word first)",
          "receive 101: 0x200 Counter, high B3, low B4: Total (word 2 of 2, high word first)", "receive 102: " + kTemp}},
        {"low word first", Project({}), "Counter", "", {std::nullopt, WordOrder::LowFirst},
         {"receive 0: 0x200 Counter, high B3, low B4: Total (word 1 of 2, low word first)",
          "receive 1: 0x200 Counter, high B1, low B2: Total (word 2 of 2, low word first)", "receive 2: " + kTemp}},
        {"numbers in order pass over those given", Project({}), "Speed.Rpm=1,Counter", "", {},
         {"receive 1: " + kRpm, "receive 2: 0x200 Counter, high B1, low B2: Total (word 1 of 2, high word first)",
          "receive 3: 0x200 Counter, high B3, low B4: Total (word 2 of 2, high word first)", "receive 4: " + kTemp}},
        {"a given register numbers the signals sharing it", Project({}), "Speed.Mode=7,Speed.Flags", "", {},
         {"receive 7: " + kBits}},
        {"a reused frame keeps its Mnemonic", Project({{"256", {}, "4"}}), "Speed", "", {},
         {"receive 0: " + kRpm, "receive 1: " + kBits,
          "~Speed (0x100): mapped to frame 256 (row 1 of RCobDef.xml), Mnemonic \"by hand\" kept"}},
        {"multiplexed signals are left out of a whole message", Project({}), "Mux", "", {},
         {"receive 0: 0x400 Mux, high none, low B1: Sel", "~not imported: Mux.A: multiplexed (m1)"}},
        {"the banks' last mapping row", Project({ManyRows(2910)}), "Speed", "", {},
         {"receive 3910: " + kRpm, "receive 3911: " + kBits}},
        {"two registers for one group", Project({}), "Speed.Flags=5,Speed.Mode=6", "", {},
         {"!Speed.Flags and Speed.Mode share data bytes, and so their registers: give one of them a register"}},
        {"registers above 65535", Project({}), "Counter.Total=65535", "", {},
         {"!Counter.Total: register 65536 (receive) is above 65535, the highest the banks hold"}},
        {"one register given twice", Project({}), "Speed.Rpm=3,Counter.Temp=3", "", {},
         {"!register 3 (receive) would hold both Speed.Rpm and Counter.Temp"}},
        {"a register in use", Project({{"0x7FF", {{5, 18}}}}), "Speed", "", {4},
         {"!register 5 (receive) is already mapped to frame 0x7FF (row 1 of RCobDef.xml), PosComp 18: Speed.Flags "
          "cannot have it",
          "!the receive registers in use end at 5: --first-register 6 starts above them"}},
        {"a frame shorter than the signals", Project({{"0x100", {}, "2"}}), "Speed", "", {},
         {"!frame 0x100 (row 1 of RCobDef.xml) has Dimensin 2, and Speed (0x100) needs 3 data bytes"}},
        {"a hand-made row on the same bytes", Project({{"0x100", {{9, 1}}}}), "Speed", "", {},
         {"!register 9 already maps B1 of frame 0x100 (row 1 of RCobDef.xml), which the import maps to register 10 "
          "(Speed.Rpm)"}},
        {"a remote frame", Project({}, {{"0x100", {}, "8", "Y"}}), "", "Speed", {},
         {"!frame 0x100 (row 1 of TCobDef.xml) is a remote frame (RTR Y), which carries no data"}},
        {"two frames with the COB-ID", Project({{"0x100", {}}, {"256", {}}}), "Speed", "", {},
         {"!COB-ID 0x100 stands in rows 1, 2 of RCobDef.xml"}},
        {"a 29-bit id under CAN 2.0A", Project({}), "Ext", "", {},
         {"!Ext (0x18FF0081): a 29-bit id, and the project's CANType is 0 (CAN 2.0A, 11-bit COB-IDs)"}},
        {"an 11-bit id under CAN 2.0B", Project({}, {}, CanMode::Can20B), "Speed", "", {},
         {"!Speed (0x100): an 11-bit id, and the project's CANType selects CAN 2.0B, 29-bit COB-IDs"}},
        {"a multiplexed signal named", Project({}), "Mux.A", "", {}, {"!refused: Mux.A: multiplexed (m1)"}},
        {"names the database does not hold", Project({}), "Nope,Speed.Nope,Speed=3,Speed.Rpm=x", "", {},
         {"!--receive \"Nope\": no message \"Nope\" in test.dbc", "!--receive \"Speed.Nope\": no signal \"Nope\" in Speed",
          "!a register goes to a signal (MESSAGE.SIGNAL=REGISTER), not to a whole message",
          "!the register \"x\" is no number from 0 to 65535"}},
        {"more frames than the banks hold", Project(ManyFrames(250)), "Speed", "", {},
         {"!the receive direction would have 251 frames; the banks hold 250"}},
        {"more mapping rows than the banks hold", Project({}, {ManyRows(3720)}), "", "Speed", {},
         {"!the transmit direction would have 3722 mapping rows; the banks hold 3721"}},
    };
    for (const auto& c : cases) {
        const Result r = Import(c.project, c.receive, c.transmit, c.options);
        std::vector<std::string> lines;
        for (const std::string& e : c.expected) {
            if (e[0] == '!')
                EXPECT_TRUE(Contains(r.refusals, e.substr(1))) << c.what << ": " << e << "\n" << ::testing::PrintToString(r.refusals);
            else if (e[0] == '~')
                EXPECT_TRUE(Contains(r.notes, e.substr(1))) << c.what << ": " << e << "\n" << ::testing::PrintToString(r.notes);
            else
                lines.push_back(e);
        }
        EXPECT_EQ(r.lines, lines) << c.what << "\n" << ::testing::PrintToString(r.refusals);
        EXPECT_EQ(r.outcome.has_value(), r.refusals.empty()) << c.what;
    }
}

// Frames and rows as the import leaves them: a new frame after the others,
// rows on the right frame, nothing else touched.
TEST(SignalImport, NewFramesGoAfterTheOthersWithTheirRows) {
    const Result r = Import(Project({{"0x7FF", {{20, 18}}}}, {{"0x7FE", {}}}), "Speed", "Counter.Temp");
    ASSERT_TRUE(r.outcome) << ::testing::PrintToString(r.refusals);
    const DirectionTables& receive = r.outcome->tables.receive;
    ASSERT_EQ(receive.frames.rows.size(), 2u);
    EXPECT_EQ(receive.frames.rows[1], (FrameRow{"0x100", "4", "", "Speed"}));
    EXPECT_EQ(receive.mappings[1].Registers, (std::vector<TClIndMB>{{"21", "33"}, {"22", "3"}}));
    EXPECT_EQ(receive.mappings[0].Registers, (std::vector<TClIndMB>{{"20", "18"}}));
    EXPECT_EQ(r.outcome->tables.transmit.frames.rows[1], (FrameRow{"0x200", "8", "N", "Counter"}));
    EXPECT_TRUE(receive.changed && r.outcome->tables.transmit.changed && r.outcome->tables.signalFileChanged);
    ASSERT_EQ(r.outcome->tables.signalFile.messages.size(), 2u);
    EXPECT_TRUE(r.outcome->tables.signalFile.messages[0].newFrame);
    EXPECT_EQ(r.outcome->tables.signalFile.messages[0].cycleTimeMs, 100);
    EXPECT_EQ(r.outcome->tables.signalFile.messages[1].signalList[0].signBit, 7);
}

// A frame the user gave another COB-ID in the frame table keeps it when its
// message is imported again: the entry follows the frame, and remembers the
// database's COB-ID to find the frame by next time.
TEST(SignalImport, AFrameGivenAnotherCobIdKeepsIt) {
    const Result first = Import(Project({}), "Speed");
    ASSERT_TRUE(first.outcome);
    ProjectTables edited = first.outcome->tables;
    edited.receive.frames.rows[0].CobID = "0x155";
    for (int round = 0; round < 2; ++round) {
        const Result again = Import(edited, "Speed");
        ASSERT_TRUE(again.outcome) << ::testing::PrintToString(again.refusals);
        EXPECT_EQ(again.outcome->tables.receive.frames.rows.size(), 1u);
        EXPECT_EQ(again.outcome->tables.receive.frames.rows[0].CobID, "0x155");
        const ImportedMessage& entry = again.outcome->tables.signalFile.messages.at(0);
        EXPECT_EQ(entry.id, 0x155u);
        EXPECT_EQ(entry.databaseId, 0x100u);
        EXPECT_EQ(again.lines, (std::vector<std::string>{"receive 0: 0x155 Speed, high B2, low B1: Rpm",
                                                         "receive 1: 0x155 Speed, high none, low B3: Flags (shift "
                                                         "right 0, mask 0xF), Mode (shift right 4, mask 0xF)"}));
        EXPECT_TRUE(Contains(again.notes, "Speed (0x100): frame 0x155 (row 1 of RCobDef.xml) keeps its COB-ID, which "
                                          "test.dbc gives as 0x100"));
        edited = again.outcome->tables;
    }
}

// Importing a message again keeps its registers, whatever else changes, and
// adds the signals named now to those it had.
TEST(SignalImport, ImportingAgainUpdatesTheRowsInPlace) {
    Result first = Import(Project({}), "Speed.Rpm,Counter");
    ASSERT_TRUE(first.outcome);
    const Result again = Import(first.outcome->tables, "Counter,Speed.Mode", "", {std::nullopt, WordOrder::LowFirst});
    ASSERT_TRUE(again.outcome) << ::testing::PrintToString(again.refusals);
    EXPECT_EQ(again.lines, (std::vector<std::string>{
                               "receive 1: 0x200 Counter, high B3, low B4: Total (word 1 of 2, low word first)",
                               "receive 2: 0x200 Counter, high B1, low B2: Total (word 2 of 2, low word first)",
                               "receive 3: " + kTemp, "receive 0: " + kRpm,
                               "receive 4: 0x100 Speed, high none, low B3: Mode (shift right 4, mask 0xF)"}));
    const auto& frames = again.outcome->tables.receive.mappings;
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].Registers.size(), 3u);  // Counter's rows, once each
    EXPECT_EQ(again.outcome->tables.signalFile.messages.size(), 2u);
    EXPECT_EQ(std::count_if(again.outcome->assigned.begin(), again.outcome->assigned.end(),
                            [](const AssignedRegister& a) { return a.remapped; }),
              4);
}

// What an import from the same database finds gone: kept and said, or
// removed with prune, with the frame the import had added.
TEST(SignalImport, WhatLeftTheDatabaseIsKeptUnlessPruned) {
    const Result first = Import(Project({}), "Speed,Counter");
    ASSERT_TRUE(first.outcome);
    std::string text = kDbc;
    text.replace(text.find(" SG_ Mode"), text.find("BO_ 512") - text.find(" SG_ Mode"), "");
    text.replace(text.find("BO_ 512"), text.find("BO_ 1024") - text.find("BO_ 512"), "");
    const Database changed = ReadDbc(text, "test.dbc");

    const Result kept = Import(first.outcome->tables, "Speed.Rpm", "", {}, changed);
    ASSERT_TRUE(kept.outcome) << ::testing::PrintToString(kept.refusals);
    EXPECT_TRUE(Contains(kept.notes, "Counter (0x200, receive) is no longer in test.dbc: registers 2, 3, 4 kept "
                                     "(--prune removes them)"));
    EXPECT_TRUE(Contains(kept.notes, "Speed.Mode is no longer in test.dbc: removed, its register 1 now holds Speed.Flags"));
    EXPECT_EQ(kept.outcome->tables.receive.frames.rows.size(), 2u);

    const Result pruned = Import(first.outcome->tables, "Speed.Rpm", "", {std::nullopt, WordOrder::HighFirst, true}, changed);
    ASSERT_TRUE(pruned.outcome);
    EXPECT_TRUE(Contains(pruned.notes, "Counter (0x200, receive) is no longer in test.dbc: removed, with registers 2, 3, 4"));
    EXPECT_TRUE(Contains(pruned.notes, "frame 0x200 (row 2 of RCobDef.xml) removed"));
    EXPECT_EQ(pruned.outcome->tables.receive.frames.rows.size(), 1u);
    EXPECT_EQ(pruned.outcome->tables.receive.MappingCount(), 2u);
    EXPECT_EQ(pruned.lines, (std::vector<std::string>{"receive 0: " + kRpm,
                                                      "receive 1: 0x100 Speed, high none, low B3: Flags (shift right "
                                                      "0, mask 0xF)"}));
}

// remove-signals: a signal sharing its register leaves the register to the
// others; the last one takes the rows, and the frame the import added.
TEST(SignalImport, RemovalTakesRowsAndAddedFramesWithTheLastSignal) {
    Result imported = Import(Project({{"0x7FF", {{20, 18}}}}), "Speed");
    ASSERT_TRUE(imported.outcome);
    ProjectTables tables = imported.outcome->tables;
    RemovalLog log = RemoveSignals(tables, {"Speed.Mode"});
    EXPECT_TRUE(log.registers.empty());
    EXPECT_EQ(tables.receive.MappingCount(), 3u);
    log = RemoveSignals(tables, {"Speed.Flags", "Speed"});
    ASSERT_EQ(log.registers.size(), 2u);
    EXPECT_EQ(log.registers[0].line, "receive 21: " + kRpm);
    EXPECT_EQ(tables.receive.frames.rows.size(), 1u);
    EXPECT_TRUE(tables.signalFile.messages.empty());
    EXPECT_THROW(RemoveSignals(tables, {"Speed"}), ImportRefused);

    // A frame the user had keeps standing.
    imported = Import(Project({{"0x100", {}}}), "Speed");
    tables = imported.outcome->tables;
    RemoveSignals(tables, {"Speed"});
    EXPECT_EQ(tables.receive.frames.rows.size(), 1u);
    EXPECT_EQ(tables.receive.MappingCount(), 0u);
}

}  // namespace
}  // namespace vestrel::signaldb
