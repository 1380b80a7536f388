#include "signaldb/physical_value.h"

#include "signaldb/signal_codec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace vestrel::signaldb {

namespace {

__extension__ typedef __int128 Int128;

// A decimal number: mantissa × 10^exponent.
struct Decimal {
    Int128 mantissa = 0;
    int exponent = 0;
};

constexpr int kMaxDigits = 36;     // an Int128 holds 38
constexpr int kMaxExponent = 400;  // beyond any double

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// [+-]digits[.digits][(e|E)[+-]digits], digits on at least one side of the point.
std::optional<Decimal> ParseDecimal(std::string_view text) {
    std::size_t at = 0;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    Decimal d;
    int digits = 0, seen = 0;
    bool point = false;
    for (; at < text.size() && (IsDigit(text[at]) || (text[at] == '.' && !point)); ++at) {
        if (text[at] == '.') {
            point = true;
            continue;
        }
        ++seen;
        if (d.mantissa == 0 && text[at] == '0') {
            if (point) --d.exponent;
            continue;
        }
        if (++digits > kMaxDigits) return std::nullopt;
        d.mantissa = d.mantissa * 10 + (text[at] - '0');
        if (point) --d.exponent;
    }
    if (seen == 0) return std::nullopt;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        std::size_t from = at + 1;
        if (from < text.size() && text[from] == '+') ++from;
        int e = 0;
        const auto [end, ec] = std::from_chars(text.data() + from, text.data() + text.size(), e);
        if (ec != std::errc() || end != text.data() + text.size() || std::abs(e) > kMaxExponent) return std::nullopt;
        d.exponent += e;
        at = text.size();
    }
    if (at != text.size()) return std::nullopt;
    if (negative) d.mantissa = -d.mantissa;
    return d;
}

std::optional<Int128> TimesPowerOfTen(Int128 value, int power) {
    for (int i = 0; i < power; ++i)
        if (__builtin_mul_overflow(value, Int128{10}, &value)) return std::nullopt;
    return value;
}

// (value - offset) / factor rounded to the nearest integer, halves away from
// zero; nothing when it does not fit in an Int128.
std::optional<Int128> ExactRaw(const Decimal& value, const Decimal& offset, const Decimal& factor) {
    const int e = std::min(value.exponent, offset.exponent);
    const auto v = TimesPowerOfTen(value.mantissa, value.exponent - e);
    const auto o = TimesPowerOfTen(offset.mantissa, offset.exponent - e);
    Int128 n = 0;
    if (!v || !o || __builtin_sub_overflow(*v, *o, &n)) return std::nullopt;
    // raw = n × 10^(e - factor.exponent) / factor.mantissa
    std::optional<Int128> num = n, den = factor.mantissa;
    if (e >= factor.exponent)
        num = TimesPowerOfTen(n, e - factor.exponent);
    else
        den = TimesPowerOfTen(factor.mantissa, factor.exponent - e);
    if (!num || !den || *den == 0) return std::nullopt;
    Int128 q = *num / *den;
    const Int128 r = *num % *den;
    const Int128 absR = r < 0 ? -r : r, absDen = *den < 0 ? -*den : *den;
    if (absR >= absDen - absR) q += ((*num < 0) != (*den < 0)) ? -1 : 1;
    return q;
}

// The same in long double, for values beyond the exact path.
std::optional<Int128> ApproximateRaw(double value, const Signal& s) {
    const long double raw = std::round((static_cast<long double>(value) - s.offset) / s.factor);
    if (!std::isfinite(raw) || std::fabs(raw) > 1e30L) return std::nullopt;
    return static_cast<Int128>(raw);
}

RawConversion IntegerRaw(const Signal& s, const Decimal& value, double approximate) {
    const auto offset = ParseDecimal(ShortestText(s.offset));
    const auto factor = ParseDecimal(ShortestText(s.factor));
    std::optional<Int128> raw = offset && factor ? ExactRaw(value, *offset, *factor) : std::nullopt;
    if (!raw) raw = ApproximateRaw(approximate, s);
    RawConversion result;
    result.outcome = ToRaw::OutsideRawRange;
    if (!raw) return result;
    const bool isSigned = s.type == ValueType::Signed;
    const Int128 one = 1;
    const Int128 low = isSigned ? -(one << (s.length - 1)) : 0;
    const Int128 high = isSigned ? (one << (s.length - 1)) - 1 : (one << s.length) - 1;
    if (*raw < low || *raw > high) return result;
    result.outcome = ToRaw::Ok;
    result.bits = static_cast<std::uint64_t>(*raw) & LowBits(s.length);
    return result;
}

// The exact decimal text of mantissa × 10^exponent.
std::string DecimalText(Int128 mantissa, int exponent) {
    const bool negative = mantissa < 0;
    std::string digits;
    for (Int128 m = negative ? -mantissa : mantissa; m > 0 || digits.empty(); m /= 10)
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    if (exponent > 0) digits.append(static_cast<std::size_t>(exponent), '0');
    if (exponent < 0) {
        const auto decimals = static_cast<std::size_t>(-exponent);
        if (digits.size() <= decimals) digits.insert(0, decimals + 1 - digits.size(), '0');
        digits.insert(digits.size() - decimals, ".");
    }
    return (negative && digits.find_first_not_of("0.") != std::string::npos ? "-" : "") + digits;
}

