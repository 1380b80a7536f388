#include "gateway/can_log_reader.h"

#include "platform/error.h"
#include "support/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <random>

#include <gtest/gtest.h>

namespace vestrel::gateway {
namespace {

using vestrel::test::ReadFile;
using vestrel::test::TempDir;
using vestrel::test::WriteFile;
namespace fs = std::filesystem;

struct Read {
    std::vector<LogFrame> frames;
    std::vector<BrokenLine> broken;
    LogFormat format = LogFormat::Unknown;
};

Read ReadLog(const fs::path& path) {
    Read read;
    CanLogReader reader(path);
    LogFrame frame;
    BrokenLine broken;
    for (;;) {
        const auto step = reader.Next(frame, broken);
        if (step == CanLogReader::Step::End) break;
        if (step == CanLogReader::Step::Frame) read.frames.push_back(frame);
        if (step == CanLogReader::Step::Broken) read.broken.push_back(broken);
    }
    read.format = reader.Format();
    return read;
}

// The frame as text, with its time stamp when it has one.
std::string Text(const LogFrame& f, std::int64_t timeOrigin = 0) {
    std::string time;
    if (f.hasTime) AppendTimeText(time, f.time - timeOrigin);
    return time + " " + CompactFrameText(f.frame);
}

// A log of random frames in candump -l form: standard and extended, data
// lengths 0 to 8, remote requests with and without a length.
std::string GeneratedCandumpLog(int count, unsigned seed) {
    std::mt19937 random(seed);
    std::string log;
    std::int64_t time = 1436509052249713;
    for (int i = 0; i < count; ++i) {
        CanFrame frame;
        frame.extended = random() % 4 == 0;
        frame.id = static_cast<std::uint32_t>(random()) & (frame.extended ? kMaxExtendedId : kMaxStandardId);
        frame.remote = random() % 10 == 0;
        frame.length = static_cast<std::uint8_t>(random() % 9);
        if (!frame.remote)
            for (int b = 0; b < frame.length; ++b) frame.data[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(random());
        time += static_cast<std::int64_t>(random() % 5000);
        log += "(";
        AppendTimeText(log, time);
        log += ") can0 " + CompactFrameText(frame) + "\n";
    }
    return log;
}

std::vector<std::string> Texts(const Read& read, bool relative) {
    std::vector<std::string> texts;
    const std::int64_t origin = relative && !read.frames.empty() ? read.frames[0].time : 0;
    for (const LogFrame& f : read.frames) texts.push_back(Text(f, origin));
    return texts;
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
    EXPECT_EQ(Texts(screen, false), Texts(original, false));

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
              "(1.000009) can1 20000080#0000000000000000");
    const Read read = ReadLog(dir / "a.log");
    std::vector<std::string> broken;
    for (const BrokenLine& b : read.broken) broken.push_back(std::to_string(b.line) + ": " + b.reason);
    EXPECT_EQ(broken, (std::vector<std::string>{
                          "3: the data are pairs of hex digits",
                          "4: the time stamp is not (seconds.microseconds)",
                          "5: a standard identifier is 000 to 7FF",
                          "6: CAN FD frames (##) are not CAN 2.0 frames",
                          "7: the line has no frame",
                          "8: the data length is not [0] to [8]",
                          "9: fewer data bytes than the data length",
                          "10: the line has no frame",
                      }));
    EXPECT_EQ(Texts(read, false),
              (std::vector<std::string>{"1.000001 181#11", "1.000008 7FF#R", "1.000009 20000080#0000000000000000"}));
    EXPECT_TRUE(read.frames[2].frame.error);
    EXPECT_EQ(read.frames[2].line, 12u);
}

TEST(CanLogReader, ScreenFormatWithoutTimeStampsAndAscVariants) {
    TempDir dir;
    WriteFile(dir / "screen.txt",
              "  can0  181   [2]  11 22\n"
              "  can0  12345678   [0]  remote request\n"
              "  can0  20000004   [8]  00 00 00 00 00 00 00 00   ERRORFRAME\n");
    const Read screen = ReadLog(dir / "screen.txt");
    EXPECT_TRUE(screen.broken.empty());
    EXPECT_EQ(Texts(screen, false), (std::vector<std::string>{" 181#1122", " 12345678#R", " 20000004#0000000000000000"}));

    // Decimal numbers and times relative to the event before; CANFD lines
    // carrying classic frames; events that are not frames.
    WriteFile(dir / "dec.asc",
              "date Wed Dec 9 10:00:00 am 2026\n"
              "base dec  timestamps relative\n"
              "internal events logged\n"
              "// version 13.0.0\n"
              "Begin Triggerblock Wed Dec 9 10:00:00 am 2026\n"
              "   0.000000 Start of measurement\n"
              "   0.500000 1  385             Rx   d 2 17 34\n"
              "   0.250000 1  74565x          Tx   r\n"
              "   0.250000 1  ErrorFrame\n"
              "   1.000000 CANFD   1 Rx        385                                   0 0 2  2 1 2   130000  130        0 0 0 0 0 0\n"
              "   1.000000 CANFD   1 Rx        385                                   1 0 9 12 1 2 3 4 5 6 7 8 9 10 11 12   130000  130     1000 0 0 0 0 0\n"
              "   1.000000 1  385             Rx   x 2 17 34\n"
              "End TriggerBlock\n");
    const Read asc = ReadLog(dir / "dec.asc");
    EXPECT_EQ(Texts(asc, false), (std::vector<std::string>{"0.500000 181#1122", "0.750000 00012345#R",
                                                           "1.000000 000#", "2.000000 181#0102"}));
    EXPECT_TRUE(asc.frames[2].frame.error);
    std::vector<std::string> broken;
    for (const BrokenLine& b : asc.broken) broken.push_back(std::to_string(b.line) + ": " + b.reason);
    EXPECT_EQ(broken, (std::vector<std::string>{
                          "11: a CAN FD frame with more than 8 data bytes is not a CAN 2.0 frame",
                          "12: neither a data frame (d) nor a remote frame (r)",
                      }));
}

TEST(CanLogReader, ALineLongerThanTheBufferIsOneBrokenLine) {
    TempDir dir;
    std::string log = "(1.000000) can0 181#11\n(1.000001) can0 181#" + std::string(3 << 20, 'A') + "\n";
    log += "(1.000002) can0 181#22\n";
    WriteFile(dir / "long.log", log);
    const Read read = ReadLog(dir / "long.log");
    EXPECT_EQ(Texts(read, false), (std::vector<std::string>{"1.000000 181#11", "1.000002 181#22"}));
    ASSERT_EQ(read.broken.size(), 1u);
    EXPECT_EQ(read.broken[0].line, 2u);
    EXPECT_EQ(read.frames[1].line, 3u);
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
}  // namespace vestrel::gateway
