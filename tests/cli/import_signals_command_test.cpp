#include "cli/cli.h"

#include "support/cli_run.h"
#include "support/temp_dir.h"

#include <sstream>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using namespace test;
namespace fs = std::filesystem;

using Result = test::CliRun;
using test::Cli;

const std::string kDemoDbc = VESTREL_EXAMPLES_DIR "/demo-drive.dbc";
const std::string kNodeEds = VESTREL_EXAMPLES_DIR "/io-node.eds";

std::string DemoCopy(const TempDir& dir) {
    fs::copy(VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo", dir / "Demo");
    return (dir / "Demo").string();
}

std::map<std::string, std::string> Files(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) files[entry.path().filename()] = ReadFile(entry.path());
    return files;
}

const std::string kAssigned =
    "receive 21: 0x481 DriveDiagnostics, high B2, low B1: Ready (shift right 0, mask 0x1), Fault (shift right 1, "
    "mask 0x1), Warning (shift right 2, mask 0x1), DCLinkVoltage (shift right 4, mask 0xFFF)\n"
    "receive 22: 0x481 DriveDiagnostics, high none, low B3: HeatsinkTemperature (the PLC sign-extends bit 7)\n"
    "receive 23: 0x481 DriveDiagnostics, high B8, low B7: OperatingHours (word 1 of 2, high word first)\n"
    "receive 24: 0x481 DriveDiagnostics, high B6, low B5: OperatingHours (word 2 of 2, high word first)\n"
    "receive 25: 0x581 DriveParameters, high none, low B1: ParameterIndex\n";

