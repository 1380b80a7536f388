#include "can/can_log_reader.h"

#include "log_test_support.h"
#include "platform/error.h"
#include "support/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <random>

#include <gtest/gtest.h>

namespace vestrel::can {
namespace {

using namespace vestrel::can::test;
using vestrel::test::ReadFile;
using vestrel::test::TempDir;
using vestrel::test::WriteFile;
namespace fs = std::filesystem;

// A log of random frames in candump -l form: standard and extended, data
// lengths 0 to 8, remote requests with and without a length, and CAN FD
// frames of every length with their flags.
std::string GeneratedCandumpLog(int count, unsigned seed) {
    std::mt19937 random(seed);
    std::string log;
    std::int64_t time = 1436509052249713;
    for (int i = 0; i < count; ++i) {
        CanFrame frame;
        frame.extended = random() % 4 == 0;
        frame.id = static_cast<std::uint32_t>(random()) & (frame.extended ? kMaxExtendedId : kMaxStandardId);
        frame.fd = random() % 8 == 0;
        frame.remote = !frame.fd && random() % 10 == 0;
        frame.length =
            static_cast<std::uint8_t>(frame.fd ? FdDataLength(static_cast<int>(random() % 16)) : random() % 9);
        frame.bitRateSwitch = frame.fd && random() % 2 == 0;
        frame.errorStateIndicator = frame.fd && random() % 3 == 0;
        if (!frame.remote)
            for (int b = 0; b < frame.length; ++b) frame.data[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(random());
        time += static_cast<std::int64_t>(random() % 5000);
        log += "(";
        AppendTimeText(log, time);
        log += ") can0 " + CompactFrameText(frame) + "\n";
    }
    return log;
}

void RunTool(const std::string& command) {
    ASSERT_EQ(std::system(command.c_str()), 0) << command << " (can-utils installed by scripts/install-deps.sh)";
}

TEST(CanLogReader, CanUtilsConvertersWriteEveryFormatTheReaderReadsBackAlike) {
    TempDir dir;
    WriteFile(dir / "generated.log", GeneratedCandumpLog(500, 15));
    const std::string in = (dir / "generated.log").string();
    RunTool("log2long < '" + in + "' > '" + (dir / "long.txt").string() + "'");
    RunTool("log2asc -I '" + in + "' -O '" + (dir / "vector.asc").string() + "' can0");
    RunTool("asc2log -I '" + (dir / "vector.asc").string() + "' -O '" + (dir / "back.log").string() + "' 2>/dev/null");

    const Read original = ReadLog(dir / "generated.log");
    ASSERT_EQ(original.frames.size(), 500u);
    EXPECT_TRUE(original.broken.empty());
    EXPECT_EQ(original.format, LogFormat::CandumpLog);

    const Read screen = ReadLog(dir / "long.txt");
    EXPECT_EQ(screen.format, LogFormat::CandumpLong);
    EXPECT_TRUE(screen.broken.empty()) << screen.broken[0].reason << ": " << screen.broken[0].text;
    Read withoutFlags = original;  // the screen format shows no CAN FD flags
    for (ReadFrame& f : withoutFlags.frames) f.frame.frame.bitRateSwitch = f.frame.frame.errorStateIndicator = false;
    EXPECT_EQ(Texts(screen), Texts(withoutFlags));

    // ASC times count from the first frame; asc2log's from a date of its own.
    const Read asc = ReadLog(dir / "vector.asc");
    EXPECT_EQ(asc.format, LogFormat::VectorAsc);
    EXPECT_TRUE(asc.broken.empty()) << asc.broken[0].reason << ": " << asc.broken[0].text;
    EXPECT_EQ(Texts(asc, true), Texts(original, true));
    const Read back = ReadLog(dir / "back.log");
    EXPECT_TRUE(back.broken.empty()) << back.broken[0].reason << ": " << back.broken[0].text;
    EXPECT_EQ(Texts(back, true), Texts(original, true));
}

TEST(CanLogReader, BrokenLinesAreReportedWithTheirNumberAndTheReadGoesOn) {
    TempDir dir;
    WriteFile(dir / "a.log",
              "(1.000001) can0 181#11\n"
              "\n"
              "(1.000002) can0 181#112\n"
              "(x) can0 181#11\n"
              "(1.000003) can0 800#11\n"
              "(1.000004) can0 181##011\n"
              "(1.000005) can0\n"
              "(1.000006)  can0  181   [9]  11\n"
              "(1.000007)  can0  181   [2]  11\n"
              "garbage\n"
              "(1.000008) can0 7FF#R\r\n"
              "(1.000009)  can0  181  [08]  11 22 33 44 55 66 77 88\n"
              "(1.000010)  can1  TX B -  12345678  [12]  00 01 02 03 04 05 06 07 08 09 0A 0B\n"
              "(1.000011) can1 20000080#0000000000000000\n"
              "(1.000012)  can1  20000080  [12]  00 01 02 03 04 05 06 07 08 09 0A 0B");
    const Read read = ReadLog(dir / "a.log");
    EXPECT_EQ(BrokenTexts(read), (std::vector<std::string>{
                                     "3: the data are pairs of hex digits",
                                     "4: the time stamp is not (seconds.microseconds)",
                                     "5: a standard identifier is 000 to 7FF",
                                     "7: the line has no frame",
                                     "8: the data length is not [0] to [8], or [00] to [64]",
                                     "9: fewer data bytes than the data length",
                                     "10: the line has no frame",
                                     "15: an error frame is not a CAN FD frame",
                                 }));
    // CAN FD frames are frames, in the ## form and in the screen format's
    // two-digit length alike.
    EXPECT_EQ(ChannelTexts(read), (std::vector<std::string>{
                                      "can0 1.000001 181#11",
                                      "can0 1.000004 181##011",
                                      "can0 1.000008 7FF#R",
                                      "can0 1.000009 181##01122334455667788",
                                      "can1 1.000010 12345678##0000102030405060708090A0B",
                                      "can1 1.000011 20000080#0000000000000000",
                                  }));
    EXPECT_TRUE(read.frames[5].frame.frame.error);
    EXPECT_EQ(read.frames[5].frame.line, 14u);
    EXPECT_EQ(read.records, 15u);
}

TEST(CanLogReader, ScreenFormatWithoutTimeStampsAndAscVariants) {
    TempDir dir;
    WriteFile(dir / "screen.txt",
              "  can0  181   [2]  11 22\n"
              "  can0  12345678   [0]  remote request\n"
              "  can0  20000004   [8]  00 00 00 00 00 00 00 00   ERRORFRAME\n");
    const Read screen = ReadLog(dir / "screen.txt");
    EXPECT_TRUE(screen.broken.empty());
    EXPECT_EQ(Texts(screen), (std::vector<std::string>{" 181#1122", " 12345678#R", " 20000004#0000000000000000"}));

    // Decimal numbers and times relative to the event before; CANFD lines
    // with classic and CAN FD frames; events that are not frames.
    WriteFile(dir / "dec.asc",
              "date Wed Dec 9 10:00:00 am 2026\n"
              "base dec  timestamps relative\n"
              "internal events logged\n"
              "// version 13.0.0\n"
              "Begin Triggerblock Wed Dec 9 10:00:00 am 2026\n"
              "   0.000000 Start of measurement\n"
              "   0.500000 1  385             Rx   d 2 17 34\n"
              "   0.250000 1  74565x          Tx   r\n"
              "   0.250000 2  ErrorFrame\n"
              "   1.000000 CANFD   1 Rx        385                                   0 0 2  2 1 2   130000  130        "
              "0 0 0 0 0 0\n"
              "   1.000000 CANFD   3 Rx        385   Drive                           1 0 9 12 1 2 3 4 5 6 7 8 9 10 11 "
              "12   130000  130     3000 0 0 0 0 0\n"
              "   1.000000 1  385             Rx   x 2 17 34\n"
              "   1.000000 1  Statistic: D 0 R 0 XD 0 XR 0 E 0 O 0 B 0.00%\n"
              "End TriggerBlock\n");
    const Read asc = ReadLog(dir / "dec.asc");
    EXPECT_EQ(ChannelTexts(asc),
              (std::vector<std::string>{"1 0.500000 181#1122", "1 0.750000 00012345#R", "2 1.000000 000#",
                                        "1 2.000000 181#0102", "3 3.000000 181##10102030405060708090A0B0C"}));
    EXPECT_TRUE(asc.frames[2].frame.frame.error);
    EXPECT_EQ(BrokenTexts(asc), (std::vector<std::string>{"12: neither a data frame (d) nor a remote frame (r)"}));
}

// A line longer than the read buffer: its end, read into the buffer after
// its start, must not be taken for a line of its own (here it looks like a
// frame); the line is one broken line and the lines after it are read.
TEST(CanLogReader, ALineLongerThanTheBufferIsOneBrokenLine) {
    TempDir dir;
    const std::string first = "(1.000000) can0 181#11\n";
    std::string longLine = "(1.000001) can0 181#";
    longLine += std::string((1u << 20) - longLine.size(), 'A');  // exactly the first read of the line
    longLine += "(2.000000) can0 181#1122334455667788";
    WriteFile(dir / "long.log", first + longLine + "\n(1.000002) can0 181#22\n");
    const Read read = ReadLog(dir / "long.log");
    EXPECT_EQ(Texts(read), (std::vector<std::string>{"1.000000 181#11", "1.000002 181#22"}));
    EXPECT_EQ(BrokenTexts(read), (std::vector<std::string>{"2: the line is longer than 64 KiB"}));
    EXPECT_EQ(read.frames[1].frame.line, 3u);
    ASSERT_EQ(read.broken.size(), 1u);
    EXPECT_EQ(read.broken[0].text, longLine.substr(0, 120));

    // Lines that straddle two reads of the buffer arrive whole.
    std::string many;
    for (int i = 0; i < 60000; ++i)
        many += "(1.000000) can0 181#" + std::string(static_cast<std::size_t>(i % 9) * 2, '5') + "\n";
    WriteFile(dir / "many.log", many);
    const Read all = ReadLog(dir / "many.log");
    EXPECT_EQ(all.frames.size(), 60000u);
    EXPECT_TRUE(all.broken.empty());
}

// "timestamps relative" adds each stamp to the one before: a sum that does
// not fit is a broken line, not a wrapped time.
TEST(CanLogReader, AscRelativeTimeStampsThatOverflowAreBrokenLines) {
    TempDir dir;
    std::string asc = "base hex  timestamps relative\n";
    for (int i = 0; i < 12; ++i) asc += "999999999999.999999 1  181  Rx   d 1 11\n";
    WriteFile(dir / "big.asc", asc);
    const Read read = ReadLog(dir / "big.asc");
    ASSERT_EQ(read.frames.size(), 9u);  // 9 x 999999999999999999 us is the most a signed 64-bit time holds
    EXPECT_EQ(read.frames.back().frame.time, 8999999999999999991);
    EXPECT_EQ(BrokenTexts(read),
              (std::vector<std::string>{"11: the time stamp is out of range", "12: the time stamp is out of range",
                                        "13: the time stamp is out of range"}));
}

TEST(CanLogReader, AMissingLogIsAnErrorWithTheSystemsReason) {
    TempDir dir;
    try {
        CanLogReader reader(dir / "none.log");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + (dir / "none.log").string() + "\". No such file or directory");
    }
}

}  // namespace
}  // namespace vestrel::can
