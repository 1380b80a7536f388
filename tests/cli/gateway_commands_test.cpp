#include "cli/cli.h"

#include "compiler/project_builder.h"
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

const std::string kDemo = VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo";
const std::string kDemoLog = VESTREL_EXAMPLES_DIR "/demo-bus.log";

// Two receive frames with COB-ID 0x181, "old" feeding register 1 and "new"
// register 2, under the CANType given.
void WriteDuplicateCobIdProject(const fs::path& dir, const char* canType) {
    WritePargen(dir, With(DefaultSettings(), "CANType", canType));
    WriteRows(dir / "RCobDef.xml", "COBID",
              {R"(CobID="0x181" Dimensin="2" Mnemonic="old")", R"(CobID="0x181" Dimensin="2" Mnemonic="new")"});
    WriteRows(dir / "RInfoCob.xml", "RInfoCob",
              {R"(Index="1" NrPdo="1" PosComp="18")", R"(Index="2" NrPdo="2" PosComp="33")"});
}

TEST(CliPreview, ReceiveFramesShowTheRegistersTheySet) {
    const Result r = Cli({"preview", kDemo, "181#1122334455667788", "281#A1B2", "381#R", "7E5#11", "201#00",
                          "12345678#AABB"});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "181#1122334455667788: receive frame 1 \"Drive status\" (COB-ID 0x181, Dimensin 8)\n"
              "  register 1 = 0x1122 (high byte B1, low byte B2)\n"
              "  register 2 = 0x3344 (high byte B3, low byte B4)\n"
              "  register 3 = 0x5566 (high byte B5, low byte B6)\n"
              "  register 4 = 0x7788 (high byte B7, low byte B8)\n"
              "281#A1B2: receive frame 2 \"Motor temperatures\" (COB-ID 0x281, Dimensin 4)\n"
              "  the frame carries 2 data bytes, Dimensin is 4\n"
              "  register 10 = 0xA1B2 (high byte B1, low byte B2)\n"
              "  register 11 = 0x---- (high byte B3: not in the frame's 2 data bytes, low byte B4: not in the "
              "frame's 2 data bytes)\n"
              "381#R: receive frame 3 \"Alarm word\" (COB-ID 0x381, Dimensin 2)\n"
              "  a remote request carries no data: no register is set\n"
              "7E5#11: no receive frame has COB-ID 0x7E5\n"
              "201#00: no receive frame has COB-ID 0x201; it is transmit frame 1 \"Speed set-point\", which the "
              "gateway sends\n"
              "12345678#AABB: a 29-bit frame, but the project has CANType 0 (CAN 2.0A, 11-bit COB-IDs): it matches "
              "no frame\n");
}

