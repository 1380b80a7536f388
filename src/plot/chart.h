#pragma once

#include "signaldb/signal_database.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a plot shows, as a value: per chart the stretches of known values
// (steps, since a register holds its value until a frame changes it), the
// gaps between them, the marks where the frame feeding it stopped coming,
// and the axes. The SVG and HTML writers and the windows all draw from it.
// Times are microseconds from the time axis's origin.
namespace vestrel::plot {

// From `time` on the chart holds `value`, until the next point.
struct StepPoint {
    std::int64_t time = 0;
    double value = 0;

    friend bool operator==(const StepPoint&, const StepPoint&) = default;
};

// A stretch in which the value is known: each point's value holds until
// the next point, the last one until `end`. Between runs the value is not
// known (a register half no frame has fed yet): a gap, never 0.
struct Run {
    std::vector<StepPoint> points;  // in time order, at least one
    std::int64_t end = 0;
};

enum class MarkKind {
    Late,      // the frame did not come for longer than its cycle time allows
    TimedOut,  // ... nor within the project's data time-out
};

// From `from` to `to` the frame that feeds the chart was overdue: what the
// chart shows there is an old value the master kept reading.
struct Mark {
    std::int64_t from = 0;
    std::int64_t to = 0;
    MarkKind kind = MarkKind::Late;
};

struct Tick {
    double value = 0;
    std::string label;  // as the file holds it where it is a state name
};

enum class ChartKind {
    Signal,          // the physical value of an imported signal, in its unit
    Register,        // a register's raw value, 0 to 65535
    SignedRegister,  // a register that holds a signed signal's sign bit: -32768 to 32767
};

struct Chart {
    ChartKind kind = ChartKind::Register;
    std::string name;     // "ActualSpeed", "DriveStatus.Speed", "receive register 2"; as the file holds it
    std::string unit;     // the signal's unit; empty for registers
    std::string origin;   // where the values come from: "receive frame 1 "DriveStatus" (COB-ID 0x181), every 100 ms"
    std::vector<Run> runs;
    std::vector<Mark> marks;  // in time order, apart from each other
    double low = 0;           // the value axis
    double high = 1;
    std::vector<Tick> ticks;
    int decimals = 0;                             // how values are written
    std::vector<signaldb::ValueName> states;      // the signal's value table, by raw value
    double factor = 1;                            // raw = (value - offset) / factor, for the state names
    double offset = 0;
    std::string note;  // why the chart is empty, where it is
};

enum class TimeUnit {
    Seconds,
    Frames,  // the log holds no time stamps: one step per frame
};

struct TimeAxis {
    TimeUnit unit = TimeUnit::Seconds;
    std::int64_t origin = 0;  // on the log's clock: the time of the log's first frame
    bool clock = false;       // the log's clock is the time of day (microseconds since the epoch)
    bool live = false;        // the origin is now, and the times before it are negative
    std::int64_t from = 0;    // the stretch a plot covers
    std::int64_t to = 0;
    // The width of the columns the charts were kept in from `from` on: of
    // all a chart's values within one, only the first, lowest, highest and
    // last are kept.
    std::int64_t resolution = 1;
};

struct LegendEntry {
    MarkKind kind = MarkKind::Late;
    std::string text;
};

struct Plot {
    std::string title;  // as the file names hold it, not escaped
    TimeAxis time;
    std::vector<Chart> charts;
    std::vector<LegendEntry> legend;  // the kinds of marks that can occur, what each means
};

// A frame is late once it has not come for this many of its cycle times: a
// bus jitters, and a frame a little late is no stale value.
inline constexpr double kLateCycles = 1.5;

// The value the chart holds at `time`; nothing in a gap.
std::optional<double> ValueAt(const Chart& chart, std::int64_t time);

// "400.0 A", "2 "overvoltage"", "4000 (0x0FA0)", "-500 (0xFE0C)": a value
// of the chart as the user reads it. Names as the file holds them.
std::string ValueText(const Chart& chart, double value);

// "12.5", "-3", "0.25": a number with `decimals` decimals, the same in every locale.
std::string NumberText(double value, int decimals);

// The axis's time in its own words: "1.250 s", "-3.000 s", "frame 12".
std::string TimeText(const TimeAxis& axis, std::int64_t time);

// What the times count from: "s from the log's first frame (2024-12-08
// 12:45:31.000000 UTC)", "s before now", "frames of the log (it holds no
// time stamps)".
std::string TimeBaseText(const TimeAxis& axis);

// "2024-12-08 12:45:31.000000 UTC" for microseconds since the epoch.
std::string UtcText(std::int64_t micros);

// Ticks for an axis from `low` to `high`: about `count` round numbers (1, 2
// or 5 times a power of ten apart, at least `smallest`), labelled with
// `decimals` decimals or as many as the step needs.
std::vector<Tick> RoundTicks(double low, double high, int count, int decimals, double smallest = 0);

// The value axis of a chart from its runs: the lowest and highest value
// with a little room, the ticks (state names where the signal has them).
void FitValueAxis(Chart& chart);

}  // namespace vestrel::plot
