#pragma once

#include "gateway/can_frame.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vestrel::gateway {

// The log formats that CAN tools exchange, as can-utils writes them.
enum class LogFormat {
    Unknown,      // no frame read yet
    CandumpLog,   // candump -l: "(1436509052.249713) can0 181#1122334455667788"
    CandumpLong,  // candump's screen format, log2long: "(1436509052.249713)  can0  181   [8]  11 22 ..."
    VectorAsc,    // Vector ASC, log2asc: "   0.000287 1  181             Rx   d 8 11 22 ..."
};

const char* LogFormatName(LogFormat format);

// One frame of a log, with the line it stands on.
struct LogFrame {
    CanFrame frame;
    bool hasTime = false;       // candump's screen format may carry no time stamp
    std::int64_t time = 0;      // microseconds: since the epoch (candump), since the start (ASC)
    std::uint64_t line = 0;     // from 1
};

// A line that is neither a frame nor something the format allows beside
// frames (ASC headers and events, comments, empty lines).
struct BrokenLine {
    std::uint64_t line = 0;
    std::string reason;
    std::string text;  // the line as read, at most 120 bytes; not escaped
};

// Reads a CAN log front to back in pieces of 1 MiB, so that memory does not
// grow with the log. The format is recognised line by line, so candump's two
// formats may even be mixed; ASC's "base" and "timestamps" lines are followed.
class CanLogReader {
public:
    // Opens the file ("-" for standard input). Throws Error("Cannot open file ...").
    explicit CanLogReader(const std::filesystem::path& path);
    ~CanLogReader();
    CanLogReader(const CanLogReader&) = delete;
    CanLogReader& operator=(const CanLogReader&) = delete;

    enum class Step { Frame, Broken, End };
    // The next frame or broken line. Throws Error("Cannot read file ...").
    Step Next(LogFrame& frame, BrokenLine& broken);

    LogFormat Format() const { return format_; }
    std::uint64_t Lines() const { return line_; }

private:
    bool NextLine(std::string_view& line);
    // Parses one line: Frame, Broken, or End when the line holds nothing to report.
    Step ParseLine(std::string_view line, LogFrame& frame, std::string& why);
    Step ParseAsc(std::string_view line, LogFrame& frame, std::string& why);
    // An ASC event's time stamp; after "timestamps relative" it counts from
    // the event before. False when the text is not a time.
    bool TakeAscTime(std::string_view text, LogFrame& frame);

    std::filesystem::path path_;
    int fd_ = -1;
    bool ownsFd_ = false;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;  // unread bytes are buffer_[begin_, end_)
    std::size_t end_ = 0;
    bool eof_ = false;
    std::uint64_t line_ = 0;
    LogFormat format_ = LogFormat::Unknown;
    bool ascDecimal_ = false;       // "base dec"
    bool ascRelative_ = false;      // "timestamps relative": each time counts from the previous event
    std::int64_t ascLastTime_ = 0;
};

// "1436509052.249713": seconds and six digits of microseconds.
void AppendTimeText(std::string& out, std::int64_t micros);

}  // namespace vestrel::gateway
