#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vestrel {

// A local calendar date and time, as the compile stamps need it.
struct LocalDateTime {
    int year = 2000;   // e.g. 2024
    int month = 1;     // 1-12
    int day = 1;       // 1-31
    int hour = 0;      // 0-23
    int minute = 0;    // 0-59
    int second = 0;    // 0-59 (60 for a leap second is stored as 59)

    friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// Day in bits 15-11, month in bits 10-7, year modulo 100 in bits 6-0.
std::uint16_t PackedDate(const LocalDateTime& when);
// Seconds / 2 in bits 15-11, minutes in bits 10-5, hours in bits 4-0.
std::uint16_t PackedTime(const LocalDateTime& when);

// The instant a compile is stamped with, in local time: SOURCE_DATE_EPOCH
// when that is set and not empty (for reproducible builds), otherwise the
// clock. A value that is not a whole number of seconds since the epoch throws
// Error(InvalidSourceDateEpochMessage(value)).
LocalDateTime CompileStampTime();

std::string InvalidSourceDateEpochMessage(std::string_view text);

}  // namespace vestrel