// Lines pasted from candump are read whole, time stamp and interface name
// included, in either of its forms; one operand may hold several lines.
TEST(CliPreview, CandumpLinesAreReadWholeAndCanFdFramesAreNamed) {
    const Result r = Cli({"preview", kDemo, "(1733661931.000000) can0 181#0001000003E80010",
                          "(1.5)  can1  281   [2]  00 19\n  can0  381  [08]  00 04 00 00 00 00 00 00", "181##10011"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out,
              "(1733661931.000000) can0 181#0001000003E80010: receive frame 1 \"Drive status\" (COB-ID 0x181, "
              "Dimensin 8)\n"
              "  register 1 = 0x0001 (high byte B1, low byte B2)\n"
              "  register 2 = 0x0000 (high byte B3, low byte B4)\n"
              "  register 3 = 0x03E8 (high byte B5, low byte B6)\n"
              "  register 4 = 0x0010 (high byte B7, low byte B8)\n"
              "(1.5)  can1  281   [2]  00 19: receive frame 2 \"Motor temperatures\" (COB-ID 0x281, Dimensin 4)\n"
              "  the frame carries 2 data bytes, Dimensin is 4\n"
              "  register 10 = 0x0019 (high byte B1, low byte B2)\n"
              "  register 11 = 0x---- (high byte B3: not in the frame's 2 data bytes, low byte B4: not in the "
              "frame's 2 data bytes)\n"
              "can0  381  [08]  00 04 00 00 00 00 00 00: CAN FD, not fed (the gateway is a CAN 2.0 node)\n"
              "181##10011: CAN FD, not fed (the gateway is a CAN 2.0 node)\n");
    EXPECT_EQ(Cli({"preview", kDemo, "(1.0) can0 181#112"}).err,
              "vestrel-cli: '(1.0) can0 181#112' is not a frame: the data are pairs of hex digits\n"
              "Try 'vestrel-cli --help'.\n");
}

TEST(CliPreview, RegisterValuesGiveTheTransmitFrames) {
    const Result r = Cli({"preview", kDemo, "--registers", "100=0x1234,110=7,40=1"});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out,
              "transmit frame 1 \"Speed set-point\" (COB-ID 0x201, Dimensin 8): 12 34 ?? ?? -- -- -- --\n"
              "  B1 = 0x12: register 100 high byte\n"
              "  B2 = 0x34: register 100 low byte\n"
              "  B3 = ??: register 101 high byte, no value given\n"
              "  B4 = ??: register 101 low byte, no value given\n"
              "transmit frame 2 \"Control word\" (COB-ID 0x301, Dimensin 2): 00 07\n"
              "  B1 = 0x00: register 110 high byte\n"
              "  B2 = 0x07: register 110 low byte\n"
              "  as a frame: 301#0007\n"
              "register 40 feeds no transmit frame\n");
    EXPECT_EQ(Cli({"preview", kDemo, "--registers", "100 = 0x1234 110=7 , 40=1"}).out, r.out) << "blanks separate too";
}

TEST(CliPreview, DuplicateCobIdsSayWhichFrameTheBanksSelectOrThatItIsNotKnown) {
    TempDir a, b;
    WriteDuplicateCobIdProject(a.path(), "0");
    WriteDuplicateCobIdProject(b.path(), "1");
    const Result selected = Cli({"preview", a.path().string(), "181#1122"});
    EXPECT_EQ(selected.out,
              "181#1122: receive frame 2 \"new\" (COB-ID 0x181, Dimensin 2)\n"
              "  frame 1 has the same COB-ID; the banks' lookup table selects frame 2, the later one\n"
              "  register 2 = 0x2211 (high byte B2, low byte B1)\n");
    const Result ambiguous = Cli({"preview", b.path().string(), "00000181#1122"});
    EXPECT_EQ(ambiguous.out,
              "00000181#1122: receive frames 1 and 2 have COB-ID 0x181; the project does not say which one the "
              "device matches\n"
              "  if frame 1 \"old\" (COB-ID 0x181, Dimensin 2):\n"
              "    register 1 = 0x1122 (high byte B1, low byte B2)\n"
              "  if frame 2 \"new\" (COB-ID 0x181, Dimensin 2):\n"
              "    register 2 = 0x2211 (high byte B2, low byte B1)\n");
    EXPECT_EQ(Cli({"preview", b.path().string(), "181#11"}).out,
              "181#11: an 11-bit frame, but the project has CANType 1 (CAN 2.0B, 29-bit COB-IDs): it matches no "
              "frame\n");
    // What the project check says about the project comes as notes.
    EXPECT_EQ(ambiguous.err, "vestrel-cli: warning: RCobDef.xml: row 1: CobID 0x181 is also used by row 2\n");
}

TEST(CliPreview, CommandLinesThatAreNotUnderstood) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"preview"},
             {"preview", kDemo},
             {"preview", kDemo, "181#112"},
             {"preview", kDemo, "18#11"},
             {"preview", kDemo, "--registers"},
             {"preview", kDemo, "--registers", "40"},
             {"preview", kDemo, "--registers", "40=1,"},
             {"preview", kDemo, "--registers", "40=1,40=2"},
             {"preview", kDemo, "--registers", "40=65536"},
             {"preview", kDemo, "--registers=70000=1"},
             {"preview", kDemo, "--registers", "100=-0xFFFF0001"},
             {"preview", kDemo, "--out", "x"},
             {"replay", kDemo},
             {"replay", kDemo, kDemoLog, "--out"},
             {"replay", kDemo, kDemoLog, "--format", "csv"},
         }) {
        const Result r = Cli(args);
        EXPECT_EQ(r.status, kExitUsage) << ::testing::PrintToString(args);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Try 'vestrel-cli --help'."), std::string::npos) << r.err;
    }
    EXPECT_EQ(Cli({"preview", kDemo, "1G1#11"}).err,
              "vestrel-cli: '1G1#11' is not a frame: the identifier is not hexadecimal\nTry 'vestrel-cli --help'.\n");
    const Result missing = Cli({"preview", "/nonexistent/Demo", "181#11"});
    EXPECT_EQ(missing.status, kExitFailed);
    EXPECT_EQ(missing.err, "vestrel-cli: Project folder \"/nonexistent/Demo\" not found\n");
}

