#pragma once

#include "can/can_frame.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the readers of CAN logs hand out, whatever the format.
namespace vestrel::can {

// One frame of a log.
struct LogFrame {
    CanFrame frame;
    bool hasTime = false;   // candump's screen format may carry no time stamp
    std::int64_t time = 0;  // microseconds: since the epoch or the start (LogFormatInfo::timesOfDay)
    // The interface or channel as the log names it: "can0" (candump), "1"
    // (the channel of ASC and BLF, the bus of TRC); empty where the log
    // names none. Valid until the reader reads on.
    std::string_view channel;
    // Where it is: the line from 1, or the byte offset of its record where
    // the format places records at byte offsets (BLF; LogFormatInfo::place).
    std::uint64_t line = 0;
};

// A record (a line, an object of BLF) that the format does not allow:
// reported with its place and the reason, and passed over.
struct BrokenLine {
    std::uint64_t line = 0;  // as LogFrame::line
    std::string reason;
    std::string text;  // the line as read, at most 120 bytes, not escaped; empty for BLF
    // An object of a compressed BLF container, whose bytes are nowhere in the
    // file as they are: `line` is the container's offset, this where in its
    // unpacked data the object starts.
    std::optional<std::uint64_t> unpacked;
};

// What a reader hands out next: a frame, a broken record, or the end.
enum class LogStep { Frame, Broken, End };

// What a line of a text log holds.
enum class LineKind {
    Frame,
    Broken,      // the reason in `why`
    Other,       // no frame: an empty line, a header, a comment, an event
    Unreadable,  // a header without which the rest cannot be read: the read stops, the reason in `why`
};

// "1436509052.249713": seconds and six digits of microseconds.
void AppendTimeText(std::string& out, std::int64_t micros);
// The same into `out`, which has room for kTimeTextBytes; returns the end of
// what was written.
inline constexpr std::size_t kTimeTextBytes = 28;
char* WriteTimeText(char* out, std::int64_t micros);

}  // namespace vestrel::can
