#include "plot/chart.h"

#include "platform/text.h"
#include "signaldb/physical_value.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace vestrel::plot {

namespace {

// 1, 2 or 5 times a power of ten, the smallest not below `raw`.
double RoundStep(double raw) {
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw * (1 - 1e-9)) return m * power;
    return 10 * power;
}

// The decimals a step needs: 0.25 → 2, 5 → 0.
int StepDecimals(double step) {
    int decimals = 0;
    while (decimals < signaldb::kMaxDecimals &&
           std::fabs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) > 1e-6)
        ++decimals;
    return decimals;
}

// Two digits, or `width` of them with leading zeros.
std::string Digits(long long value, int width) {
    std::string text = std::to_string(value);
    if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
    return text;
}

const signaldb::ValueName* StateOf(const Chart& chart, double value) {
    if (chart.states.empty() || chart.factor == 0) return nullptr;
    const double raw = std::round((value - chart.offset) / chart.factor);
    for (const signaldb::ValueName& state : chart.states)
        if (static_cast<double>(state.value) == raw) return &state;
    return nullptr;
}

// The range of the values a chart holds, or nothing when it holds none.
std::optional<std::pair<double, double>> ValueRange(const Chart& chart) {
    std::optional<std::pair<double, double>> range;
    for (const Run& run : chart.runs)
        for (const StepPoint& p : run.points) {
            if (!range) range.emplace(p.value, p.value);
            range->first = std::min(range->first, p.value);
            range->second = std::max(range->second, p.value);
        }
    return range;
}

}  // namespace

std::optional<double> ValueAt(const Chart& chart, std::int64_t time) {
    // The last run that starts at or before `time`.
    auto run = std::upper_bound(chart.runs.begin(), chart.runs.end(), time,
                                [](std::int64_t t, const Run& r) { return t < r.points.front().time; });
    if (run == chart.runs.begin()) return std::nullopt;
    --run;
    if (time > run->end) return std::nullopt;
    auto point = std::upper_bound(run->points.begin(), run->points.end(), time,
                                  [](std::int64_t t, const StepPoint& p) { return t < p.time; });
    return std::prev(point)->value;
}

std::string NumberText(double value, int decimals) { return signaldb::FormatFixed(value, decimals); }

std::string ValueText(const Chart& chart, double value) {
    if (chart.kind != ChartKind::Signal) {
        const auto bits = static_cast<std::uint16_t>(static_cast<std::int32_t>(std::lround(value)) & 0xFFFF);
        return NumberText(value, 0) + " (" + PrefixedHex(bits, 4) + ")";
    }
    std::string text = NumberText(value, chart.decimals);
    if (!chart.unit.empty()) text += " " + chart.unit;
    if (const signaldb::ValueName* state = StateOf(chart, value)) text += " \"" + state->text + "\"";
    return text;
}

std::string TimeText(const TimeAxis& axis, std::int64_t time) {
    if (axis.unit == TimeUnit::Frames) return "frame " + std::to_string(time / 1000000 + 1);
    return NumberText(static_cast<double>(time) / 1e6, 3) + " s";
}

std::string UtcText(std::int64_t micros) {
    using namespace std::chrono;
    const std::int64_t perDay = 86400LL * 1000000;
    const std::int64_t days = micros >= 0 ? micros / perDay : -((-micros + perDay - 1) / perDay);
    const std::int64_t inDay = micros - days * perDay;
    const year_month_day date{sys_days{std::chrono::days{days}}};
    const std::int64_t seconds = inDay / 1000000;
    return std::to_string(static_cast<int>(date.year())) + "-" + Digits(static_cast<unsigned>(date.month()), 2) + "-" +
           Digits(static_cast<unsigned>(date.day()), 2) + " " + Digits(seconds / 3600, 2) + ":" +
           Digits(seconds / 60 % 60, 2) + ":" + Digits(seconds % 60, 2) + "." + Digits(inDay % 1000000, 6) + " UTC";
}

std::string TimeBaseText(const TimeAxis& axis) {
    if (axis.unit == TimeUnit::Frames) return "frames of the log (it holds no time stamps)";
    if (axis.live) return "s before now";
    if (axis.clock) return "s from the log's first frame (" + UtcText(axis.origin) + ")";
    return "s from the log's first frame (" + NumberText(static_cast<double>(axis.origin) / 1e6, 6) +
           " s after the start of the measurement)";
}

std::vector<Tick> RoundTicks(double low, double high, int count, int decimals, double smallest) {
    std::vector<Tick> ticks;
    if (!(high > low) || count < 1) return ticks;
    const double step = std::max(RoundStep((high - low) / count), smallest);
    const int shown = std::max(decimals, StepDecimals(step));
    for (double k = std::ceil(low / step - 1e-9); k * step <= high + step * 1e-9; ++k) {
        const double value = k * step;
        ticks.push_back({value, NumberText(value, shown)});
        if (ticks.size() > 50) break;
    }
    return ticks;
}

void FitValueAxis(Chart& chart) {
    const auto range = ValueRange(chart);
    double low = range ? range->first : 0, high = range ? range->second : 1;
    if (high - low < 1e-12) {
        const double room = std::max(std::fabs(low) * 0.1, chart.kind == ChartKind::Signal ? 1e-3 : 1.0);
        low -= room;
        high += room;
    }
    const double margin = (high - low) * 0.06;
    chart.low = low - margin;
    chart.high = high + margin;
    chart.ticks.clear();
    if (!chart.states.empty() && chart.factor != 0) {
        for (const signaldb::ValueName& state : chart.states) {
            const double value = static_cast<double>(state.value) * chart.factor + chart.offset;
            if (value >= chart.low && value <= chart.high) chart.ticks.push_back({value, state.text});
        }
        if (chart.ticks.size() <= 12 && !chart.ticks.empty()) return;
        chart.ticks.clear();
    }
    // A register's values are whole numbers, and so are its ticks.
    chart.ticks = RoundTicks(chart.low, chart.high, 5, 0, chart.kind == ChartKind::Signal ? 0 : 1);
}

}  // namespace vestrel::plot