const char* const kDemoReplayCsv =
    "time,register,old,new,frame,cob_id\n"
    "1733661931.000000,1,0x????,0x0001,1,0x181\n"
    "1733661931.000000,2,0x????,0x0000,1,0x181\n"
    "1733661931.000000,3,0x????,0x03E8,1,0x181\n"
    "1733661931.000000,4,0x????,0x0010,1,0x181\n"
    "1733661931.010000,10,0x????,0x0019,2,0x281\n"
    "1733661931.010000,11,0x????,0x0020,2,0x281\n"
    "1733661931.110000,10,0x0019,0x001A,2,0x281\n"
    "1733661931.200000,1,0x0001,0x0003,1,0x181\n"
    "1733661931.200000,2,0x0000,0x044C,1,0x181\n"
    "1733661931.200000,4,0x0010,0x0012,1,0x181\n"
    "1733661931.250000,20,0x????,0x0000,3,0x381\n"
    "1733661931.400000,10,0x001A,0x001B,2,0x281\n"
    "1733661931.600000,20,0x0000,0x0004,3,0x381\n";

TEST(CliReplay, TheDemoLogGivesEveryRegisterChangeAndASummary) {
    const Result r = Cli({"replay", kDemo, kDemoLog});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, kDemoReplayCsv);
    EXPECT_EQ(r.err,
              "vestrel-cli: " + kDemoLog +
                  ":11: the data are pairs of hex digits: \"(1733661931.500000) can0 181#0003044C03E8001\"\n"
                  "Log: candump log file, 13 lines, 12 frames, 1 broken line, 0 error frames\n"
                  "Register changes: 13\n"
                  "Frames per COB-ID:\n"
                  "  0x181              4  receive frame 1 \"Drive status\" (1 remote request)\n"
                  "  0x201              1  transmit frame 1 \"Speed set-point\"\n"
                  "  0x281              3  receive frame 2 \"Motor temperatures\"\n"
                  "  0x381              2  receive frame 3 \"Alarm word\"\n"
                  "  0x7E5              1  no frame table holds it\n"
                  "  0x18FF0001         1  29-bit frame: no frame matches it under CANType 0 (CAN 2.0A, 11-bit "
                  "COB-IDs)\n"
                  "Configured frames never seen:\n"
                  "  transmit frame 2 \"Control word\" (COB-ID 0x301)\n"
                  "Traffic on COB-IDs that no frame table holds:\n"
                  "  0x7E5: 1 frame\n"
                  "Data lengths that differ from Dimensin:\n"
                  "  0x281 (receive frame 2, Dimensin 4): 1 frame with 2 data bytes\n"
                  "Frames whose format does not match CANType 0 (CAN 2.0A, 11-bit COB-IDs):\n"
                  "  0x18FF0001 (29-bit): 1 frame\n");
}

