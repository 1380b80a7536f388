#include "plot/column_series.h"

#include <algorithm>

namespace vestrel::plot {

namespace {

// What `before` (the value held as the column began) has become at its end.
std::optional<double> EndState(const Column& c, std::optional<double> before) {
    if (c.unknownAfter) return std::nullopt;
    if (c.known) return c.last.value;
    if (c.unknownBefore) return std::nullopt;
    return before;
}

// Two neighbouring columns as one, `a` the earlier.
Column Merged(const Column& a, const Column& b) {
    if (!a.known) {
        Column m = b;
        if (a.unknownBefore) m.unknownBefore = a.unknownBefore;
        if (!b.known && !m.unknownBefore) m.unknownBefore = b.unknownBefore;
        return m;
    }
    Column m = a;
    if (!b.known) {
        if (!m.unknownAfter) m.unknownAfter = b.unknownBefore;
        return m;
    }
    // A gap that ended within the pair is narrower than a column: it goes.
    m.unknownAfter = b.unknownAfter;
    if (b.low.value < m.low.value) m.low = b.low;
    if (b.high.value > m.high.value) m.high = b.high;
    m.last = b.last;
    return m;
}

// The column's values in time order, each once.
std::vector<StepPoint> PointsOf(const Column& c) {
    std::vector<StepPoint> points{c.first, c.low, c.high, c.last};
    std::stable_sort(points.begin(), points.end(),
                     [](const StepPoint& x, const StepPoint& y) { return x.time < y.time; });
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}

void JoinMark(std::vector<Mark>& marks, const Mark& mark, std::int64_t width) {
    if (!marks.empty() && mark.from <= marks.back().to + width)
        marks.back().to = std::max(marks.back().to, mark.to);
    else
        marks.push_back(mark);
}

}  // namespace

SeriesSet::SeriesSet(std::size_t series, std::size_t capacity, Mode mode, std::int64_t width)
    : mode_(mode), capacity_(std::max<std::size_t>(capacity, 2)), width_(std::max<std::int64_t>(width, 1)),
      series_(series) {}

std::int64_t SeriesSet::Start() const {
    if (mode_ == Mode::Growing) return 0;
    return (newest_ - static_cast<std::int64_t>(capacity_) + 1) * width_;
}

std::int64_t SeriesSet::IndexOf(std::int64_t time) {
    if (mode_ == Mode::Growing) {
        time = std::max<std::int64_t>(time, 0);
        while (time / width_ >= static_cast<std::int64_t>(capacity_)) Widen();
        return time / width_;
    }
    const std::int64_t index = time >= 0 ? time / width_ : -((-time + width_ - 1) / width_);
    newest_ = std::max(newest_, index);
    return index;
}

void SeriesSet::Widen() {
    width_ *= 2;
    for (Track& series : series_) {
        std::vector<Column> merged;
        for (Column c : series.columns) {
            c.index /= 2;
            if (!merged.empty() && merged.back().index == c.index)
                merged.back() = Merged(merged.back(), c);
            else
                merged.push_back(c);
        }
        series.columns = std::move(merged);
        for (std::vector<Mark>& marks : series.marks) {
            std::vector<Mark> joined;
            for (const Mark& m : marks) JoinMark(joined, m, width_);
            marks = std::move(joined);
        }
    }
}

void SeriesSet::Add(std::size_t s, std::int64_t time, std::optional<double> value) {
    const std::int64_t index = IndexOf(time);
    if (mode_ == Mode::Growing) time = std::max<std::int64_t>(time, 0);
    Track& series = series_[s];
    if (series.columns.empty() || series.columns.back().index != index) {
        // A sliding set forgets old columns a batch at a time.
        if (mode_ == Mode::Sliding && series.columns.size() >= 2 * capacity_) {
            const std::int64_t startIndex = Start() / width_;
            auto keep = std::find_if(series.columns.begin(), series.columns.end(),
                                     [&](const Column& c) { return c.index >= startIndex; });
            for (auto it = series.columns.begin(); it != keep; ++it) series.carry = EndState(*it, series.carry);
            series.columns.erase(series.columns.begin(), keep);
        }
        Column column;
        column.index = index;
        series.columns.push_back(column);
    }
    Column& c = series.columns.back();
    const StepPoint point{time, value.value_or(0)};
    if (!value) {
        if (c.known && !c.unknownAfter) c.unknownAfter = time;
        if (!c.known && !c.unknownBefore) c.unknownBefore = time;
        return;
    }
    if (!c.known) {
        c.known = true;
        c.first = c.low = c.high = c.last = point;
        return;
    }
    c.unknownAfter.reset();  // a gap narrower than a column is not drawn
    if (point.value < c.low.value) c.low = point;
    if (point.value > c.high.value) c.high = point;
    c.last = point;
}

void SeriesSet::Carry(std::size_t s, std::optional<double> value) { series_[s].carry = value; }

void SeriesSet::AddMark(std::size_t s, const Mark& mark) {
    std::vector<Mark>& marks = series_[s].marks[static_cast<std::size_t>(mark.kind)];
    if (mode_ == Mode::Sliding && marks.size() >= 2 * capacity_)
        std::erase_if(marks, [start = Start()](const Mark& m) { return m.to < start; });
    JoinMark(marks, mark, width_);
}

void SeriesSet::Slide(std::int64_t now) {
    if (mode_ == Mode::Sliding) IndexOf(now);
}

std::vector<Run> SeriesSet::Runs(std::size_t s, std::int64_t end) const {
    const Track& series = series_[s];
    const std::int64_t start = Start();
    const std::int64_t startIndex = mode_ == Mode::Growing ? 0 : start / width_;
    std::optional<double> state = series.carry;
    std::size_t i = 0;
    for (; i < series.columns.size() && series.columns[i].index < startIndex; ++i)
        state = EndState(series.columns[i], state);

    std::vector<Run> runs;
    bool open = false;
    auto close = [&](std::int64_t at) {
        if (open) runs.back().end = std::max(at, runs.back().points.back().time);
        open = false;
    };
    auto add = [&](const StepPoint& p) {
        if (!open) runs.push_back(Run{{}, p.time});
        open = true;
        runs.back().points.push_back(p);
    };
    if (state) add({start, *state});
    for (; i < series.columns.size(); ++i) {
        const Column& c = series.columns[i];
        if (c.unknownBefore) close(*c.unknownBefore);
        if (c.known)
            for (const StepPoint& p : PointsOf(c)) add(p);
        if (c.unknownAfter) close(*c.unknownAfter);
    }
    close(end);
    return runs;
}

std::vector<Mark> SeriesSet::Marks(std::size_t s) const {
    std::vector<Mark> marks;
    const std::int64_t start = Start();
    for (const std::vector<Mark>& kind : series_[s].marks)
        for (const Mark& m : kind)
            if (m.to >= start) marks.push_back(Mark{std::max(m.from, start), m.to, m.kind});
    std::stable_sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.from < b.from; });
    return marks;
}

}  // namespace vestrel::plot
