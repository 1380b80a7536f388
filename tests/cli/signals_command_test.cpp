#include "cli/cli.h"

#include "support/cli_run.h"
#include "support/temp_dir.h"

#include <sstream>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using namespace test;

using Result = test::CliRun;
using test::Cli;

const std::string kDemoDbc = VESTREL_EXAMPLES_DIR "/demo-drive.dbc";
const std::string kNodeEds = VESTREL_EXAMPLES_DIR "/io-node.eds";

bool Has(const std::string& text, const std::string& line) { return text.find(line + "\n") != std::string::npos; }

TEST(CliSignals, ListsEveryMessageAndSignalWithWhatTheImportMakesOfIt) {
    const Result r = Cli({"signals", kDemoDbc});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.err, "");
    for (const char* line : {
             "0x181 DriveStatus: 8 data bytes, 11-bit id, every 100 ms, from Drive: 4 registers",
             "  MotorCurrent: 39|16 Motorola signed, raw × 0.1 A, -300.0..300.0: 1 register (high B5, low B6)",
             "  WindingTemperature: 7|16 Motorola signed, raw °C, -40..200: 1 register (high B1, low B2)",
             "  DCLinkVoltage: 4|12 Intel unsigned, raw × 0.1 V, 0.0..409.5: 1 register (high B2, low B1), shift "
             "right 4, mask 0xFFF",
             "  HeatsinkTemperature: 16|8 Intel signed, raw °C, -40..125: 1 register (high none, low B3); the PLC "
             "sign-extends bit 7",
             "  OperatingHours: 32|32 Intel unsigned, raw × 0.1 h, 0.0..429496729.5: 2 registers (high B8, low B7) "
             "(high B6, low B5); a PLC writing it writes both in one function 16 request",
             "  RampUpTime: 8|16 Intel unsigned, raw × 0.01 s, 0.00..655.35: refused: multiplexed (m1): the gateway "
             "has no multiplexer, every frame with id 0x581 feeds the same registers",
             "0x18FF0081 ExtendedStatus: 8 data bytes, 29-bit id, from Drive: 2 registers",
             "20 signals: 12 in one register, 2 in two or more, 4 with shift and mask, 2 refused",
         })
        EXPECT_TRUE(Has(r.out, line)) << line << "\n" << r.out;
    const Result low = Cli({"signals", kDemoDbc, "--word-order", "low-first"});
    EXPECT_TRUE(Has(low.out, "  OperatingHours: 32|32 Intel unsigned, raw × 0.1 h, 0.0..429496729.5: 2 registers "
                             "(high B6, low B5) (high B8, low B7); a PLC writing it writes both in one function 16 "
                             "request"))
        << low.out;
    EXPECT_TRUE(Has(low.out, "Registers are listed per message in the order the import numbers them, low word first."));
}

