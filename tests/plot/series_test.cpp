// The series' decimation against a plain account of every value: each
// column keeps the first, lowest, highest and last value of what fell into
// it, the runs draw nothing that did not happen, and gaps stay gaps.
#include "plot/column_series.h"

#include <map>
#include <random>

#include <gtest/gtest.h>

namespace vestrel::plot {
namespace {

struct Event {
    std::int64_t time;
    std::optional<double> value;
};

// What happened in one column, worked out from every event.
struct Truth {
    std::optional<StepPoint> first, low, high, last;
};

std::map<std::int64_t, Truth> Columns(const std::vector<Event>& events, std::int64_t width) {
    std::map<std::int64_t, Truth> columns;
    for (const Event& e : events) {
        if (!e.value) continue;
        Truth& t = columns[e.time / width];
        const StepPoint p{e.time, *e.value};
        if (!t.first) t.first = t.low = t.high = p;
        if (p.value < t.low->value) t.low = p;
        if (p.value > t.high->value) t.high = p;
        t.last = p;
    }
    return columns;
}

// The value held at `time`: that of the last event at or before it.
std::optional<double> HeldAt(const std::vector<Event>& events, std::int64_t time) {
    std::optional<double> held;
    for (const Event& e : events) {
        if (e.time > time) break;
        held = e.value;
    }
    return held;
}

std::vector<Event> RandomEvents(std::mt19937& random, std::size_t count, std::int64_t from, int maxStep) {
    std::vector<Event> events;
    std::int64_t t = from;
    std::uniform_int_distribution<int> step(0, maxStep), value(-50, 50), gap(0, 40);
    for (std::size_t i = 0; i < count; ++i) {
        t += step(random);
        if (gap(random) == 0)
            events.push_back({t, std::nullopt});
        else
            events.push_back({t, static_cast<double>(value(random))});
    }
    return events;
}

void ExpectRunsTellTheTruth(const SeriesSet& set, const std::vector<Event>& events, std::int64_t end) {
    const std::vector<plot::Run> runs = set.Runs(0, end);
    std::int64_t previousEnd = std::numeric_limits<std::int64_t>::min();
    for (const plot::Run& run : runs) {
        ASSERT_FALSE(run.points.empty());
        EXPECT_GE(run.points.front().time, previousEnd);  // in order, apart
        previousEnd = run.end;
        for (const StepPoint& p : run.points) {
            // Each point is a value that was held at its time (the carried
            // one at the start included).
            const bool happened = std::any_of(events.begin(), events.end(),
                                              [&](const Event& e) { return e.time == p.time && e.value == p.value; });
            EXPECT_TRUE(happened || (p.time == set.Start() && HeldAt(events, p.time - 1) == p.value))
                << p.time << " " << p.value;
        }
    }
    // A column in which the value was never known and that began unknown is
    // covered by no run.
    const std::int64_t width = set.Width();
    const auto truth = Columns(events, width);
    for (std::int64_t k = set.Start() / width; k * width <= end; ++k) {
        if (truth.count(k) || HeldAt(events, k * width)) continue;
        const std::int64_t middle = k * width + width / 2;
        const bool covered = std::any_of(runs.begin(), runs.end(), [&](const plot::Run& r) {
            return r.points.front().time < k * width && r.end > middle;
        });
        EXPECT_FALSE(covered) << "column " << k;
    }
}

void ExpectColumnsKeepExtremes(const SeriesSet& set, const std::vector<Event>& events) {
    const auto truth = Columns(events, set.Width());
    const std::int64_t startIndex = set.Start() / set.Width();
    std::size_t compared = 0;
    for (const Column& c : set.Columns(0)) {
        if (c.index < startIndex || !c.known) continue;
        ASSERT_TRUE(truth.count(c.index)) << c.index;
        const Truth& t = truth.at(c.index);
        EXPECT_EQ(c.first, *t.first) << c.index;
        EXPECT_EQ(c.low, *t.low) << c.index;
        EXPECT_EQ(c.high, *t.high) << c.index;
        EXPECT_EQ(c.last, *t.last) << c.index;
        ++compared;
    }
    std::size_t expected = 0;
    for (const auto& [index, t] : truth) expected += index >= startIndex ? 1 : 0;
    EXPECT_EQ(compared, expected);
}

TEST(SeriesSet, AGrowingSetKeepsEveryColumnsExtremesAndNoMore) {
    const struct {
        std::size_t events;
        std::size_t capacity;
        int maxStep;
    } kCases[] = {{20, 64, 3}, {5000, 16, 7}, {20000, 100, 1000}, {3000, 2, 50}};
    std::mt19937 random(7);
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::to_string(c.events) + " events, " + std::to_string(c.capacity) + " columns");
        const std::vector<Event> events = RandomEvents(random, c.events, 0, c.maxStep);
        SeriesSet set(1, c.capacity, SeriesSet::Mode::Growing);
        for (const Event& e : events) set.Add(0, e.time, e.value);
        EXPECT_LE(set.Columns(0).size(), c.capacity);
        EXPECT_LT(events.back().time / set.Width(), static_cast<std::int64_t>(c.capacity));
        ExpectColumnsKeepExtremes(set, events);
        ExpectRunsTellTheTruth(set, events, events.back().time + 5);
    }
}

TEST(SeriesSet, ASlidingSetKeepsTheLastColumnsAndCarriesTheValueIntoThem) {
    std::mt19937 random(11);
    for (const std::int64_t width : {1, 10, 1000}) {
        SCOPED_TRACE(width);
        const std::vector<Event> events = RandomEvents(random, 20000, 1'700'000'000'000'000, 40);
        SeriesSet set(1, 50, SeriesSet::Mode::Sliding, width);
        for (const Event& e : events) set.Add(0, e.time, e.value);
        EXPECT_LE(set.Columns(0).size(), 100u);  // old columns go in batches
        const std::int64_t start = set.Start();
        EXPECT_EQ(start, (events.back().time / width - 49) * width);
        ExpectColumnsKeepExtremes(set, events);
        const std::vector<plot::Run> runs = set.Runs(0, events.back().time);
        const std::optional<double> carried = HeldAt(events, start - 1);
        if (carried && (runs.empty() || runs.front().points.front().time != start))
            ADD_FAILURE() << "the value held before the window does not start it";
        ExpectRunsTellTheTruth(set, events, events.back().time);
    }
}

TEST(SeriesSet, MarksNearerThanAColumnJoinAndWideningJoinsThemAgain) {
    SeriesSet set(1, 4, SeriesSet::Mode::Growing);
    set.AddMark(0, {0, 1, MarkKind::Late});
    set.AddMark(0, {2, 3, MarkKind::Late});      // a column apart: joined
    set.AddMark(0, {10, 11, MarkKind::Late});    // further: apart
    set.AddMark(0, {2, 3, MarkKind::TimedOut});  // another kind never joins
    EXPECT_EQ(set.Marks(0).size(), 3u);
    set.Add(0, 0, 1.0);
    set.Add(0, 40, 2.0);  // 4 columns of 16 µs now
    EXPECT_EQ(set.Width(), 16);
    const std::vector<Mark> marks = set.Marks(0);
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].kind, MarkKind::Late);
    EXPECT_EQ(marks[0].from, 0);
    EXPECT_EQ(marks[0].to, 11);
    EXPECT_EQ(marks[1].kind, MarkKind::TimedOut);
}

}  // namespace
}  // namespace vestrel::plot