TEST(CliImportSignals, PrintsEachRegisterAndWritesOnlyWithoutDryRun) {
    TempDir dir;
    const std::string project = DemoCopy(dir);
    const auto before = Files(project);
    const std::vector<std::string> args = {"import-signals", project, kDemoDbc, "--receive", "DriveDiagnostics,DriveParameters"};

    std::vector<std::string> dry = args;
    dry.push_back("--dry-run");
    Result r = Cli(dry);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kAssigned + "Would assign 5 registers, high word first; nothing was written (--dry-run).\n");
    EXPECT_NE(r.err.find("vestrel-cli: note: not imported: DriveParameters.RampUpTime: multiplexed (m1)"), std::string::npos) << r.err;
    EXPECT_EQ(Files(project), before);

    r = Cli(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kAssigned + "Assigned 5 registers, high word first.\n");
    EXPECT_TRUE(fs::exists(fs::path(project) / "signals.xml"));
    r = Cli({"check", project});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("signals.xml"), std::string::npos) << r.out;

    r = Cli({"remove-signals", project, "DriveParameters", "DriveDiagnostics.Ready"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "receive 25: 0x581 DriveParameters, high none, low B1: ParameterIndex\nRemoved 1 register.\n");
    EXPECT_NE(r.err.find("note: frame 0x581 (row 5 of RCobDef.xml) removed"), std::string::npos) << r.err;
    r = Cli({"remove-signals", project, "DriveDiagnostics"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto after = Files(project);
    for (const char* name : {"TCobDef.xml", "TInfoCob.xml", "pargen.xml"})  // never written
        EXPECT_EQ(after.at(name), before.at(name)) << name;
    for (const char* name : {"RCobDef.xml", "RInfoCob.xml"}) {
        std::string old = before.at(name);
        if (old.back() == '\n') old.pop_back();  // the example files end with a line break; written files do not
        EXPECT_EQ(after.at(name), old) << name;
    }
    EXPECT_EQ(after.at("signals.xml"), "<Signals Version=\"2\"/>");
}

TEST(CliImportSignals, RefusesWithTheReasonAndWritesNothing) {
    TempDir dir;
    const std::string project = DemoCopy(dir);
    const auto before = Files(project);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {{project, kDemoDbc}, 2, "nothing to import: give --receive LIST, --transmit LIST or both"},
        {{project, kDemoDbc, "--receive", "AlarmWord", "--first-register", "70000"}, 2,
         "--first-register takes a register number, 0 to 65535, not '70000'"},
        {{project, kDemoDbc, "--transmit", "ControlWord", "--word-order", "middle"}, 2, "--word-order takes high-first"},
        {{project, kDemoDbc, "--receive", "DriveStatus"}, 1,
         "vestrel-cli: register 1 already maps B1, B2 of frame 0x181 (row 1 of RCobDef.xml), which the import maps "
         "to register 21 (DriveStatus.StatusWord)\n"},
        {{project, kDemoDbc, "--receive", "ExtendedStatus,AlarmWord.Nope"}, 1,
         "--receive \"AlarmWord.Nope\": no signal \"Nope\" in AlarmWord\nvestrel-cli: nothing was written\n"},
        {{project, kNodeEds, "--receive", "TPDO1"}, 2, "give the node id with --node N"},
        {{project, kNodeEds, "--node", "5", "--transmit", "TPDO1"}, 1,
         "TPDO1 is a frame the gateway receives: list it under --receive"},
        {{(dir / "none").string(), kDemoDbc, "--receive", "AlarmWord"}, 1, "Project folder"},
        {{dir.path().string(), kDemoDbc, "--receive", "AlarmWord"}, 1, "\" is not a project: it holds none of"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"import-signals"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result r = Cli(args);
        EXPECT_EQ(r.status, c.status) << c.says << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    const Result r = Cli({"remove-signals", project, "AlarmWord"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\"AlarmWord\": no message or signal of that name in signals.xml"), std::string::npos) << r.err;
    EXPECT_EQ(Files(project), before);
}

// "New project" leaves a folder with an empty bin and no project file: an
// import may start it, whereas a folder with anything else in it is no project.
TEST(CliImportSignals, StartsAProjectThatNewProjectHasJustMade) {
    TempDir dir;
    fs::create_directories(dir / "Fresh" / "bin");
    Result r = Cli({"import-signals", (dir / "Fresh").string(), kDemoDbc, "--receive", "DriveStatus"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "Fresh" / "RCobDef.xml"));
    EXPECT_EQ(Cli({"check", (dir / "Fresh").string()}).status, 0);

    fs::create_directories(dir / "Other" / "bin");
    WriteFile(dir / "Other" / "bin" / "bank1.bin", "x");
    r = Cli({"import-signals", (dir / "Other").string(), kDemoDbc, "--receive", "DriveStatus"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is not a project"), std::string::npos) << r.err;
}

// What the PLC does with a signal's registers has one home: the listing,
// the import's lines, signals.xml and the register map all say that a
// signed 16-bit signal from bit 4 is shifted, masked and sign-extended.
TEST(CliImportSignals, ThePlcStepsAreTheSameInEveryPlace) {
    TempDir dir;
    const std::string project = DemoCopy(dir);
    const fs::path dbc = dir / "shifted.dbc";
    WriteFile(dbc, "BO_ 1025 Shifted: 3 Drive\n SG_ Torque : 4|16@1- (1,0) [-32768|32767] \"Nm\" GW\n");
    const std::string steps = "shift right 4, mask 0xFFFF; the PLC sign-extends bit 15";
    const Result listed = Cli({"signals", dbc.string()});
    const Result imported = Cli({"import-signals", project, dbc.string(), "--receive", "Shifted"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    const Result report = Cli({"report", project, "--format", "md"});
    for (const Result* r : {&listed, &imported, &report}) EXPECT_NE(r->out.find(steps), std::string::npos) << r->out;
    EXPECT_NE(ReadFile(fs::path(project) / "signals.xml").find("Type=\"signed\" SignBit=\"15\""), std::string::npos);
}

// A project that receives and transmits: new transmit registers start above
// the receive ones, and check says where one address is read and written.
TEST(CliImportSignals, NoAddressIsBothReadAndWrittenUnlessTheUserSaysSo) {
    TempDir dir;
    const fs::path project = dir / "Drive";
    fs::create_directory(project);
    fs::copy_file(VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo/pargen.xml", project / "pargen.xml");
    Result r = Cli({"import-signals", project.string(), kDemoDbc, "--receive", "DriveStatus", "--transmit", "ControlWord"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("transmit 4: 0x301 ControlWord"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("note: transmit registers are numbered from 4, above every receive register"),
              std::string::npos)
        << r.err;
    r = Cli({"check", project.string()});
    EXPECT_EQ((r.out + r.err).find("warning:"), std::string::npos) << r.out << r.err;
    r = Cli({"import-signals", project.string(), kDemoDbc, "--transmit", "SpeedSetpoint.SpeedSetpoint=2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("register 2 (transmit, SpeedSetpoint.SpeedSetpoint) is also a receive register"),
              std::string::npos)
        << r.err;
    r = Cli({"check", project.string()});
    EXPECT_NE(r.out.find("register 2 (frame 0x201) is also a receive register (frame 0x181, row 3 of RInfoCob.xml): "
                         "a Modbus master reads and writes the same address there"),
              std::string::npos)
        << r.out;
}

// A signals.xml lost (deleted) or damaged (moved away after the refusal):
// the same import refuses the rows it finds, naming the way back, and with
// --adopt-rows takes them back with their numbers, so that the project's
// mapping is byte for byte what it was and a removal takes the rows again.
TEST(CliImportSignals, ALostSignalFileIsTakenBackByImportingAgain) {
    TempDir dir;
    const fs::path project = dir / "Drive";
    fs::create_directory(project);
    fs::copy_file(VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo/pargen.xml", project / "pargen.xml");
    const std::vector<std::string> import = {"import-signals", project.string(), kDemoDbc, "--receive",
                                             "DriveStatus,DriveDiagnostics", "--transmit", "ControlWord"};
    ASSERT_EQ(Cli(import).status, 0);
    const auto imported = Files(project);
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "damaged" : "lost");
        if (damaged) {
            WriteFile(project / "signals.xml", "<Signals Version=\"1\"><Message");
            const Result refused = Cli(import);
            EXPECT_EQ(refused.status, 1);
            EXPECT_NE(refused.err.find("move it away and import the same messages with --adopt-rows"), std::string::npos)
                << refused.err;
        }
        fs::remove(project / "signals.xml");
        Result r = Cli(import);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("register 0 already maps B1, B2 of frame 0x181"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("signals.xml has lost it, --adopt-rows takes the rows"), std::string::npos) << r.err;
        std::vector<std::string> adopt = import;
        adopt.push_back("--adopt-rows");
        r = Cli(adopt);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("DriveStatus (0x181): the rows of registers 0, 1, 2, 3 in frame 0x181"), std::string::npos)
            << r.err;
        const auto again = Files(project);
        for (const char* file : {"RCobDef.xml", "RInfoCob.xml", "TCobDef.xml", "TInfoCob.xml"})
            EXPECT_EQ(again.at(file), imported.at(file)) << file;
        EXPECT_TRUE(again.count("signals.xml"));
    }
    // The import's record is whole again: the removal takes every row it had made.
    const Result removed = Cli({"remove-signals", project.string(), "DriveStatus", "DriveDiagnostics", "ControlWord"});
    ASSERT_EQ(removed.status, 0) << removed.err;
    EXPECT_EQ(ReadFile(project / "RInfoCob.xml").find("Index="), std::string::npos) << ReadFile(project / "RInfoCob.xml");
}

}  // namespace
}  // namespace vestrel