TEST(CliSignals, CanopenNodesNeedTheirNodeId) {
    const Result r = Cli({"signals", kNodeEds, "--node", "0x05"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_TRUE(Has(r.out, kNodeEds + ": EDS, node 5, 5 messages, 8 signals")) << r.out;
    EXPECT_TRUE(Has(r.out, "0x185 TPDO1 (the gateway receives it): 3 data bytes, 11-bit id, COB-ID from DefaultValue "
                           "with node 5 (line 230), every 100 ms: 3 registers"));
    EXPECT_TRUE(Has(r.out, "0x385 TPDO3 (the gateway receives it): 2 data bytes, 11-bit id, COB-ID from DefaultValue "
                           "with node 5 (line 336): refused: the PDO is disabled (bit 31 of its COB-ID is set)"));
    EXPECT_TRUE(Has(r.out, "  Analog output 1: 0|16 Intel signed, raw: 1 register (high B2, low B1)"));

    const Result without = Cli({"signals", kNodeEds});
    EXPECT_EQ(without.status, kExitUsage);
    EXPECT_EQ(without.out, "");
    EXPECT_NE(without.err.find("io-node.eds:230: the value \"$NODEID+0x180\" depends on the node id ($NODEID); give "
                               "the node id with --node N"),
              std::string::npos)
        << without.err;
}

TEST(CliSignals, WhatIsRefusedSaysWhy) {
    TempDir dir;
    WriteFile(dir / "broken.dbc", "VERSION \"\"\nBO_ 1 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\x1B[31m\" B\nBO_ 1 N: 8 A\n");
    WriteFile(dir / "escape.dbc", "BO_ 1 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\x1B[31m\" B\n");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
    } kCases[] = {
        {{"signals", kNodeEds, "--node", "128"}, kExitUsage, "--node takes a CANopen node id, 1 to 127, not '128'"},
        {{"signals", kNodeEds, "--node", "five"}, kExitUsage, "--node takes a CANopen node id, 1 to 127, not 'five'"},
        {{"signals", kDemoDbc, "--word-order", "middle"}, kExitUsage,
         "--word-order takes high-first or low-first, not 'middle'"},
        {{"signals"}, kExitUsage,
         "usage: vestrel-cli signals DATABASE [--node N] [--node-cob-ids] [--word-order high-first|low-first] "
         "[--strict]"},
        {{"signals", (dir / "broken.dbc").string()}, kExitFailed,
         (dir / "broken.dbc").string() + ":4: message id 0x1 is defined twice: M on line 2 and N here"},
        {{"signals", (dir / "none.dbc").string()}, kExitFailed, (dir / "none.dbc").string()},
        {{"signals", (dir / "broken.txt").string()}, kExitFailed,
         (dir / "broken.txt").string() + ": not a CAN database: the name ends in .dbc, .eds or .dcf"},
    };
    for (const auto& c : kCases) {
        const Result r = Cli(c.args);
        EXPECT_EQ(r.status, c.status) << c.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    const Result note = Cli({"signals", kDemoDbc, "--node", "5"});
    EXPECT_EQ(note.status, kExitOk);
    EXPECT_EQ(note.err, "vestrel-cli: note: a DBC has no node id; --node is not used\n");
    const Result escaped = Cli({"signals", (dir / "escape.dbc").string()});
    EXPECT_TRUE(Has(escaped.out, "  S: 0|8 Intel unsigned, raw \\x1B[31m: 1 register (high none, low B1)"))
        << escaped.out;
}

// A statement that cannot be read: skipped with a note naming its line and
// what is lost, its message refused where it defines one; --strict refuses
// the whole file as before.
TEST(CliSignals, BrokenStatementsAreSkippedWithANoteOrRefuseTheFileWithStrict) {
    TempDir dir;
    const std::filesystem::path dbc = dir / "vehicle.dbc";
    WriteFile(dbc, "VERSION \"\"\nBU_: A\n  B\nBO_ 1 Good: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" B\n"
                   "BO_ 2 Broken: 8 A\n SG_ T m : 0|8@1+ (1,0) [0|0] \"\" B\n"
                   "CM_ BO_ 1 \"no end\"\nBA_ \"GenMsgCycleTime\" BO_ 1 20;\n");
    const Result r = Cli({"signals", dbc.string()});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_TRUE(Has(r.out, "0x1 Good: 8 data bytes, 11-bit id, every 20 ms, from A: 1 register")) << r.out;
    EXPECT_TRUE(Has(r.out, "0x2 Broken: 8 data bytes, 11-bit id, from A: refused: the definition of signal T on "
                           "line 7 cannot be read: 'm' is not a multiplexing mark (M, or m followed by a number)"))
        << r.out;
    EXPECT_EQ(r.err, "vestrel-cli: note: " + dbc.string() +
                         ":7: message Broken refused: signal T: 'm' is not a multiplexing mark (M, or m followed by a "
                         "number)\n"
                         "vestrel-cli: note: " + dbc.string() +
                         ":8: CM_ skipped, a comment is lost: the CM_ statement does not end with ';'\n");
    const Result strict = Cli({"signals", dbc.string(), "--strict"});
    EXPECT_EQ(strict.status, kExitFailed);
    EXPECT_EQ(strict.err, "vestrel-cli: " + dbc.string() +
                              ":7: 'm' is not a multiplexing mark (M, or m followed by a number)\n");
}

// With a ParameterValue that ignores the node id, the listing says so and
// --node-cob-ids takes the id the node id gives.
TEST(CliSignals, ACobIdSaysWhereItComesFrom) {
    TempDir dir;
    std::string eds = ReadFile(kNodeEds);
    const std::string from = "[1800sub1]";
    const auto at = eds.find("DefaultValue=", eds.find(from));
    eds.insert(eds.find('\n', at) + 1, "ParameterValue=0x1A0\n");
    WriteFile(dir / "drive.dcf", eds);
    const Result r = Cli({"signals", (dir / "drive.dcf").string(), "--node", "5"});
    EXPECT_NE(r.out.find("0x1A0 TPDO1 (the gateway receives it): 3 data bytes, 11-bit id, COB-ID from ParameterValue "
                         "(line 231), which node 5 does not change: its DefaultValue gives 0x185 (--node-cob-ids takes "
                         "that)"),
              std::string::npos)
        << r.out;
    const Result taken = Cli({"signals", (dir / "drive.dcf").string(), "--node", "5", "--node-cob-ids"});
    EXPECT_NE(taken.out.find("0x185 TPDO1 (the gateway receives it): 3 data bytes, 11-bit id, COB-ID from "
                             "DefaultValue with node 5 (line 230); ParameterValue gives 0x1A0"),
              std::string::npos)
        << taken.out;
}

}  // namespace
}  // namespace vestrel
