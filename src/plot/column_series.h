#pragma once

#include "plot/chart.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The series of one plot in bounded memory, however long the log: time is
// cut into columns of one width that every series shares, and a column
// keeps of what a series did in it only the first, the lowest, the highest
// and the last value, each with its time (so no spike is lost), and where
// the value stopped being known.
namespace vestrel::plot {

// What one series did within one column.
struct Column {
    std::int64_t index = 0;  // the column's number at the set's width
    bool known = false;      // a value came in this column
    StepPoint first, low, high, last;
    // Where the value stopped being known within the column: before its
    // first value (a gap went on into it), after its last one (a gap began).
    std::optional<std::int64_t> unknownBefore;
    std::optional<std::int64_t> unknownAfter;
};

class SeriesSet {
public:
    enum class Mode {
        // Times from 0 on; the width starts at one microsecond and doubles,
        // merging pairs of columns, whenever a time lies past the last column.
        Growing,
        // A fixed width on the caller's clock; columns before the newest
        // `capacity` are dropped (a live plot of the last seconds).
        Sliding,
    };

    SeriesSet(std::size_t series, std::size_t capacity, Mode mode, std::int64_t width = 1);

    // Series `s` holds `value` (nothing: not known) from `time` on. Times
    // must not go back; a growing set takes negative ones as 0.
    void Add(std::size_t s, std::int64_t time, std::optional<double> value);
    // The value series `s` holds where its columns begin, from before them.
    void Carry(std::size_t s, std::optional<double> value);
    // A mark of series `s`; one that begins within a column of the last of
    // its kind is joined to it.
    void AddMark(std::size_t s, const Mark& mark);
    // Sliding: drops what lies before the newest `capacity` columns up to `now`.
    void Slide(std::int64_t now);

    std::int64_t Width() const { return width_; }
    // Where the kept columns begin.
    std::int64_t Start() const;
    std::size_t Series() const { return series_.size(); }
    const std::vector<Column>& Columns(std::size_t s) const { return series_[s].columns; }

    // Series `s` as runs from Start() on, the last one held until `end`.
    std::vector<Run> Runs(std::size_t s, std::int64_t end) const;
    // Its marks, ordered by their beginning.
    std::vector<Mark> Marks(std::size_t s) const;

private:
    struct Track {
        std::vector<Column> columns;  // ascending by index, only those something happened in
        std::optional<double> carry;
        std::array<std::vector<Mark>, 2> marks;  // per MarkKind
    };

    std::int64_t IndexOf(std::int64_t time);
    void Widen();

    Mode mode_;
    std::size_t capacity_;
    std::int64_t width_;
    std::int64_t newest_ = 0;  // sliding: the newest column index seen
    std::vector<Track> series_;
};

}  // namespace vestrel::plot
