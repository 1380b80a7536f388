// The log formats besides candump: read from hand-written fixtures (what no
// independent writer writes) and against python-can, which writes logs at
// test time and reads them back with its own reader.
#include "can/can_log_reader.h"

#include "log_test_support.h"
#include "platform/error.h"
#include "platform/text.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace vestrel::can {
namespace {

using namespace vestrel::can::test;
using vestrel::test::ReadFile;
using vestrel::test::TempDir;
using vestrel::test::WriteFile;
namespace fs = std::filesystem;

const fs::path kFixtures = fs::path(VESTREL_TEST_DATA_DIR) / "logs";

// BLF keeps the start of a measurement in local time; the tests read it in UTC.
void InUtc() {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
}

std::string RefusalOf(const fs::path& path) {
    try {
        CanLogReader reader(path);
        return "read as " + std::string(reader.FormatInfo().name);
    } catch (const Error& e) {
        return e.what();
    }
}

TEST(LogFormats, TheFormatComesFromTheContentAndOtherFilesAreRefused) {
    TempDir dir;
    const struct {
        const char* name;  // no file name says the format
        std::string content;
        std::string outcome;
    } cases[] = {
        {"a.asc", "(1.000000) can0 181#11\n", "read as candump log file"},
        {"b.log", "date Mon Dec 9 10:00:00 am 2024\nbase hex  timestamps absolute\n", "read as Vector ASC"},
        {"c.txt", "   0.311250987 1  181             Rx   d 1 11\n", "read as Vector ASC"},
        {"d.blf", ";$FILEVERSION=2.1\n", "read as PEAK TRC"},
        {"e", "     1)      1841  0001     8  00 00 00 00 00 00 00 00\r\n", "read as PEAK TRC"},
        {"f", "# comment\n  can0  181   [2]  11 22\n", "read as candump screen format"},
        {"g.trc", std::string("LOGG\x90\0\0\0", 8), "read as Vector BLF"},
        {"h.log", "", "it is empty"},
        {"i.log", "time,register,old,new\n1.0,1,0x0000,0x0001\n",
         "no line of the first 64 KiB is a CAN frame in candump, ASC or TRC form"},
        {"j.blf", std::string("\x1F\x8B\x08\0\0\0\0\0", 8), "it is binary and no BLF file (a gzip file)"},
        {"k.blf", std::string("LOGX\0\0", 6), "it is binary and no BLF file"},
        // A recording cut by a power loss ends in zeros: still a log.
        {"m.log", "(1.0) can0 181#11\n" + std::string(4096, '\0'), "read as candump log file"},
        // A frame after 64 KiB of other lines is not looked for.
        {"l.log", std::string(70000, '\n') + "(1.0) can0 181#11\n",
         "no line of the first 64 KiB is a CAN frame in candump, ASC or TRC form"},
    };
    for (const auto& c : cases) {
        WriteFile(dir / c.name, c.content);
        const std::string outcome = RefusalOf(dir / c.name);
        if (c.outcome.rfind("read as", 0) == 0)
            EXPECT_EQ(outcome, c.outcome) << c.name;
        else
            EXPECT_EQ(outcome, "File \"" + (dir / c.name).string() + "\" is no CAN log: " + c.outcome) << c.name;
    }
}

TEST(LogFormats, PeakTrcOfEveryVersionFromHandWrittenFixtures) {
    const struct {
        const char* file;
        std::vector<std::string> frames;  // channel, offset from the start, frame
        std::vector<std::string> broken;
    } cases[] = {
        {"trc_1_1.trc",
         {" 1.059900 181#0001000003E80010", " 1.061300 18FF0001#1122", " 1.063600 281#00190020", " 7.468900 181#R8"},
         {}},
        {"trc_1_2.trc",
         {"1 1.841212 181#0001000003E80010", "2 1.842003 281#00190020", "1 1.843500 18FF0001#1122",
          "2 1.844100 181#R8"},
         {}},
        {"trc_1_3.trc",
         {"1 1.841212 181#0001000003E80010", "2 1.842003 281#00190020", "1 1.843500 18FF0001#1122",
          "1 1.844100 181#R8"},
         {}},
        {"trc_2_0.trc",
         {" 1.059900 181#0001000003E80010", " 1.283231 18FF0001#1122", " 1.298945 181#R8",
          " 1.334416 181##0000102030405060708090A0B", " 1.334500 000#"},
         {}},
        {"trc_2_1.trc",
         {"1 1.059900 181#0001000003E80010", "2 1.283231 281#R4", "1 1.298945 181##1000102030405060708090A0B",
          "1 1.300000 18FF0001##3AA"},
         {}},
    };
    for (const auto& c : cases) {
        const Read read = ReadLog(kFixtures / c.file);
        EXPECT_EQ(read.format, LogFormat::PeakTrc) << c.file;
        EXPECT_EQ(ChannelTexts(read), c.frames) << c.file;
        EXPECT_EQ(BrokenTexts(read), c.broken) << c.file;
    }
}

TEST(LogFormats, VectorAscFromHandWrittenFixtures) {
    const Read read = ReadLog(kFixtures / "asc_9_decimals.asc");
    EXPECT_EQ(read.format, LogFormat::VectorAsc);
    EXPECT_TRUE(read.broken.empty());
    EXPECT_EQ(
        ChannelTexts(read),
        (std::vector<std::string>{"1 0.311250 181#0001000003E80010", "2 0.411250 18FF0001#1122", "1 0.500000 181#R8",
                                  "1 0.600000 181##1000102030405060708090A0B", "1 0.700000 000#"}));
    EXPECT_TRUE(read.frames[4].frame.frame.error);
    // The comment of a split log, bus events, a classic remote frame on a
    // CANFD line (the DLC its length), a CAN FD frame with a symbolic name.
    const Read events = ReadLog(kFixtures / "asc_events.asc");
    EXPECT_EQ(BrokenTexts(events), std::vector<std::string>{});
    EXPECT_EQ(ChannelTexts(events),
              (std::vector<std::string>{"1 0.100000 181#0001", "1 0.200000 181#R8", "2 0.300000 281##11122"}));
    EXPECT_EQ(events.otherRecords, 10u);
}

TEST(LogFormats, VectorBlfWithCanMessage2FromAHandWrittenFixture) {
    InUtc();
    const Read read = ReadLog(kFixtures / "blf_can_message2.blf");
    EXPECT_EQ(read.format, LogFormat::VectorBlf);
    EXPECT_TRUE(read.broken.empty()) << read.broken[0].reason;
    // The start, 2024-12-09 10:00:00.250 UTC, plus each object's stamp in ns;
    // the fourth object continues from a stored container into a zlib one.
    EXPECT_EQ(ChannelTexts(read), (std::vector<std::string>{
                                      "1 1733738400.251000 181#0001000003E80010",
                                      "2 1733738400.252500 18FF0001#1122",
                                      "1 1733738400.253000 181#R8",
                                      "1 1733738400.254000 181##1000102030405060708090A0B",
                                      "1 1733738400.255000 000#",
                                      "1 1733738400.256000 281#00190020",
                                  }));
    EXPECT_TRUE(read.frames[4].frame.frame.error);
    EXPECT_EQ(read.records, 7u);
    EXPECT_EQ(read.otherRecords, 1u);  // the text object
}

// Time stamps in 10 us and in 1 ns, each within what it can hold; every
// object placed at its own offset, or in a compressed container at the
// container's and its own in the unpacked data.
TEST(LogFormats, VectorBlfTimeStampsInBothUnitsAndEachObjectInItsPlace) {
    InUtc();
    const Read read = ReadLog(kFixtures / "blf_time_units.blf");
    EXPECT_EQ(ChannelTexts(read), (std::vector<std::string>{
                                      "1 1733738400.373450 181#0001",
                                      "1 2733738400.250000 182#0002",
                                      "2 1733768400.250000 184#0004",
                                      "1 1733738400.750000 185#05",
                                      "1 1733738400.950000 186#07",
                                  }));
    EXPECT_EQ(FramePlaces(read), (std::vector<std::uint64_t>{176, 232, 344, 400, 400}));
    EXPECT_EQ(BrokenTexts(read), (std::vector<std::string>{"288: the time stamp is out of range",
                                                           "400+56: the identifier is out of range"}));
    EXPECT_EQ(read.records, 7u);

    // The stored objects spread over containers of 7 bytes each: the same
    // frames, each placed where it begins.
    TempDir dir;
    const std::string file = ReadFile(kFixtures / "blf_time_units.blf");
    std::string tiny = file.substr(0, 144);
    const std::string stored = file.substr(176, 400 - 176);
    for (std::size_t at = 0; at < stored.size(); at += 7) {
        const std::string piece = stored.substr(at, 7);
        std::string container = "LOBJ";
        for (const std::uint32_t field : {16u | 1u << 16, 32u + static_cast<std::uint32_t>(piece.size()), 10u, 0u, 0u,
                                          static_cast<std::uint32_t>(piece.size()), 0u})
            for (int i = 0; i < 4; ++i) container += static_cast<char>(field >> (8 * i) & 0xFF);
        tiny += container + piece + std::string(piece.size() % 4, '\0');
    }
    WriteFile(dir / "tiny.blf", tiny + file.substr(400));
    const Read spread = ReadLog(dir / "tiny.blf");
    EXPECT_EQ(ChannelTexts(spread), ChannelTexts(read));
    EXPECT_EQ(FramePlaces(spread), (std::vector<std::uint64_t>{176, 512, 1184, 1488, 1488}));
    EXPECT_EQ(BrokenTexts(spread), (std::vector<std::string>{"848: the time stamp is out of range",
                                                             "1488+56: the identifier is out of range"}));
}

// A damaged BLF file: what can be read is read, each damage is one broken
// object with its byte offset, and nothing is read past the end.
TEST(LogFormats, DamagedBlfFilesKeepWhatCanBeRead) {
    InUtc();
    TempDir dir;
    const std::string good = ReadFile(kFixtures / "blf_can_message2.blf");
    // The zlib container follows the stored one, which starts after the
    // file header and is padded by its size modulo 4.
    std::uint32_t firstSize = 0;
    for (int i = 3; i >= 0; --i) firstSize = firstSize << 8 | static_cast<unsigned char>(good[144 + 8 + i]);
    const std::size_t second = 144 + firstSize + firstSize % 4;
    ASSERT_EQ(good.substr(second, 4), "LOBJ");
    std::string garbled = good;
    garbled[second + 40] = static_cast<char>(garbled[second + 40] ^ 0x55);
    std::string method = good;
    method[second + 16] = 5;
    const struct {
        const char* name;
        std::string bytes;
        std::size_t frames;
        std::vector<std::string> broken;
    } cases[] = {
        {"cut-in-zlib.blf",
         good.substr(0, good.size() - 10),
         2,
         {std::to_string(second) + ": a compressed container does not unpack: the file ends inside a container"}},
        {"cut-after-stored.blf",
         good.substr(0, second + 8),
         2,
         {std::to_string(second) + ": the file ends inside an object"}},
        {"garbled.blf",
         garbled,
         2,
         {std::to_string(second) + ": a compressed container does not unpack: its data are damaged"}},
        {"method.blf",
         method,
         2,
         {std::to_string(second) + ": a container compressed with method 5, which is not zlib"}},
        {"noise-between.blf",
         good.substr(0, second) + "NOISE-NOISE!" + good.substr(second),
         6,
         {std::to_string(second) + ": no object starts here"}},
        {"header-only.blf", good.substr(0, 144), 0, {}},
    };
    for (const auto& c : cases) {
        WriteFile(dir / c.name, c.bytes);
        const Read read = ReadLog(dir / c.name);
        EXPECT_EQ(read.frames.size(), c.frames) << c.name;
        EXPECT_EQ(BrokenTexts(read), c.broken) << c.name;
    }
}

// One line of python_can_oracle.py's output for a frame the reader read.
std::string OracleLine(const ReadFrame& f, int channelOffset) {
    const CanFrame& frame = f.frame.frame;
    std::string time;
    AppendTimeText(time, f.frame.time);
    std::string channel = f.channel;
    if (!frame.error && channelOffset != 0) channel = std::to_string(std::stoi(channel) + channelOffset);
    std::string data;
    if (!frame.remote && !frame.error)
        for (int i = 0; i < frame.length; ++i) data += UpperHex(frame.data[static_cast<std::size_t>(i)], 2);
    std::ostringstream line;
    line << time << ' ' << channel << ' ' << UpperHex(frame.id) << ' ' << frame.extended << ' ' << frame.remote << ' '
         << frame.error << ' ' << frame.fd << ' ' << frame.bitRateSwitch << ' ' << frame.errorStateIndicator << ' '
         << (data.empty() ? "-" : data);
    return line.str();
}

// python-can's line, with the time in microseconds compared apart (its
// times are floats) and what python-can does not keep of error frames
// (their channel and identifier) left out.
struct OracleFrame {
    std::int64_t micros = 0;
    std::string rest;
};

OracleFrame ParseOracle(const std::string& line, bool error) {
    std::istringstream in(line);
    std::string time, channel, id, rest;
    in >> time >> channel >> id;
    std::getline(in, rest);
    const std::size_t dot = time.find('.');
    OracleFrame f;
    f.micros = std::stoll(time.substr(0, dot)) * 1000000 + std::stoll(time.substr(dot + 1));
    f.rest = error ? "an error frame" : channel + " " + id + rest;
    return f;
}

TEST(LogFormats, PythonCanWritesEveryFormatTheReaderReadsAlike) {
    InUtc();
    TempDir dir;
    const std::string command = "TZ=UTC /usr/bin/python3 '" VESTREL_CAN_TEST_DIR "/python_can_oracle.py' '" +
                                dir.path().string() + "' 3000";
    ASSERT_EQ(std::system(command.c_str()), 0) << command << " (python3-can installed by scripts/install-deps.sh)";
    const struct {
        const char* file;
        LogFormat format;
        int channelOffset;  // python-can counts BLF and ASC channels from 0, the files from 1
    } files[] = {
        {"python.log", LogFormat::CandumpLog, 0}, {"python.asc", LogFormat::VectorAsc, -1},
        {"python.blf", LogFormat::VectorBlf, -1}, {"python-stored.blf", LogFormat::VectorBlf, -1},
        {"python.trc", LogFormat::PeakTrc, 0},
    };
    for (const auto& f : files) {
        const Read read = ReadLog(dir / f.file);
        EXPECT_EQ(read.format, f.format) << f.file;
        EXPECT_TRUE(read.broken.empty()) << f.file << ": " << read.broken[0].line << ": " << read.broken[0].reason;
        std::ifstream expected(dir / (std::string(f.file) + ".read"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(expected, line);) lines.push_back(line);
        ASSERT_EQ(read.frames.size(), lines.size()) << f.file;
        ASSERT_GT(lines.size(), 2000u) << f.file;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const bool error = read.frames[i].frame.frame.error;
            const OracleFrame theirs = ParseOracle(lines[i], error);
            const OracleFrame ours = ParseOracle(OracleLine(read.frames[i], f.channelOffset), error);
            EXPECT_EQ(ours.rest, theirs.rest) << f.file << " frame " << i + 1;
            EXPECT_LE(std::abs(ours.micros - theirs.micros), 1) << f.file << " frame " << i + 1 << ": " << lines[i];
        }
    }
}

}  // namespace
}  // namespace vestrel::can
