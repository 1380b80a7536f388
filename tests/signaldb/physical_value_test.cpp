#include "signaldb/physical_value.h"
#include "signaldb/signal_codec.h"

#include <bit>
#include <clocale>
#include <limits>

#include <gtest/gtest.h>

namespace vestrel::signaldb {
namespace {

Signal MakeSignal(ValueType type, int length, double factor = 1, double offset = 0, double min = 0, double max = 0,
                  const char* unit = "") {
    Signal s;
    s.type = type;
    s.length = length;
    s.factor = factor;
    s.offset = offset;
    s.minimum = min;
    s.maximum = max;
    s.unit = unit;
    return s;
}

constexpr ValueType U = ValueType::Unsigned, S = ValueType::Signed, F = ValueType::Float32, D = ValueType::Float64;

TEST(PhysicalValue, DecimalsFollowTheFactorOrAFinerOffset) {
    const struct {
        double factor, offset;
        int decimals;
    } kCases[] = {
        {0.1, 0, 1}, {0.125, 0, 3}, {2, 0, 0}, {1e-05, 0, 5}, {0.0625, -40, 4}, {-0.5, 0, 1},
        {1, 0.5, 1}, {0.01, -273.15, 2}, {1e-20, 0, kMaxDecimals}, {1e20, 0, 0},
    };
    for (const auto& c : kCases) {
        const Signal s = MakeSignal(U, 8, c.factor, c.offset);
        EXPECT_EQ(PhysicalDecimals(s), c.decimals) << c.factor << " " << c.offset;
    }
}

TEST(PhysicalValue, ValuesAreShownWithTheSignalsDecimalsInAnyLocale) {
    std::setlocale(LC_ALL, "de_DE.UTF-8");  // a decimal comma, where the locale exists
    const struct {
        Signal signal;
        std::uint64_t bits;
        const char* text;
    } kCases[] = {
        {MakeSignal(S, 16, 0.1), 0xFFFF, "-0.1"},
        {MakeSignal(S, 16, 0.1), 3, "0.3"},
        {MakeSignal(U, 8, 0.125), 5, "0.625"},
        {MakeSignal(U, 8, 1, -40), 0, "-40"},
        {MakeSignal(U, 8, 0.01, -0.01), 1, "0.00"},
        {MakeSignal(U, 16, 0.5, 0.5), 3, "2.0"},
        {MakeSignal(F, 32), std::bit_cast<std::uint32_t>(1.5f), "1.5"},
        {MakeSignal(F, 32), std::bit_cast<std::uint32_t>(0.1f), "0.1"},
        {MakeSignal(F, 32, 0.1), std::bit_cast<std::uint32_t>(3.0f), "0.3"},
        {MakeSignal(D, 64, 2, 1), std::bit_cast<std::uint64_t>(0.1), "1.2"},
        {MakeSignal(D, 64), std::bit_cast<std::uint64_t>(-0.0), "0"},
        {MakeSignal(U, 64), ~std::uint64_t{0}, "18446744073709551615"},
        {MakeSignal(S, 64, 1, 0), std::uint64_t{1} << 63, "-9223372036854775808"},
    };
    for (const auto& c : kCases) EXPECT_EQ(PhysicalText(c.signal, c.bits), c.text) << c.text;
    EXPECT_EQ(FormatFixed(1234.5678, 2), "1234.57");
    EXPECT_EQ(FormatFixed(-0.04, 1), "0.0");
    std::setlocale(LC_ALL, "C");
}

TEST(PhysicalValue, ScalingAndRangeInWords) {
    EXPECT_EQ(ScalingText(MakeSignal(U, 8)), "raw");
    EXPECT_EQ(ScalingText(MakeSignal(S, 16, 0.1, 0, 0, 0, "A")), "raw × 0.1 A");
    EXPECT_EQ(ScalingText(MakeSignal(U, 8, 1, -40, 0, 0, "°C")), "raw - 40 °C");
    EXPECT_EQ(ScalingText(MakeSignal(U, 8, 0.5, 0.5)), "raw × 0.5 + 0.5");
    EXPECT_EQ(RangeText(MakeSignal(U, 8, 1, -40, -40, 215)), "-40..215");
    EXPECT_EQ(RangeText(MakeSignal(S, 16, 0.1, 0, -300, 300)), "-300.0..300.0");
    EXPECT_EQ(RangeText(MakeSignal(U, 8)), "");
}

// The limits of 64-bit signals as integers, never as the doubles near them.
TEST(PhysicalValue, IntegerLimitsArePrintedExactly) {
    const Signal s64 = MakeSignal(S, 64, 1, 0, -9223372036854775808.0, 9223372036854775807.0);
    const Signal u64 = MakeSignal(U, 64, 1, 0, 0, 18446744073709551615.0);
    EXPECT_EQ(RangeText(s64), "-9223372036854775808..9223372036854775807");
    EXPECT_EQ(RangeText(u64), "0..18446744073709551615");
    const struct {
        Signal signal;
        const char* low;
        const char* high;
    } kCases[] = {
        {s64, "-9223372036854775808", "9223372036854775807"},
        {u64, "0", "18446744073709551615"},
        {MakeSignal(S, 16, 0.1), "-3276.8", "3276.7"},
        {MakeSignal(U, 8, -0.5, 10), "-117.5", "10.0"},
        {MakeSignal(U, 12, 0.25, -273.15), "-273.15", "750.60"},
        {MakeSignal(S, 40, 0.001), "-549755813.888", "549755813.887"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(PhysicalLimitText(c.signal, false), c.low);
        EXPECT_EQ(PhysicalLimitText(c.signal, true), c.high);
    }
}

TEST(PhysicalValue, TypedValuesBecomeRawValuesRoundedHalfAwayFromZero) {
    const struct {
        Signal signal;
        const char* text;
        ToRaw outcome;
        std::uint64_t bits;
        bool outsideMinMax;
    } kCases[] = {
        {MakeSignal(U, 8, 0.1), "0.35", ToRaw::Ok, 4, false},
        {MakeSignal(U, 8, 0.1), "0.34", ToRaw::Ok, 3, false},
        {MakeSignal(S, 16, 0.1), "-0.35", ToRaw::Ok, 0xFFFC, false},
        {MakeSignal(S, 16), "2.5", ToRaw::Ok, 3, false},
        {MakeSignal(S, 16), "-2.5", ToRaw::Ok, 0xFFFD, false},
        {MakeSignal(S, 16), "-2.4999", ToRaw::Ok, 0xFFFE, false},
        {MakeSignal(U, 8, 1, -40), "-40", ToRaw::Ok, 0, false},
        {MakeSignal(U, 8, 1, -40), "215", ToRaw::Ok, 255, false},
        {MakeSignal(U, 8, 1, -40), "216", ToRaw::OutsideRawRange, 0, false},
        {MakeSignal(U, 8, 1, -40), "-40.6", ToRaw::OutsideRawRange, 0, false},
        {MakeSignal(S, 8), "-128", ToRaw::Ok, 0x80, false},
        {MakeSignal(S, 8), "-129", ToRaw::OutsideRawRange, 0, false},
        {MakeSignal(S, 16), "1e3", ToRaw::Ok, 1000, false},
        {MakeSignal(S, 16), "+5", ToRaw::Ok, 5, false},
        {MakeSignal(S, 16, 0.01), ".5", ToRaw::Ok, 50, false},
        {MakeSignal(S, 16), "1,5", ToRaw::NotANumber, 0, false},
        {MakeSignal(S, 16), "", ToRaw::NotANumber, 0, false},
        {MakeSignal(S, 16), "nan", ToRaw::NotANumber, 0, false},
        {MakeSignal(S, 16), "1e999", ToRaw::NotANumber, 0, false},
        {MakeSignal(U, 8, 1, 0, 0, 100), "150", ToRaw::Ok, 150, true},
        {MakeSignal(U, 8, 1, 0, 0, 100), "100", ToRaw::Ok, 100, false},
        {MakeSignal(U, 64), "18446744073709551615", ToRaw::Ok, ~std::uint64_t{0}, false},
        {MakeSignal(U, 64), "18446744073709551616", ToRaw::OutsideRawRange, 0, false},
        {MakeSignal(S, 32, 0.001), "-2147483.648", ToRaw::Ok, 0x80000000, false},
        {MakeSignal(U, 8, 1e-05), "0.000015", ToRaw::Ok, 2, false},
        {MakeSignal(U, 16, -0.5), "-3", ToRaw::Ok, 6, false},
        {MakeSignal(U, 16, 0.1, 0.05), "0.1", ToRaw::Ok, 1, false},  // 0.5 away from zero
        {MakeSignal(F, 32), "1.5", ToRaw::Ok, std::bit_cast<std::uint32_t>(1.5f), false},
        {MakeSignal(F, 32, 2, 1), "4", ToRaw::Ok, std::bit_cast<std::uint32_t>(1.5f), false},
        {MakeSignal(F, 32), "1e39", ToRaw::OutsideRawRange, 0, false},
        {MakeSignal(D, 64), "1e39", ToRaw::Ok, std::bit_cast<std::uint64_t>(1e39), false},
    };
    for (const auto& c : kCases) {
        const RawConversion r = PhysicalToRaw(c.signal, c.text);
        EXPECT_EQ(r.outcome, c.outcome) << c.text;
        if (c.outcome != ToRaw::Ok) continue;
        EXPECT_EQ(r.bits, c.bits) << c.text;
        EXPECT_EQ(r.outsideMinMax, c.outsideMinMax) << c.text;
    }
}

TEST(SignalCodec, RawValuesFitTheSignalsBitsOrNot) {
    const struct {
        ValueType type;
        int length;
        std::int64_t raw;
        bool fits;
    } kCases[] = {
        {S, 8, 127, true}, {S, 8, 128, false}, {S, 8, -128, true}, {S, 8, -129, false},
        {U, 8, 255, true}, {U, 8, 256, false}, {U, 8, -1, false}, {S, 1, -1, true},
        {S, 1, 0, true},   {S, 1, 1, false},   {S, 64, std::numeric_limits<std::int64_t>::min(), true},
        {F, 32, 1, false},
    };
    for (const auto& c : kCases) {
        const Signal s = MakeSignal(c.type, c.length);
        const auto bits = BitsOfInteger(s, c.raw);
        EXPECT_EQ(bits.has_value(), c.fits) << c.length << " " << c.raw;
        if (bits) {
            EXPECT_EQ(RawText(s, *bits), std::to_string(c.raw));
        }
    }
    EXPECT_EQ(BitsOfUnsigned(MakeSignal(U, 64), ~std::uint64_t{0}), ~std::uint64_t{0});
    EXPECT_EQ(RawText(MakeSignal(U, 64), ~std::uint64_t{0}), "18446744073709551615");
}

}  // namespace
}  // namespace vestrel::signaldb
