#pragma once

// The small pieces of text that every text log format is made of: blank
// separated tokens, numbers, bytes and time stamps. Used by the line parsers
// of the CAN log readers only.

#include "can/can_frame.h"
#include "can/can_log.h"
#include "platform/text.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vestrel::can::logtext {

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

inline bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// A broken line and why, for the line parsers' early returns.
inline LineKind Broken(std::string& why, const char* reason) {
    why = reason;
    return LineKind::Broken;
}

// Splits a line into blank-separated tokens, one at a time.
class Tokens {
public:
    explicit Tokens(std::string_view text) : text_(text) {}
    std::string_view Next() {
        while (at_ < text_.size() && IsBlank(text_[at_])) ++at_;
        const std::size_t from = at_;
        while (at_ < text_.size() && !IsBlank(text_[at_])) ++at_;
        return text_.substr(from, at_ - from);
    }
    std::string_view Peek() {
        const std::size_t saved = at_;
        const std::string_view token = Next();
        at_ = saved;
        return token;
    }
    std::string_view Rest() const { return text_.substr(at_); }

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

// A number of at most 10 digits in base 10 or 16 that fits 32 bits.
inline bool ParseUnsigned(std::string_view text, int base, std::uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        const int d = HexDigitValue(c);
        if (d < 0 || d >= base) return false;
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    }
    if (v > 0xFFFFFFFFu) return false;
    value = static_cast<std::uint32_t>(v);
    return true;
}

inline bool ParseByte(std::string_view text, int base, std::uint8_t& value) {
    std::uint32_t v = 0;
    if (!ParseUnsigned(text, base, v) || v > 0xFF) return false;
    value = static_cast<std::uint8_t>(v);
    return true;
}

// A decimal number with an optional fraction, as a whole number of
// 10^-`places` units; fraction digits beyond `places` are cut off, at most
// `maxFraction` are allowed, and as many whole digits as keep the value
// below 10^18. "1436509052.249713" with places 6 gives microseconds;
// "1841.2" with places 3 is 1841200.
inline bool ParseDecimal(std::string_view text, int places, std::size_t maxFraction, std::int64_t& value) {
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (whole.empty() || whole.size() > static_cast<std::size_t>(18 - places) || fraction.size() > maxFraction ||
        (dot != std::string_view::npos && fraction.empty()))
        return false;
    std::int64_t result = 0;
    for (char c : whole) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + (c - '0');
    }
    for (std::size_t i = 0; i < fraction.size() || i < static_cast<std::size_t>(places); ++i) {
        const char c = i < fraction.size() ? fraction[i] : '0';
        if (c < '0' || c > '9') return false;
        if (i < static_cast<std::size_t>(places)) result = result * 10 + (c - '0');
    }
    value = result;
    return true;
}

// Seconds with up to nine decimals, in microseconds.
inline bool ParseSeconds(std::string_view text, std::int64_t& micros) { return ParseDecimal(text, 6, 9, micros); }

// As many data bytes as the frame's length says, in the given base.
inline bool ReadDataBytes(Tokens& tokens, int base, CanFrame& frame) {
    for (std::size_t i = 0; i < frame.length; ++i)
        if (!ParseByte(tokens.Next(), base, frame.data[i])) return false;
    return true;
}

}  // namespace vestrel::can::logtext
