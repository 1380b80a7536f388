#include "compiler/compile_stamp.h"

#include "platform/error.h"

#include <charconv>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

namespace vestrel {

namespace {

// Masks a value to the width of its bit field, so that an out-of-range value
// can never spill into its neighbour.
std::uint16_t Field(int value, int bits) { return static_cast<std::uint16_t>(value & ((1 << bits) - 1)); }

LocalDateTime LocalTimeAt(std::time_t when, std::string_view epochText) {
    std::tm tm{};
    if (!::localtime_r(&when, &tm)) throw Error(InvalidSourceDateEpochMessage(epochText));
    LocalDateTime result;
    result.year = tm.tm_year + 1900;
    result.month = tm.tm_mon + 1;
    result.day = tm.tm_mday;
    result.hour = tm.tm_hour;
    result.minute = tm.tm_min;
    result.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
    return result;
}

}  // namespace

std::uint16_t PackedDate(const LocalDateTime& when) {
    const int year = ((when.year % 100) + 100) % 100;
    return static_cast<std::uint16_t>(Field(when.day, 5) << 11 | Field(when.month, 4) << 7 | Field(year, 7));
}

std::uint16_t PackedTime(const LocalDateTime& when) {
    const int second = when.second > 59 ? 59 : when.second;
    return static_cast<std::uint16_t>(Field(second / 2, 5) << 11 | Field(when.minute, 6) << 5 | Field(when.hour, 5));
}

std::string InvalidSourceDateEpochMessage(std::string_view text) {
    return "SOURCE_DATE_EPOCH holds '" + std::string(text) +
           "', which is not a number of seconds since 1970-01-01 00:00:00 UTC";
}

LocalDateTime CompileStampTime() {
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (!epoch || !*epoch) return LocalTimeAt(std::time(nullptr), {});

    // A malformed value is refused rather than replaced by the clock: whoever
    // set it expects a reproducible build and must not silently get another.
    std::string_view text(epoch);
    std::int64_t seconds = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds < 0 || text.front() == '-')
        throw Error(InvalidSourceDateEpochMessage(text));
    return LocalTimeAt(static_cast<std::time_t>(seconds), text);
}

}  // namespace vestrel
