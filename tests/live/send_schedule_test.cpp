// What send, play and stimulate put on a bus and when, on a clock the test
// moves: filters, absolute deadlines, a log's timing, the value patterns.
#include "gateway/model_loading.h"
#include "can/frame_filter.h"
#include "live/live_test_support.h"
#include "live/send_schedule.h"
#include "live/stimulus.h"
#include "support/temp_dir.h"

#include <fstream>
#include <tuple>

#include <gtest/gtest.h>

namespace vestrel::live {
namespace {

using namespace live::test;

can::CanFrame Frame(const std::string& text) {
    const Result<can::CanFrame> frame = can::ParseCompactFrame(text);
    EXPECT_TRUE(frame) << frame.Why();
    return frame ? *frame : can::CanFrame{};
}

struct FakeClock : SendClock {
    std::int64_t now = 5'000'000;
    std::int64_t Now() override { return now; }
    void SleepUntil(std::int64_t time) override { now = std::max(now, time); }
};

// A run driven as the event loop drives it: woken at each deadline it
// returns, `late[i]` microseconds after it.
struct Drive {
    std::vector<std::pair<std::string, std::int64_t>> sent;  // frame, clock time - start
    std::vector<std::int64_t> deadlines;                     // as returned, minus the start
    SendTally tally;
    std::string failure;
};

Drive DriveRun(FrameSource& source, const std::vector<std::int64_t>& late, std::size_t batch = 256,
          const std::string& refuse = {}) {
    FakeClock clock;
    const std::int64_t start = clock.now;
    Drive d;
    SendRun run(
        source, clock,
        [&](const can::CanFrame& f) -> Result<void> {
            if (can::CompactFrameText(f) == refuse) return Failure{"refused"};
            return {};
        },
        [&](const TimedSend& s) { d.sent.emplace_back(can::CompactFrameText(s.frame), clock.now - start); },
        batch);
    std::size_t wake = 0;
    while (auto next = run.Pump()) {
        d.deadlines.push_back(*next - start);
        clock.now = std::max(clock.now, *next + (late.empty() ? 0 : late[wake++ % late.size()]));
        if (d.deadlines.size() > 1000) break;
    }
    d.tally = run.Tally();
    d.failure = run.Outcome().Why();
    return d;
}

TEST(SendSchedule, PeriodsAreDueAtFixedTimesHoweverLateAWakeUpWas) {
    using Sent = std::vector<std::pair<std::string, std::int64_t>>;
    const std::vector<std::tuple<std::vector<std::int64_t>, Sent, std::int64_t>> cases = {
        {{}, {{"181#11", 0}, {"282#22", 0}, {"181#11", 10000}, {"282#22", 10000}, {"181#11", 20000}, {"282#22", 20000}}, 0},
        // Woken 3 ms late once: that period is late, the next one is not moved.
        {{3000, 0}, {{"181#11", 0}, {"282#22", 0}, {"181#11", 13000}, {"282#22", 13000}, {"181#11", 20000}, {"282#22", 20000}},
         3000},
    };
    for (const auto& [late, sent, behindMax] : cases) {
        PeriodicFrames periodic({Frame("181#11"), Frame("282#22")}, 10000, 3);
        const Drive d = DriveRun(periodic, late);
        EXPECT_EQ(d.sent, sent);
        EXPECT_EQ(d.deadlines, (std::vector<std::int64_t>{10000, 20000}));
        EXPECT_EQ(d.tally.frames, 6u);
        EXPECT_EQ(d.tally.periods, 3u);
        EXPECT_EQ(d.tally.behindMax, behindMax);
        EXPECT_EQ(d.tally.behindLast, 0);
    }
    // Frames due together go out in batches, the caller served in between.
    PeriodicFrames once({Frame("181#11"), Frame("282#22"), Frame("383#33")}, 0, 1);
    EXPECT_EQ(DriveRun(once, {}, 2).deadlines, (std::vector<std::int64_t>{0}));
    // A frame the interface refuses ends the run with its reason.
    PeriodicFrames refused({Frame("181#11"), Frame("282#22")}, 10000, 0);
    const Drive d = DriveRun(refused, {}, 256, "282#22");
    EXPECT_EQ(d.failure, "refused");
    EXPECT_EQ(d.tally.frames, 1u);
    EXPECT_EQ(MillisecondsText(1234), "1.2 ms");
    EXPECT_EQ(MillisecondsText(71'060), "71.1 ms");
}

TEST(SendSchedule, ALogIsPlayedWithItsOwnTimingScaled) {
    test::TempDir dir;
    const auto log = dir / "bus.log";
    std::ofstream(log) << "(100.000000) can0 181#11\n"
                          "(100.010000) can1 281#22\n"
                          "not a frame\n"
                          "(100.020000) can0 00000181#33\n"
                          "(100.030000) can0 20000080#0000000000000000\n"
                          "(100.040000) can0 381#R\n";
    using Sent = std::vector<std::pair<std::string, std::int64_t>>;
    struct Case {
        PlayOptions options;
        Sent sent;
        PlayCounts counts;
    };
    auto only = [](const char* text) { return *can::ParseFrameFilters(text); };
    const std::vector<Case> cases = {
        {{1, false, {}, ""},
         {{"181#11", 0}, {"281#22", 10000}, {"00000181#33", 20000}, {"381#R", 40000}},
         {1, 1, 0, 0}},
        {{2, false, {}, ""}, {{"181#11", 0}, {"281#22", 5000}, {"00000181#33", 10000}, {"381#R", 20000}}, {1, 1, 0, 0}},
        {{0, false, {}, ""}, {{"181#11", 0}, {"281#22", 0}, {"00000181#33", 0}, {"381#R", 0}}, {1, 1, 0, 0}},
        {{1, false, {}, "can1"}, {{"281#22", 0}}, {1, 0, 0, 4}},
        {{1, false, only("181:7FF"), ""}, {{"181#11", 0}}, {1, 1, 3, 0}},
    };
    for (const Case& c : cases) {
        LogFrames frames(log, c.options);
        const Drive d = DriveRun(frames, {});
        EXPECT_EQ(d.sent, c.sent) << c.options.speed << c.options.channel;
        EXPECT_EQ(std::tie(frames.Counts().broken, frames.Counts().errorFrames, frames.Counts().filtered,
                           frames.Counts().otherChannel),
                  std::tie(c.counts.broken, c.counts.errorFrames, c.counts.filtered, c.counts.otherChannel));
    }
    // Looped, the log starts again where it ended; a pass that sends nothing
    // ends the run instead of looping for ever.
    LogFrames looped(log, {1, true, only("381:7FF,181:7FF"), ""});
    TimedSend next;
    std::vector<std::pair<std::string, std::int64_t>> got;
    for (int i = 0; i < 5 && looped.Next(next); ++i) got.emplace_back(can::CompactFrameText(next.frame), next.at);
    EXPECT_EQ(got, (Sent{{"181#11", 0}, {"381#R", 40000}, {"181#11", 40000}, {"381#R", 80000}, {"181#11", 80000}}));
    LogFrames nothing(log, {1, true, only("7FF:7FF"), ""});
    EXPECT_FALSE(nothing.Next(next));
}

// A stamp earlier than the one before goes out with it, never before it;
// one later than the schedule counts goes out at its end, never wrapped to
// the start.
TEST(SendSchedule, ALogsTimeThatGoesBackOrBeyondTheScheduleKeepsItsOrder) {
    test::TempDir dir;
    const auto log = dir / "bus.log";
    std::ofstream(log) << "(100.000000) can0 181#01\n"
                          "(99.500000) can0 181#02\n"
                          "(100.500000) can0 181#03\n"
                          "(999999999999.000000) can0 181#04\n"
                          "(100.600000) can0 181#05\n";
    using Sent = std::vector<std::pair<std::string, std::int64_t>>;
    const std::int64_t kEnd = LogFrames::kLatestPlayed;
    const std::vector<std::pair<double, Sent>> cases = {
        {1, {{"181#01", 0}, {"181#02", 0}, {"181#03", 500000}, {"181#04", 999999999899000000}, {"181#05", 999999999899000000}}},
        {0.001, {{"181#01", 0}, {"181#02", 0}, {"181#03", 500000000}, {"181#04", kEnd}, {"181#05", kEnd}}},
    };
    for (const auto& [speed, sent] : cases) {
        LogFrames frames(log, {speed, false, {}, ""});
        Sent got;
        for (TimedSend next; frames.Next(next);) got.emplace_back(can::CompactFrameText(next.frame), next.at);
        EXPECT_EQ(got, sent) << speed;
    }
}

std::vector<std::string> Texts(const std::vector<can::CanFrame>& frames) {
    std::vector<std::string> texts;
    for (const can::CanFrame& f : frames) texts.push_back(can::CompactFrameText(f));
    return texts;
}

TEST(Stimulus, PatternsGiveEveryReceiveFrameAtItsDimensin) {
    const gateway::ProjectModel demo = DemoModel();
    using Texts_ = std::vector<std::string>;
    const std::vector<std::tuple<StimulusPattern, std::uint64_t, Texts_>> cases = {
        {StimulusPattern::Count, 0, {"181#0100020003000400", "281#05000600", "381#0700"}},
        {StimulusPattern::Count, 2, {"181#0102020203020402", "281#05020602", "381#0702"}},
        {StimulusPattern::Ramp, 0, {"181#0000000000000000", "281#00000000", "381#0000"}},
        {StimulusPattern::Ramp, 1, {"181#1111111111111111", "281#11111111", "381#1111"}},
        {StimulusPattern::Ramp, 15, {"181#FFFFFFFFFFFFFFFF", "281#FFFFFFFF", "381#FFFF"}},
        {StimulusPattern::Ramp, 16, {"181#0000000000000000", "281#00000000", "381#0000"}},
    };
    for (const auto& [pattern, change, texts] : cases) {
        const Stimulus stimulus(demo.model, nullptr, pattern, 1);
        EXPECT_EQ(Texts(stimulus.FramesAt(change)), texts) << StimulusPatternName(pattern) << change;
    }
    // Random: the same seed, the same values; another seed or change, others.
    const Stimulus one(demo.model, nullptr, StimulusPattern::Random, 1), again(demo.model, nullptr, StimulusPattern::Random, 1),
        other(demo.model, nullptr, StimulusPattern::Random, 2);
    EXPECT_EQ(one.ValuesAt(3), again.ValuesAt(3));
    EXPECT_NE(one.ValuesAt(3), other.ValuesAt(3));
    EXPECT_NE(one.ValuesAt(3), one.ValuesAt(4));
    for (const char* name : {"count", "ramp", "random"}) EXPECT_EQ(StimulusPatternName(*ParseStimulusPattern(name)), std::string(name));
    EXPECT_FALSE(ParseStimulusPattern("saw"));
    EXPECT_EQ(DefaultHoldPeriods(100), 30);
    EXPECT_EQ(DefaultHoldPeriods(7), 429);
    EXPECT_EQ(DefaultHoldPeriods(5000), 1);
}

TEST(Stimulus, ARampWalksEachImportedSignalFromMinimumToMaximum) {
    const gateway::ProjectModel demo = DemoModel();
    signaldb::SignalFile file;
    signaldb::ImportedMessage message;
    message.direction = FrameDirection::Receive;
    message.name = "Status";
    message.id = 0x181;
    message.length = 8;
    signaldb::ImportedSignal speed;
    speed.signal.name = "Speed";
    speed.signal.length = 16;
    speed.signal.factor = 0.5;
    speed.signal.minimum = -10;
    speed.signal.maximum = 20;
    speed.signal.type = signaldb::ValueType::Signed;
    speed.registers = {2};
    speed.mask = 0xFFFF;
    signaldb::ImportedSignal flags = speed;  // no range: its raw bits walk
    flags.signal.name = "Flags";
    flags.signal.minimum = flags.signal.maximum = 0;
    flags.signal.length = 4;
    flags.signal.type = signaldb::ValueType::Unsigned;
    flags.registers = {3};
    flags.mask = 0xF;
    message.signalList = {speed, flags};
    file.messages.push_back(message);
    const gateway::SignalValues values(file);
    const Stimulus stimulus(demo.model, &values, StimulusPattern::Ramp, 1);
    // Register 2: -10 → raw -20 (0xFFEC); 20 → raw 40. Register 3: the high
    // bits keep the register's own ramp, the low four the signal's.
    EXPECT_EQ(stimulus.ValuesAt(0).at(2), 0xFFEC);
    EXPECT_EQ(stimulus.ValuesAt(15).at(2), 40);
    EXPECT_EQ(stimulus.ValuesAt(5).at(2), 0);  // -10 + 30 × 5 / 15
    EXPECT_EQ(stimulus.ValuesAt(0).at(3), 0x0000);
    EXPECT_EQ(stimulus.ValuesAt(15).at(3), 0xFFFF);
    EXPECT_EQ(stimulus.ValuesAt(1).at(3), 0x1111);
    EXPECT_EQ(stimulus.ValuesAt(1).at(1), 0x1111) << "a register no signal uses walks its whole range";
}

TEST(Stimulus, ValuesChangeEveryHoldPeriods) {
    const gateway::ProjectModel demo = DemoModel();
    const Stimulus stimulus(demo.model, nullptr, StimulusPattern::Count, 1);
    StimulusFrames frames(stimulus, 10000, 2, 3);
    std::vector<std::tuple<std::string, std::int64_t, bool>> got;
    for (TimedSend next; frames.Next(next);)
        got.emplace_back(can::CompactFrameText(next.frame), next.at, frames.NewValues());
    const std::vector<std::tuple<std::string, std::int64_t, bool>> expected = {
        {"181#0100020003000400", 0, true},      {"281#05000600", 0, false},      {"381#0700", 0, false},
        {"181#0100020003000400", 10000, false}, {"281#05000600", 10000, false},  {"381#0700", 10000, false},
        {"181#0101020103010401", 20000, true},  {"281#05010601", 20000, false},  {"381#0701", 20000, false},
    };
    EXPECT_EQ(got, expected);
    // A frame whose COB-ID the banks give another frame is left out, and said.
    const gateway::ProjectModel twice = ModelOf("0", {{"0x181", 2}, {"0x181", 2}}, {{1, 1, 0x12}, {2, 2, 0x12}});
    const Stimulus left(twice.model, nullptr, StimulusPattern::Count, 1);
    EXPECT_EQ(left.Sent().size(), 1u);
    ASSERT_EQ(left.LeftOut().size(), 1u);
    EXPECT_EQ(left.LeftOut()[0].rfind("receive frame ", 0), 0u) << left.LeftOut()[0];
}

}  // namespace
}  // namespace vestrel::live
