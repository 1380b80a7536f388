// Physical values where registers are shown: preview of frames and of
// typed signal values, and replay's signal rows, on a project the demo
// drive's database was imported into.
#include "cli/cli.h"

#include "platform/file_util.h"
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

// A project of the demo's settings with the drive's status, diagnostics and
// alarm frames received and its set point and control word transmitted.
std::string DriveProject(const TempDir& dir) {
    const fs::path project = dir / "Drive";
    fs::create_directory(project);
    fs::copy_file(VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo/pargen.xml", project / "pargen.xml");
    fs::copy_file(VESTREL_EXAMPLES_DIR "/demo-drive.dbc", dir / "demo-drive.dbc");
    const Result r = Cli({"import-signals", project.string(), (dir / "demo-drive.dbc").string(), "--receive",
                          "DriveStatus,DriveDiagnostics,AlarmWord", "--transmit", "SpeedSetpoint,ControlWord"});
    EXPECT_EQ(r.status, 0) << r.err;
    return project.string();
}

TEST(CliPhysicalValues, PreviewShowsEachSignalOnItsFirstRegisterWhole) {
    TempDir dir;
    const std::string project = DriveProject(dir);
    const Result r = Cli({"preview", project, "181#0004FE0C0FA0FF38", "481#F312D70100000100", "481#F312", "381#0002"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "181#0004FE0C0FA0FF38: receive frame 1 \"DriveStatus\" (COB-ID 0x181, Dimensin 8)\n"
              "  register 0 = 0x0004 (high byte B1, low byte B2): StatusWord = 4\n"
              "  register 1 = 0xFE0C (high byte B3, low byte B4): ActualSpeed = -500 rpm\n"
              "  register 2 = 0x0FA0 (high byte B5, low byte B6): MotorCurrent = 400.0 A\n"
              "  register 3 = 0xFF38 (high byte B7, low byte B8): ActualTorque = -20.0 %\n"
              "481#F312D70100000100: receive frame 2 \"DriveDiagnostics\" (COB-ID 0x481, Dimensin 8)\n"
              "  register 4 = 0x12F3 (high byte B2, low byte B1): Ready = 1, Fault = 1, Warning = 0, "
              "DCLinkVoltage = 30.3 V\n"
              "  register 5 = 0x--D7 (high byte not fed by this frame, low byte B3): HeatsinkTemperature = -41 \xC2\xB0"
              "C\n"
              "  register 6 = 0x0001 (high byte B8, low byte B7): OperatingHours = 6553.6 h\n"
              "  register 7 = 0x0000 (high byte B6, low byte B5)\n"
              // A short frame: what it does not carry is not known.
              "481#F312: receive frame 2 \"DriveDiagnostics\" (COB-ID 0x481, Dimensin 8)\n"
              "  the frame carries 2 data bytes, Dimensin is 8\n"
              "  register 4 = 0x12F3 (high byte B2, low byte B1): Ready = 1, Fault = 1, Warning = 0, "
              "DCLinkVoltage = 30.3 V\n"
              "  register 5 = 0x---- (high byte not fed by this frame, low byte B3: not in the frame's 2 data bytes): "
              "HeatsinkTemperature = ?\n"
              "  register 6 = 0x---- (high byte B8: not in the frame's 2 data bytes, low byte B7: not in the frame's 2 "
              "data bytes): OperatingHours = ?\n"
              "  register 7 = 0x---- (high byte B6: not in the frame's 2 data bytes, low byte B5: not in the frame's 2 "
              "data bytes)\n"
              "381#0002: receive frame 3 \"AlarmWord\" (COB-ID 0x381, Dimensin 2)\n"
              "  register 8 = 0x0002 (high byte B1, low byte B2): Alarm = 2 \"overvoltage\"\n");
}

TEST(CliPhysicalValues, PreviewSignalsGivesTheTransmitFramesOrSaysWhyNot) {
    TempDir dir;
    const std::string project = DriveProject(dir);
    Result r = Cli({"preview", project, "--signals", "SpeedSetpoint = -1500, ControlWord=15 AccelerationRamp=0.4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("(COB-ID 0x201, Dimensin 8): FA 24 00 00 -- -- -- --\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  signals: SpeedSetpoint = -1500 rpm, AccelerationRamp = 0 rpm/s\n"), std::string::npos);
    EXPECT_NE(r.out.find("  as a frame: 301#000F\n  signals: ControlWord = 15 \"enable operation\"\n"),
              std::string::npos);

    // Typed values over registers typed as numbers: the signal's bits win.
    r = Cli({"preview", project, "--registers", "2=0xFF00", "--signals", "ControlWord=1"});
    EXPECT_NE(r.out.find("as a frame: 301#0001"), std::string::npos) << r.out;

    const struct {
        std::string list;
        int status;
        std::string err;
    } refused[] = {
        {"AccelerationRamp=12000", 0, "vestrel-cli: warning: the value 12000 of AccelerationRamp is outside its range 0..10000 rpm/s\n"},
        {"SpeedSetpoint=40000", 1, "vestrel-cli: the value 40000 of SpeedSetpoint is outside what its 16 bits hold (-32768 to 32767)\n"},
        {"SpeedSetpoint=fast", 1, "vestrel-cli: the value 'fast' of SpeedSetpoint is not a number\n"},
        {"Speed=1", 1, "vestrel-cli: no imported transmit signal is named Speed\n"},
        {"MotorCurrent=1", 1, "vestrel-cli: MotorCurrent is a signal of a frame the gateway receives, not one it transmits\n"},
        {"SpeedSetpoint=1,SpeedSetpoint=2", 2, "vestrel-cli: SpeedSetpoint is given twice\nTry 'vestrel-cli --help'.\n"},
    };
    for (const auto& c : refused) {
        r = Cli({"preview", project, "--signals", c.list});
        EXPECT_EQ(r.status, c.status) << c.list;
        EXPECT_EQ(r.err, c.err) << c.list;
    }

    // Without signals.xml the option has nothing to go by.
    fs::remove(fs::path(project) / "signals.xml");
    r = Cli({"preview", project, "--signals", "ControlWord=1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vestrel-cli: --signals needs a project with imported signals (signals.xml)\n");
}

TEST(CliPhysicalValues, ReplaySignalsWritesARowPerChangeOfAValue) {
    TempDir dir;
    const std::string project = DriveProject(dir);
    const fs::path log = dir / "bus.log";
    WriteFile(log,
              "(1.000000) can0 181#0004FE0C0FA0FF38\n"
              "(1.100000) can0 181#0004FE0C0FA1FF38\n"  // MotorCurrent only
              "(1.200000) can0 181#0004FE0C0FA1FF38\n"  // nothing changes
              "(1.300000) can0 481#F31200\n"            // short: OperatingHours stays unknown
              "(1.400000) can0 381#0001\n");
    const Result r = Cli({"replay", project, log.string(), "--signals"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "time,signal,value,unit,frame,cob_id\n"
              "1.000000,StatusWord,4,,1,0x181\n"
              "1.000000,ActualSpeed,-500,rpm,1,0x181\n"
              "1.000000,MotorCurrent,400.0,A,1,0x181\n"
              "1.000000,ActualTorque,-20.0,%,1,0x181\n"
              "1.100000,MotorCurrent,400.1,A,1,0x181\n"
              "1.300000,Ready,1,,2,0x481\n"
              "1.300000,Fault,1,,2,0x481\n"
              "1.300000,Warning,0,,2,0x481\n"
              "1.300000,DCLinkVoltage,30.3,V,2,0x481\n"
              "1.300000,HeatsinkTemperature,0,\xC2\xB0"
              "C,2,0x481\n"
              "1.400000,Alarm,1,,3,0x381\n");
}

TEST(CliPhysicalValues, TheReportSaysWhatEachRegisterMeans) {
    TempDir dir;
    const std::string project = DriveProject(dir);
    Result r = Cli({"report", project, "--format", "md"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* line : {
             "### Receive signals\n\n| Register | Signal | Message | Bits | Scaling | Range | Values | Comment |\n",
             "| 2 | MotorCurrent | DriveStatus | 39\\|16 Motorola signed | raw \xC3\x97 0.1 A | -300.0..300.0 A |  | "
             "Motor current, positive when driving. |\n",
             "| 4 | DCLinkVoltage | DriveDiagnostics | 4\\|12 Intel unsigned; shift right 4, mask 0xFFF | raw \xC3\x97 "
             "0.1 V | 0.0..409.5 V |",
             "| 5 | HeatsinkTemperature | DriveDiagnostics | 16\\|8 Intel signed; the PLC sign-extends bit 7 |",
             "| 6, 7 (high word first) | OperatingHours |",
             "| 8 | Alarm | AlarmWord | 7\\|16 Motorola unsigned | raw | 0..65535 | 0 = no alarm; 1 = overcurrent; 2 = "
             "overvoltage; 4 = overtemperature |",
             "### Transmit signals\n",
         })
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;

    r = Cli({"report", project, "--format", "csv"});
    EXPECT_EQ(r.out.substr(0, r.out.find('\n', r.out.find('\n') + 1) + 1),
              "direction,register,frame,cob_id,mnemonic,high_byte,low_byte,signal,scaling,unit,range,comment\n"
              "receive,0,1,0x181,DriveStatus,B1,B2,StatusWord,raw,,0..65535,\n");
    EXPECT_NE(r.out.find("receive,4,2,0x481,DriveDiagnostics,B2,B1,Ready; Fault; Warning; DCLinkVoltage,raw; raw; raw; "
                         "raw \xC3\x97 0.1 V,; ; ; V,0..1; 0..1; 0..1; 0.0..409.5,\"; ; ; DC link voltage in 0.1 V, bits 4 to 15.\"\n"),
              std::string::npos)
        << r.out;
}

}  // namespace
}  // namespace vestrel
