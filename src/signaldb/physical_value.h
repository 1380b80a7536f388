#pragma once

#include "signaldb/signal_database.h"

#include <cstdint>
#include <string>
#include <string_view>

// Physical values as the user reads and types them: physical = raw × factor
// + offset. Every text here is the same in any locale.
namespace vestrel::signaldb {

// The most decimals a physical value is shown with.
inline constexpr int kMaxDecimals = 12;

// The shortest text that reads back as the same double: "0.1", "-40", "1e-05".
std::string ShortestText(double value);

// The decimals of a number's shortest text: 0.1 → 1, 0.125 → 3, 2 → 0, 1e-05 → 5.
int DecimalsOf(double value);

// How many decimals a signal's physical values are shown with: as many as
// its factor has, or its offset where that has more (an offset of 0.5 shows
// the halves), at most kMaxDecimals.
int PhysicalDecimals(const Signal& signal);

// `value` with exactly `decimals` decimals, rounded; never "-0".
std::string FormatFixed(double value, int decimals);

// The physical value of a signal's raw bits as shown: integer signals with
// PhysicalDecimals, float signals in their shortest form.
std::string PhysicalText(const Signal& signal, std::uint64_t bits);

// The scaling as a formula: "raw", "raw × 0.1", "raw - 40", "raw × 0.1 + 5",
// followed by the unit where there is one ("raw × 0.1 A").
std::string ScalingText(const Signal& signal);

// The physical range, "-40..215" (with PhysicalDecimals); empty where the
// file gives none (minimum and maximum both 0).
std::string RangeText(const Signal& signal);

// The lowest (`high` false) or highest physical value a signal's bits give,
// exactly: for integer signals worked out on the decimal digits of the raw
// limit, the factor and the offset ("-9223372036854775808", "3276.7"), for
// float signals the shortest text of the double.
std::string PhysicalLimitText(const Signal& signal, bool high);

enum class ToRaw {
    Ok,
    NotANumber,       // the text is not a decimal number
    OutsideRawRange,  // the raw value does not fit the signal's bits
};

struct RawConversion {
    ToRaw outcome = ToRaw::NotANumber;
    std::uint64_t bits = 0;      // Ok: the raw bits to send
    bool outsideMinMax = false;  // Ok, but outside the signal's minimum..maximum
};

// The raw bits for a physical value typed as decimal text ("12.5", "-3",
// "1e3"): raw = (value - offset) / factor, for integer signals rounded to the
// nearest integer, halves away from zero, worked out exactly on the decimal
// digits (0.35 with factor 0.1 gives 4, not 3). The signal must be usable
// (no `problem`).
RawConversion PhysicalToRaw(const Signal& signal, std::string_view valueText);

}  // namespace vestrel::signaldb
