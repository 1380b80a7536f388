#pragma once

#include "can/can_log.h"
#include "can/log_formats.h"

#include <cstdint>
#include <filesystem>
#include <memory>

namespace vestrel::can {

class LogInput;

// Reads a CAN log front to back, one frame at a time, in whichever format it
// is (log_formats.h): candump's log file and screen format (the two may be
// mixed), Vector ASC, Vector BLF and PEAK TRC. The format is taken from the
// content, not from the file name. Memory does not grow with the log.
//
//     CanLogReader reader(path);
//     LogFrame frame;
//     BrokenLine broken;
//     for (auto step = reader.Next(frame, broken); step != LogStep::End; step = reader.Next(frame, broken))
//         if (step == LogStep::Frame) Use(frame);
class CanLogReader {
public:
    // Opens the log ("-" for standard input) and tells its format from its
    // first 64 KiB. Throws Error("Cannot open file ...") and, for a file that
    // is no CAN log, Error saying what it looked like: "File "x" is no CAN
    // log: no line of the first 64 KiB is a CAN frame in candump, ASC or TRC
    // form", "...: it is binary and no BLF file (a gzip file)".
    explicit CanLogReader(const std::filesystem::path& path);
    ~CanLogReader();
    CanLogReader(const CanLogReader&) = delete;
    CanLogReader& operator=(const CanLogReader&) = delete;

    using Step = LogStep;
    // The next frame, or the next record that is broken; the views in
    // `frame` stay valid until the next call. Throws Error("Cannot read
    // file ...").
    Step Next(LogFrame& frame, BrokenLine& broken) { return parser_->Next(frame, broken); }

    LogFormat Format() const { return format_->format; }
    const LogFormatInfo& FormatInfo() const { return *format_; }
    // The records (lines, BLF objects) read so far, and those of them that
    // are neither frames nor broken (headers, comments, events).
    std::uint64_t Records() const { return parser_->Records(); }
    std::uint64_t OtherRecords() const { return parser_->OtherRecords(); }

private:
    const LogFormatInfo& TellFormat();

    std::unique_ptr<LogInput> input_;
    const LogFormatInfo* format_ = nullptr;
    std::unique_ptr<LogParser> parser_;
};

}  // namespace vestrel::can