TEST(CliReplay, OutWritesTheCsvAndAFailedRunReplacesNothing) {
    TempDir dir;
    const std::string out = (dir / "changes.csv").string();
    Result r = Cli({"replay", kDemo, kDemoLog, "--out", out});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFile(out), kDemoReplayCsv);

    r = Cli({"replay", kDemo, (dir / "none.log").string(), "--out=" + out});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_EQ(r.err, "vestrel-cli: Cannot open file \"" + (dir / "none.log").string() + "\". No such file or directory\n");
    EXPECT_EQ(ReadFile(out), kDemoReplayCsv);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(CliReplay, TextFromFilesIsPrintedWithControlCharactersEscaped) {
    TempDir dir;
    WritePargen(dir.path(), DefaultSettings());
    WriteRows(dir / "RCobDef.xml", "COBID", {"CobID=\"0x181\" Dimensin=\"2\" Mnemonic=\"Bell&#9;&#10;\xC2\x9B" "2J\""});
    WriteFile(dir / "a.log", "(1.000000) can0 181#1122\n(2.000000) can0 1\x1B[31m#11\n");
    const Result r = Cli({"replay", dir.path().string(), (dir / "a.log").string()});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.err.find('\x1B'), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("\xC2\x9B"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(":2: the identifier has 3 hex digits (standard) or 8 (extended): \"(2.000000) can0 "
                         "1\\x1B[31m#11\"\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("  0x181              1  receive frame 1 \"Bell\\x09; \\x9B2J\"\n"), std::string::npos) << r.err;
}

TEST(CliReplay, EveryLogFormatIsReadFromItsContent) {
    const std::string fixtures = VESTREL_TEST_DATA_DIR "/logs/";
    const struct {
        const char* file;
        std::string summary;
    } cases[] = {
        // Every line is counted: frames, broken lines, error frames and the
        // lines that hold no frame add up to the lines.
        {"trc_1_1.trc", "Log: PEAK TRC, 19 lines, 4 frames, 0 broken lines, 0 error frames, 15 other lines\n"},
        {"trc_1_2.trc", "Log: PEAK TRC, 19 lines, 4 frames, 0 broken lines, 0 error frames, 15 other lines\n"},
        {"trc_2_1.trc",
         "Log: PEAK TRC, 17 lines, 4 frames, 0 broken lines, 0 error frames, 13 other lines; CAN FD, not fed: 2 "
         "frames\n"},
        {"asc_9_decimals.asc",
         "Log: Vector ASC, 14 lines, 4 frames, 0 broken lines, 1 error frame, 9 other lines; CAN FD, not fed: 1 "
         "frame\n"},
        {"asc_events.asc",
         "Log: Vector ASC, 13 lines, 3 frames, 0 broken lines, 0 error frames, 10 other lines; CAN FD, not fed: 1 "
         "frame\n"},
        {"blf_can_message2.blf",
         "Log: Vector BLF, 7 objects, 5 frames, 0 broken objects, 1 error frame, 1 other object; CAN FD, not fed: 1 "
         "frame\n"},
        // Each broken object at its own offset, or at its compressed
        // container's and in what that unpacks to.
        {"blf_time_units.blf",
         "vestrel-cli: " + fixtures + "blf_time_units.blf: byte 288: the time stamp is out of range\n"
         "vestrel-cli: " + fixtures + "blf_time_units.blf: byte 400 (compressed container), byte 56 unpacked: the "
         "identifier is out of range\n"
         "Log: Vector BLF, 7 objects, 5 frames, 2 broken objects, 0 error frames, 0 other objects\n"},
    };
    for (const auto& c : cases) {
        const Result r = Cli({"replay", kDemo, fixtures + c.file});
        EXPECT_EQ(r.status, kExitOk) << c.file << r.err;
        EXPECT_EQ(r.err.rfind(c.summary, 0), 0u) << r.err;
        EXPECT_NE(r.out.find(",1,0x????,0x0001,1,0x181\n"), std::string::npos) << c.file << r.out;
    }
}

