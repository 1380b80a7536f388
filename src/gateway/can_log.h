#pragma once

#include "gateway/can_frame.h"

#include <cstdint>
#include <string>
#include <string_view>

// What the readers of CAN logs hand out, whatever the format.
namespace vestrel::gateway {

enum class LogFormat {
    Unknown,      // nothing recognised yet
    CandumpLog,   // candump -l: "(1436509052.249713) can0 181#1122334455667788"
    CandumpLong,  // candump's screen format, log2long: "(1436509052.249713)  can0  181   [8]  11 22 ..."
    VectorAsc,    // Vector ASC, log2asc: "   0.000287 1  181             Rx   d 8 11 22 ..."
    VectorBlf,    // Vector BLF, binary: LOG_CONTAINER objects holding CAN_MESSAGE objects
    PeakTrc,      // PEAK TRC 1.x and 2.x: "     1)      1841.212 1  Rx        0181 -  8    11 22 ..."
};

const char* LogFormatName(LogFormat format);
// What the format counts: "line", or "object" for BLF.
const char* LogRecordName(LogFormat format, bool plural);

// One frame of a log.
struct LogFrame {
    CanFrame frame;
    bool hasTime = false;   // candump's screen format may carry no time stamp
    std::int64_t time = 0;  // microseconds: since the epoch (candump, BLF), since the start (ASC, TRC)
    // The interface or channel as the log names it: "can0" (candump), "1"
    // (the channel of ASC and BLF, the bus of TRC); empty where the log
    // names none. Valid until the reader reads on.
    std::string_view channel;
    std::uint64_t line = 0;  // the line from 1; for BLF the byte offset of the object
};

// A line (an object of BLF) that the format does not allow: reported with
// its place and the reason, and passed over.
struct BrokenLine {
    std::uint64_t line = 0;  // from 1; for BLF the byte offset of the object
    std::string reason;
    std::string text;  // the line as read, at most 120 bytes, not escaped; empty for BLF
};

// What a line of a text log holds.
enum class LineKind {
    Frame,
    Broken,  // the reason in `why`
    Other,   // no frame: an empty line, a header, a comment, an event
};

// "1436509052.249713": seconds and six digits of microseconds.
void AppendTimeText(std::string& out, std::int64_t micros);
// The same into `out`, which has room for kTimeTextBytes; returns the end of
// what was written.
inline constexpr std::size_t kTimeTextBytes = 28;
char* WriteTimeText(char* out, std::int64_t micros);

}  // namespace vestrel::gateway