// raw × factor + offset exactly, nothing where the digits do not fit.
std::optional<std::string> ExactPhysical(Int128 raw, const Signal& s) {
    const auto factor = ParseDecimal(ShortestText(s.factor));
    const auto offset = ParseDecimal(ShortestText(s.offset));
    if (!factor || !offset) return std::nullopt;
    const int e = std::min(factor->exponent, offset->exponent);
    const auto f = TimesPowerOfTen(factor->mantissa, factor->exponent - e);
    const auto o = TimesPowerOfTen(offset->mantissa, offset->exponent - e);
    Int128 product = 0, sum = 0;
    if (!f || !o || __builtin_mul_overflow(raw, *f, &product) || __builtin_add_overflow(product, *o, &sum))
        return std::nullopt;
    return DecimalText(sum, e);
}

}  // namespace

std::string PhysicalLimitText(const Signal& signal, bool high) {
    if (signal.type == ValueType::Float32 || signal.type == ValueType::Float64) {
        const double a = RawMinimum(signal) * signal.factor + signal.offset;
        const double b = RawMaximum(signal) * signal.factor + signal.offset;
        return ShortestText(high ? std::max(a, b) : std::min(a, b));
    }
    const Int128 one = 1;
    const bool isSigned = signal.type == ValueType::Signed;
    const Int128 low = isSigned ? -(one << (signal.length - 1)) : 0;
    const Int128 top = isSigned ? (one << (signal.length - 1)) - 1 : (one << signal.length) - 1;
    // A negative factor turns the raw range round.
    const Int128 raw = (high == (signal.factor > 0)) ? top : low;
    if (const auto exact = ExactPhysical(raw, signal)) return *exact;
    return ShortestText(static_cast<double>(raw) * signal.factor + signal.offset);
}

std::string ShortestText(double value) {
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
}

int DecimalsOf(double value) {
    if (!std::isfinite(value)) return 0;
    char text[400];
    const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    const std::string_view s(text, static_cast<std::size_t>(r.ptr - text));
    const std::size_t point = s.find('.');
    return point == std::string_view::npos ? 0 : static_cast<int>(s.size() - point - 1);
}

int PhysicalDecimals(const Signal& signal) {
    return std::min(kMaxDecimals, std::max(DecimalsOf(signal.factor), DecimalsOf(signal.offset)));
}

std::string FormatFixed(double value, int decimals) {
    char text[400];
    const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    std::string s(text, r.ptr);
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

std::string PhysicalText(const Signal& signal, std::uint64_t bits) {
    const bool isFloat = signal.type == ValueType::Float32 || signal.type == ValueType::Float64;
    // Unscaled values as exact as their raw value: every digit of a 64-bit
    // integer, the shortest text of a float at its own precision.
    if (signal.factor == 1 && signal.offset == 0) {
        std::string s = RawText(signal, bits);
        return s == "-0" ? "0" : s;
    }
    const double value = PhysicalValue(signal, bits);
    if (!isFloat) return FormatFixed(value, PhysicalDecimals(signal));
    char text[64];
    const int digits = signal.type == ValueType::Float32 ? 7 : 15;
    const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits);
    std::string s(text, r.ptr);
    return s == "-0" ? "0" : s;
}

std::string ScalingText(const Signal& signal) {
    std::string text = "raw";
    if (signal.factor != 1) text += " × " + ShortestText(signal.factor);
    if (signal.offset > 0) text += " + " + ShortestText(signal.offset);
    if (signal.offset < 0) text += " - " + ShortestText(-signal.offset);
    if (!signal.unit.empty()) text += " " + signal.unit;
    return text;
}

namespace {

// An end of a range as the file gives it: where a double no longer holds
// every integer and the end is the limit of the signal's bits, that limit
// exactly ("9223372036854775807", not the double's ...808).
std::string RangeEndText(const Signal& signal, double value, int decimals) {
    const bool isInteger = signal.type == ValueType::Unsigned || signal.type == ValueType::Signed;
    if (isInteger && std::fabs(value) >= 9007199254740992.0)
        for (bool high : {false, true}) {
            const std::string exact = PhysicalLimitText(signal, high);
            double limit = 0;
            std::from_chars(exact.data(), exact.data() + exact.size(), limit);
            if (limit == value) return exact;
        }
    return FormatFixed(value, decimals);
}

}  // namespace

std::string RangeText(const Signal& signal) {
    if (signal.minimum == 0 && signal.maximum == 0) return {};
    const int decimals = PhysicalDecimals(signal);
    return RangeEndText(signal, signal.minimum, decimals) + ".." + RangeEndText(signal, signal.maximum, decimals);
}

RawConversion PhysicalToRaw(const Signal& signal, std::string_view valueText) {
    RawConversion result;
    const auto decimal = ParseDecimal(valueText);
    double value = 0;
    const std::string_view digits = valueText.substr(!valueText.empty() && valueText[0] == '+' ? 1 : 0);
    if (!decimal || std::from_chars(digits.data(), digits.data() + digits.size(), value).ec != std::errc() ||
        !std::isfinite(value))
        return result;
    if (signal.type == ValueType::Float32 || signal.type == ValueType::Float64) {
        const double raw = (value - signal.offset) / signal.factor;
        result.outcome = ToRaw::OutsideRawRange;
        if (!std::isfinite(raw) ||
            (signal.type == ValueType::Float32 && std::fabs(raw) > std::numeric_limits<float>::max()))
            return result;
        result.outcome = ToRaw::Ok;
        result.bits = BitsOfFloat(signal, raw);
    } else {
        result = IntegerRaw(signal, *decimal, value);
        if (result.outcome != ToRaw::Ok) return result;
    }
    result.outsideMinMax =
        !(signal.minimum == 0 && signal.maximum == 0) && (value < signal.minimum || value > signal.maximum);
    return result;
}

}  // namespace vestrel::signaldb
