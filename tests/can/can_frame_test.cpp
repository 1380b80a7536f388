// The frame's compact text, candump's filters and the candump writer.
#include "can/can_frame.h"
#include "can/candump_writer.h"
#include "can/frame_filter.h"

#include "log_test_support.h"
#include "platform/error.h"
#include "support/temp_dir.h"

#include <cstdio>

#include <gtest/gtest.h>

namespace vestrel::can {
namespace {

using namespace vestrel::can::test;
using vestrel::test::ReadFile;
using vestrel::test::TempDir;

TEST(CanFrameText, CompactSyntaxReadsAndWritesBack) {
    const struct {
        std::string text;
        std::uint32_t id;
        bool extended, remote, error, fd, brs, esi;
        int length;
        std::string back;
    } good[] = {
        {"181#1122334455667788", 0x181, false, false, false, false, false, false, 8, "181#1122334455667788"},
        {"7ff#", 0x7FF, false, false, false, false, false, false, 0, "7FF#"},
        {"12345678#aa.bb", 0x12345678, true, false, false, false, false, false, 2, "12345678#AABB"},
        {"281#R", 0x281, false, true, false, false, false, false, 0, "281#R"},
        {"281#R3", 0x281, false, true, false, false, false, false, 3, "281#R3"},
        {"20000080#0000000000000000", 0x80, true, false, true, false, false, false, 8, "20000080#0000000000000000"},
        {"181##0", 0x181, false, false, false, true, false, false, 0, "181##0"},
        {"181##1112233445566778899aabbcc", 0x181, false, false, false, true, true, false, 12,
         "181##1112233445566778899AABBCC"},
        {"1FFFFFFF##3.11.22", 0x1FFFFFFF, true, false, false, true, true, true, 2, "1FFFFFFF##31122"},
        {"181##2" + std::string(128, 'E'), 0x181, false, false, false, true, false, true, 64,
         "181##2" + std::string(128, 'E')},
    };
    for (const auto& g : good) {
        const CanFrame f = Frame(g.text);
        EXPECT_EQ(f.id, g.id) << g.text;
        EXPECT_EQ(f.extended, g.extended) << g.text;
        EXPECT_EQ(f.remote, g.remote) << g.text;
        EXPECT_EQ(f.error, g.error) << g.text;
        EXPECT_EQ(f.fd, g.fd) << g.text;
        EXPECT_EQ(f.bitRateSwitch, g.brs) << g.text;
        EXPECT_EQ(f.errorStateIndicator, g.esi) << g.text;
        EXPECT_EQ(f.length, g.length) << g.text;
        EXPECT_EQ(CompactFrameText(f), g.back);
    }
    const struct {
        std::string text;
        const char* why;
    } bad[] = {
        {"181", "a frame is ID#DATA"},
        {"18#11", "the identifier has 3 hex digits (standard) or 8 (extended)"},
        {"800#11", "a standard identifier is 000 to 7FF"},
        {"18G#11", "the identifier is not hexadecimal"},
        {"181#112", "the data are pairs of hex digits"},
        {"181#112233445566778899", "a CAN 2.0 frame carries at most 8 data bytes"},
        {"181#R9", "a remote request is ID#R or ID#R and a length 0 to 8"},
        {"181##", "a CAN FD frame is ID##, a flags digit and the data"},
        {"181##G11", "a CAN FD frame is ID##, a flags digit and the data"},
        {"181##01", "the data are pairs of hex digits"},
        {"181##0" + std::string(130, '0'), "a CAN FD frame carries at most 64 data bytes"},
        {"20000080##0", "an error frame is not a CAN FD frame"},
    };
    for (const auto& b : bad) {
        const Result<CanFrame> f = ParseCompactFrame(b.text);
        EXPECT_FALSE(f) << b.text;
        EXPECT_EQ(f.Why(), b.why) << b.text;
    }
}

TEST(FrameFilter, FiltersReadAsCandumpReadsThem) {
    const auto filters = can::ParseFrameFilters("181:7FF,200~700,00000100:1FFFFF00");
    ASSERT_TRUE(filters) << filters.Why();
    const std::vector<std::pair<std::string, bool>> frames = {
        {"181#11", true},     {"182#11", true},  // 182: outside 2xx, taken by the inverted filter
        {"281#11", false},    {"2FF#11", false}, {"00000181#11", true},
        {"00000281#11", true},  // not a standard 2xx frame: the inverted filter takes it
        {"20000004#0000000000000000", false},
    };
    for (const auto& [text, passes] : frames) EXPECT_EQ(Passes(*filters, Frame(text)), passes) << text;
    const auto standardOnly = can::ParseFrameFilters("181:7FF");
    ASSERT_TRUE(standardOnly) << standardOnly.Why();
    EXPECT_FALSE(Passes(*standardOnly, Frame("00000181#11")));
    EXPECT_TRUE(Passes({}, Frame("281#11")));
    for (const char* bad : {"", "181", "18:7FF", "181:7FG", "800:7FF", "181:7FF,", "181:7FF;200:700"}) {
        const auto refused = can::ParseFrameFilters(bad);
        EXPECT_FALSE(refused) << bad;
        EXPECT_NE(refused.Why().find("a filter is ID:MASK or ID~MASK"), std::string::npos);
    }
}

TEST(CandumpWriter, WritesACandumpLogThatReplayReadsBack) {
    TempDir dir;
    const auto path = dir / "bench.log";
    const std::vector<std::string> frames = {"181#1122334455667788", "281#R", "12345678#AABB",
                                             "181##1112233445566778899AABBCC"};
    {
        CandumpWriter writer(path, "tcp://127.0.0.1:40123/can0");
        std::int64_t time = 1733661931'000000;
        for (const std::string& f : frames) writer.Add(Frame(f), time += 250000);
        writer.Flush();
        EXPECT_EQ(writer.Frames(), 4u);
        writer.Append(Frame("381#0102"), 1733661932'500001);
    }
    EXPECT_EQ(ReadFile(path),
              "(1733661931.250000) can0 181#1122334455667788\n"
              "(1733661931.500000) can0 281#R\n"
              "(1733661931.750000) can0 12345678#AABB\n"
              "(1733661932.000000) can0 181##1112233445566778899AABBCC\n"
              "(1733661932.500001) can0 381#0102\n");
    CanLogReader reader(path);
    LogFrame logged;
    BrokenLine broken;
    int read = 0;
    while (reader.Next(logged, broken) == CanLogReader::Step::Frame) ++read;
    EXPECT_EQ(read, 5);
    EXPECT_EQ(reader.Format(), LogFormat::CandumpLog);

    // can-utils reads it as its own (log2long), where installed.
    if (FILE* pipe = ::popen(("log2long < '" + path.string() + "' 2>/dev/null").c_str(), "r")) {
        std::string text;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
        if (::pclose(pipe) == 0 && !text.empty()) {
            EXPECT_NE(text.find("181   [8]  11 22 33 44 55 66 77 88"), std::string::npos) << text;
            EXPECT_NE(text.find("12345678   [2]  AA BB"), std::string::npos) << text;
            EXPECT_NE(text.find("181  [12]  11 22 33 44 55 66 77 88 99 AA BB CC"), std::string::npos) << text;
        }
    }
}

TEST(CandumpWriter, SaysWhichFileCannotBeCreatedAndWhy) {
    TempDir dir;
    try {
        CandumpWriter writer(dir / "missing" / "bench.log", "can0");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + (dir / "missing" / "bench.log").string() + "\". No such file or directory");
    }
    EXPECT_EQ(LogInterfaceName("can0"), "can0");
    EXPECT_EQ(LogInterfaceName("tcp://127.0.0.1:1/"), "can");
    EXPECT_EQ(LogInterfaceName("my can"), "my_can");
}

}  // namespace
}  // namespace vestrel::can