// What is no CAN log, or gives no frame, fails with the reason and writes
// no --out file; --strict makes a broken line fatal, a CAN FD frame is not
// broken.
TEST(CliReplay, RefusalsAndStrictReading) {
    TempDir dir;
    const std::string out = (dir / "out.csv").string();
    WriteFile(dir / "image.bin", std::string("\x7F"
                                             "ELF\x02\x01\x01\0",
                                             8));
    WriteFile(dir / "notes.txt", "time,register\n1,2\n");
    WriteFile(dir / "header.asc", "date Mon Dec 9 10:00:00 am 2024\nbase hex  timestamps absolute\n");
    WriteFile(dir / "fd.log", "(1.000000) can0 181##0112233445566778899\n(1.000001) can0 381#0004\n");
    WriteFile(dir / "broken.log", "(1.000000) can0 381#0004\n(1.000001) can0 381#000\n(1.000002) can0 381#0005\n");
    // Without the identifier column every frame would be 0x000: the read stops.
    WriteFile(dir / "columns.trc", ";$FILEVERSION=2.1\n;$COLUMNS=N,O,T,B,d,R,L,D\n"
                                   "      1      1059.900 DT 1      Rx -  2    00 01\n");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;  // a line of it
    } cases[] = {
        {{"image.bin"},
         kExitFailed,
         "vestrel-cli: File \"" + (dir / "image.bin").string() +
             "\" is no CAN log: it is binary and no BLF file (an "
             "ELF program)\n"},
        {{"notes.txt"},
         kExitFailed,
         "vestrel-cli: File \"" + (dir / "notes.txt").string() +
             "\" is no CAN log: no line of the first 64 KiB is a CAN frame in candump, ASC or TRC form\n"},
        {{"header.asc"},
         kExitFailed,
         "vestrel-cli: no CAN frame could be read from " + (dir / "header.asc").string() + "\n"},
        {{"fd.log", "--strict"},
         kExitOk,
         "  0x181              1  receive frame 1 \"Drive status\" (CAN FD, not fed: 1 frame)\n"},
        {{"broken.log", "--strict"},
         kExitFailed,
         "vestrel-cli: " + (dir / "broken.log").string() +
             ":2: the data are pairs of hex digits: \"(1.000001) can0 381#000\" (--strict: a broken line ends the "
             "replay)\n"},
        {{"columns.trc"},
         kExitFailed,
         "vestrel-cli: " + (dir / "columns.trc").string() +
             ":2: the log cannot be read: the column list names no identifier column (I): "
             "\";$COLUMNS=N,O,T,B,d,R,L,D\"\n"},
        {{"broken.log", "--channel", "can1"},
         kExitFailed,
         "vestrel-cli: no CAN frame of channel can1 could be read from " + (dir / "broken.log").string() + "\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"replay", kDemo, (dir / c.args[0]).string(), "--out", out};
        args.insert(args.end(), c.args.begin() + 1, c.args.end());
        const Result r = Cli(args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(fs::exists(out), c.status == kExitOk) << c.args[0];
        fs::remove(out);
    }
}

TEST(CliReplay, TheBanksOfABinFolderOrAnImageServeAsWell) {
    TempDir dir;
    fs::copy(kDemo, dir / "Demo");
    ASSERT_EQ(Cli({"build", (dir / "Demo").string()}).status, kExitOk);
    const Result r = Cli({"replay", (dir / "Demo" / "bin").string(), kDemoLog});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, kDemoReplayCsv);
    // The banks keep no mnemonics.
    EXPECT_NE(r.err.find("  0x181              4  receive frame 1 (1 remote request)\n"), std::string::npos) << r.err;
}


TEST(CliReport, CsvOfTheDemoProject) {
    const Result r = Cli({"report", kDemo, "--format", "csv"});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "direction,register,frame,cob_id,mnemonic,high_byte,low_byte\n"
              "receive,1,1,0x181,Drive status,B1,B2\n"
              "receive,2,1,0x181,Drive status,B3,B4\n"
              "receive,3,1,0x181,Drive status,B5,B6\n"
              "receive,4,1,0x181,Drive status,B7,B8\n"
              "receive,10,2,0x281,Motor temperatures,B1,B2\n"
              "receive,11,2,0x281,Motor temperatures,B3,B4\n"
              "receive,20,3,0x381,Alarm word,B1,B2\n"
              "transmit,100,1,0x201,Speed set-point,B1,B2\n"
              "transmit,101,1,0x201,Speed set-point,B3,B4\n"
              "transmit,110,2,0x301,Control word,B1,B2\n");
}

