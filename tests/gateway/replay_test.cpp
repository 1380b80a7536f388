// The replay's summary: what it counts, and that it stays bounded whatever
// the log holds.
#include "gateway/model_loading.h"
#include "gateway/replay.h"

#include "can/can_log_reader.h"
#include "gateway_test_support.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <random>

#include <gtest/gtest.h>

namespace vestrel::gateway {
namespace {

using namespace vestrel::gateway::test;
using vestrel::test::TempDir;
using vestrel::test::WriteFile;

const ProjectModel& Demo() {
    static const ProjectModel demo = LoadProjectModel(VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo");
    return demo;
}

class StringSink : public TextSink {
public:
    void Write(std::string_view text) override { csv.append(text); }
    std::string csv;
};

struct Replayed {
    std::string csv;
    ReplaySummary summary;
    std::vector<std::string> lines;
};

Replayed ReplayLog(const std::string& log, const std::string& channel = {}) {
    TempDir dir;
    WriteFile(dir / "bus.log", log);
    can::CanLogReader reader(dir / "bus.log");
    StringSink sink;
    Replay replay(Demo().model, sink, channel);
    can::LogFrame frame;
    can::BrokenLine broken;
    for (auto step = reader.Next(frame, broken); step != can::CanLogReader::Step::End; step = reader.Next(frame, broken))
        if (step == can::CanLogReader::Step::Frame)
            replay.Feed(frame);
        else
            replay.CountBrokenLine();
    replay.Finish();
    Replayed r{sink.csv, replay.Summary(reader), {}};
    r.lines = ReplaySummaryLines(Demo().model, r.summary);
    return r;
}

bool HasLine(const Replayed& r, const std::string& line) {
    return std::find(r.lines.begin(), r.lines.end(), line) != r.lines.end();
}

// A CAN FD frame on a receive frame's COB-ID sets no register and is no
// broken line: it is counted as what it is.
TEST(Replay, CanFdFramesAreCountedAsNotFed) {
    const Replayed r = ReplayLog(
        "(1.000000) can0 181##10001000003E800101122\n"
        "(1.000001) can0 181#0001000003E80010\n"
        "(1.000002)  can0  281  [08]  00 19 00 20 00 00 00 00\n");
    EXPECT_EQ(r.summary.frames, 3u);
    EXPECT_EQ(r.summary.fdFrames, 2u);
    EXPECT_EQ(r.summary.brokenLines, 0u);
    EXPECT_EQ(r.csv.find("1.000000"), std::string::npos) << r.csv;
    EXPECT_NE(r.csv.find("1.000001,1,0x????,0x0001,1,0x181"), std::string::npos) << r.csv;
    EXPECT_EQ(r.lines[0],
              "Log: candump log file, 3 lines, 3 frames, 0 broken lines, 0 error frames; CAN FD, not fed: 2 frames");
    EXPECT_TRUE(HasLine(r, "  0x181              2  receive frame 1 \"Drive status\" (CAN FD, not fed: 1 frame)"));
    EXPECT_TRUE(
        HasLine(r, "  0x281              1  receive frame 2 \"Motor temperatures\" (CAN FD, not fed: 1 frame)"));
}

TEST(Replay, AChannelTakesOnlyItsFramesAndNamesTheOthers) {
    const std::string log =
        "(1.000000) can0 181#0001000003E80010\n"
        "(1.000001) can1 181#0002000003E80010\n"
        "(1.000002) can1 20000080#0000000000000000\n";
    const Replayed one = ReplayLog(log, "can1");
    EXPECT_EQ(one.summary.frames, 1u);
    EXPECT_EQ(one.summary.errorFrames, 1u);
    EXPECT_NE(one.csv.find("1.000001,1,0x????,0x0002,1,0x181"), std::string::npos) << one.csv;
    EXPECT_EQ(one.lines[1], "Channel can1: 1 frame on other channels left out (channels in the log: can0, can1)");
    const Replayed none = ReplayLog(log, "can7");
    EXPECT_EQ(none.summary.frames + none.summary.errorFrames, 0u);
    EXPECT_EQ(none.lines[1], "Channel can7: 3 frames on other channels left out (channels in the log: can0, can1)");
}

// Millions of random identifiers once took gigabytes and printed a line
// each. The project's identifiers keep exact counts; of the others the
// busiest are listed and the rest are counted, as estimates marked as such.
TEST(Replay, TheSummaryStaysBoundedWhateverIdentifiersTheLogHolds) {
    std::mt19937 random(15);
    std::string log;
    const int kRandom = 60000;
    for (int i = 0; i < kRandom; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "(1.%06d) can0 %08X#11\n", i % 1000000,
                      static_cast<unsigned>(random()) & kMaxExtendedId);
        log += line;
        if (i % 10 == 0) log += "(1.000000) can0 181#0001000003E80010\n(1.000000) can0 18FFAAAA#11\n";
        if (i % 1000 == 0) log += "(1.000000) can0 7E5#11\n";
    }
    const Replayed r = ReplayLog(log);
    EXPECT_LE(r.lines.size(), 2 * kListedOtherIds + 20);  // the busiest others, listed twice at most
    EXPECT_TRUE(HasLine(r, "  0x181           6000  receive frame 1 \"Drive status\"")) << r.lines[3];
    EXPECT_TRUE(HasLine(r, "  0x7E5             60  no frame table holds it"));
    // The busiest identifier that the project does not name is found.
    EXPECT_TRUE(std::any_of(r.lines.begin(), r.lines.end(), [](const std::string& line) {
        return line.rfind("  0x18FFAAAA      6000  29-bit frame", 0) == 0;
    }));
    const TrafficCounts::Listing& t = r.summary.traffic;
    EXPECT_TRUE(t.idsEstimated);
    EXPECT_NEAR(static_cast<double>(t.furtherIds), kRandom - (kListedOtherIds - 2), kRandom * 0.05);
    EXPECT_TRUE(std::any_of(r.lines.begin(), r.lines.end(), [](const std::string& line) {
        return line.rfind("  about ", 0) == 0 && line.find(" further ids, ") != std::string::npos;
    }));

    // Only random identifiers, more than the table holds: none listed, the
    // identifiers estimated, the frames counted.
    std::string only;
    for (int i = 0; i < 3000; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "(1.000000) can0 %08X#11\n", static_cast<unsigned>(random()) & kMaxExtendedId);
        only += line;
    }
    const Replayed o = ReplayLog(only);
    ASSERT_EQ(o.lines[2], "Frames per COB-ID:");
    ASSERT_EQ(o.lines[3].rfind("  about ", 0), 0u) << o.lines[3];
    EXPECT_NEAR(std::stod(o.lines[3].substr(8)), 3000, 150) << o.lines[3];
    EXPECT_NE(o.lines[3].find(" further ids, 3000 frames (not listed)"), std::string::npos) << o.lines[3];
    EXPECT_EQ(o.lines[4], "Configured frames never seen:");
}

// Few identifiers: every one is listed with exact counts, as before.
TEST(Replay, FewIdentifiersAreListedExactly) {
    std::string log;
    for (int i = 0; i < 40; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "(1.000000) can0 %08X#11\n", 0x1000 + i);
        log += line;
    }
    const Replayed r = ReplayLog(log);
    EXPECT_FALSE(r.summary.traffic.idsEstimated);
    EXPECT_EQ(r.summary.traffic.traffic.size(), 40u);
    EXPECT_EQ(r.summary.traffic.furtherIds, 0u);
    EXPECT_TRUE(std::none_of(r.lines.begin(), r.lines.end(),
                             [](const std::string& line) { return line.find("further") != std::string::npos; }));
}

}  // namespace
}  // namespace vestrel::gateway