TEST(CliReport, MarkdownOfTheDemoProject) {
    const Result r = Cli({"report", kDemo, "--format=md"});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out.substr(0, r.out.find("## Transmit")),
              "# Register map: Demo\n\n"
              "## Findings\n\nNone.\n\n"
              "## Communication settings\n\n"
              "- CAN bit rate: 250 kbit/s (BaudRateCAN 5)\n"
              "- CAN mode: CAN 2.0A, 11-bit COB-IDs (CANType 0)\n"
              "- Serial bit rate: 19200 bit/s (Baud_Ser 4)\n"
              "- Parity: even (Par_Ser 2)\n"
              "- Serial interface: RS485 (Serial 1)\n"
              "- Modbus device address: 1\n"
              "- Serial time-out: 1000 ms\n"
              "- Data time-out: 10 s\n"
              "- Time-out Modbus register: 100 (TO_ModReg, low byte)\n"
              "- Cancel data after read: no (Cancel_Data 0)\n"
              "- No cancel if read Input Reg.: no (Can_Data_Inp_Reg 0)\n\n"
              "## Reading this gateway from a PLC\n\n"
              "- Protocol: Modbus RTU; the gateway is a slave\n"
              "- Device address: 1\n"
              "- Serial line: RS-485, 19200 bit/s, parity even\n"
              "- Data bits: 8, as Modbus RTU fixes them\n"
              "- Stop bits: not set by the project (Modbus RTU asks for 1 with parity and 2 without; the device "
              "decides)\n"
              "- Receive registers: the values of the frames the gateway receives: read them with function 03 (read "
              "holding registers) or 04 (read input registers)\n"
              "- Transmit registers: the values of the frames the gateway sends: write them with function 06 (write "
              "single register) or 16 (write multiple registers)\n"
              "- Register numbers: the numbers listed here are the protocol addresses of the requests. A master that "
              "counts registers from 1 adds 1: register 1 is 2 there, and in the 5-digit notation 40002 for function "
              "03 and 30002 for function 04; registers above 9998 need the 6-digit form (register 9999 is 410000)\n\n"
              "## Receive: registers the Modbus master reads\n\n"
              "| Register | Frame | COB-ID | Mnemonic | High byte from | Low byte from |\n"
              "|---:|---:|---|---|---|---|\n"
              "| 1 | 1 | 0x181 | Drive status | B1 | B2 |\n"
              "| 2 | 1 | 0x181 | Drive status | B3 | B4 |\n"
              "| 3 | 1 | 0x181 | Drive status | B5 | B6 |\n"
              "| 4 | 1 | 0x181 | Drive status | B7 | B8 |\n"
              "| 10 | 2 | 0x281 | Motor temperatures | B1 | B2 |\n"
              "| 11 | 2 | 0x281 | Motor temperatures | B3 | B4 |\n"
              "| 20 | 3 | 0x381 | Alarm word | B1 | B2 |\n\n"
              "Frame 1 \"Drive status\": COB-ID 0x181, Dimensin 8\n\n"
              "| B1 | B2 | B3 | B4 | B5 | B6 | B7 | B8 |\n|---|---|---|---|---|---|---|---|\n"
              "| 1 high | 1 low | 2 high | 2 low | 3 high | 3 low | 4 high | 4 low |\n\n"
              "Frame 2 \"Motor temperatures\": COB-ID 0x281, Dimensin 4\n\n"
              "| B1 | B2 | B3 | B4 | B5 | B6 | B7 | B8 |\n|---|---|---|---|---|---|---|---|\n"
              "| 10 high | 10 low | 11 high | 11 low | past Dimensin | past Dimensin | past Dimensin | past Dimensin |\n\n"
              "Frame 3 \"Alarm word\": COB-ID 0x381, Dimensin 2\n\n"
              "| B1 | B2 | B3 | B4 | B5 | B6 | B7 | B8 |\n|---|---|---|---|---|---|---|---|\n"
              "| 20 high | 20 low | past Dimensin | past Dimensin | past Dimensin | past Dimensin | past Dimensin | "
              "past Dimensin |\n\n");
}

TEST(CliReport, HtmlGoesToAFileAtomicallyAndBanksServeAsSource) {
    TempDir dir;
    fs::copy(kDemo, dir / "Demo");
    const std::string out = (dir / "map.html").string();
    Result r = Cli({"report", (dir / "Demo").string(), "--out", out});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, "");
    const std::string html = ReadFile(out);
    EXPECT_EQ(html.rfind("<!DOCTYPE html>\n", 0), 0u);
    EXPECT_NE(html.find("<title>Register map: Demo</title>"), std::string::npos);
    EXPECT_EQ(Cli({"report", (dir / "Demo").string()}).out, html);

    // A failing run leaves the earlier report alone.
    r = Cli({"report", (dir / "none").string(), "--out", out});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_EQ(ReadFile(out), html);

    ASSERT_EQ(Cli({"update", (dir / "Demo").string(), VESTREL_EXAMPLES_DIR "/workspace/MASTER/SX58316.sx"}).status,
              kExitOk);
    for (const fs::path& source : {dir / "Demo" / "bin", dir / "Demo" / "New_SX58316.sx"}) {
        r = Cli({"report", source.string(), "--format", "csv"});
        EXPECT_EQ(r.status, kExitOk) << r.err;
        EXPECT_NE(r.out.find("receive,1,1,0x181,,B1,B2\n"), std::string::npos) << r.out;
        r = Cli({"report", source.string(), "--format", "md"});
        EXPECT_NE(r.out.find("- Compile stamp: "), std::string::npos) << r.out;
    }
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"report"}, {"report", kDemo, "x"}, {"report", kDemo, "--format", "pdf"}, {"report", kDemo, "--out"},
             {"report", kDemo, "--registers", "1=1"}}) {
        EXPECT_EQ(Cli(args).status, kExitUsage) << ::testing::PrintToString(args);
    }
}


TEST(CliReplay, DuplicateCobIdsInTheSummaryAndWrongFormats) {
    TempDir a, b;
    WriteDuplicateCobIdProject(a.path(), "0");
    WriteDuplicateCobIdProject(b.path(), "1");
    WriteFile(a / "bus.log", "(1.000000) can0 181#1122\n(2.000000) can0 00000181#3344\n");
    Result r = Cli({"replay", a.path().string(), (a / "bus.log").string()});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, "time,register,old,new,frame,cob_id\n1.000000,2,0x????,0x2211,2,0x181\n");
    EXPECT_NE(r.err.find("vestrel-cli: note: receive: Receive frames 1 and 2 have COB-ID 0x181: the banks' lookup "
                         "table selects frame 2, the later one; frame 1 never receives\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("  0x181              1  receive frame 2 \"new\", the lookup table's choice among frames 1 "
                         "and 2\n"
                         "  0x00000181         1  29-bit frame: no frame matches it under CANType 0 (CAN 2.0A, "
                         "11-bit COB-IDs)\n"),
              std::string::npos)
        << r.err;

    // CAN 2.0B sets nothing for an ambiguous COB-ID.
    r = Cli({"replay", b.path().string(), (a / "bus.log").string()});
    EXPECT_EQ(r.out, "time,register,old,new,frame,cob_id\n");
    EXPECT_NE(r.err.find("  0x181              1  11-bit frame: no frame matches it under CANType 1 (CAN 2.0B, "
                         "29-bit COB-IDs)\n"
                         "  0x00000181         1  receive frames 1 and 2, ambiguous: no register is set\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Configured frames never seen:\n  none\n"), std::string::npos) << r.err;
}

TEST(CliReport, AnUnreadableProjectFileIsReportedWithItsTextEscaped) {
    TempDir dir;
    WriteFile(dir / "RCobDef.xml", "<COBID><row CobID=\"1\x1B[2J\" Dimensin=\"8\" Mnemonic=\"\"/></COBID>");
    for (const char* command : {"report", "preview", "replay"}) {
        std::vector<std::string> args = {command, dir.path().string()};
        if (std::string(command) != "report") args.push_back(std::string(command) == "preview" ? "181#11" : kDemoLog);
        const Result r = Cli(args);
        EXPECT_EQ(r.status, kExitFailed) << command;
        EXPECT_EQ(r.err.find('\x1B'), std::string::npos) << command << ": " << r.err;
        EXPECT_NE(r.err.find("\\x1B"), std::string::npos) << command << ": " << r.err;
    }
}

}  // namespace
}  // namespace vestrel
