#pragma once

#include "gateway/can_log.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace vestrel::gateway {

class AscLines;
class BlfObjects;
class LogInput;
class TrcLines;

// Reads a CAN log front to back, one frame at a time, in whichever format it
// is: candump's log file and screen format (the two may be mixed), Vector
// ASC, Vector BLF and PEAK TRC. The format is taken from the content, not
// from the file name. Memory does not grow with the log.
//
//     CanLogReader reader(path);
//     LogFrame frame;
//     BrokenLine broken;
//     for (auto step = reader.Next(frame, broken); step != CanLogReader::Step::End;
//          step = reader.Next(frame, broken))
//         if (step == CanLogReader::Step::Frame) Use(frame);
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

    enum class Step { Frame, Broken, End };
    // The next frame, or the next line (BLF: object) that is broken; the
    // views in `frame` stay valid until the next call. Throws
    // Error("Cannot read file ...").
    Step Next(LogFrame& frame, BrokenLine& broken);

    LogFormat Format() const { return format_; }
    // Lines read so far; for BLF the objects read.
    std::uint64_t Lines() const;
    // BLF objects that are neither frames nor broken (events, statistics).
    std::uint64_t OtherObjects() const;

private:
    void TellFormat();

    std::unique_ptr<LogInput> input_;
    LogFormat format_ = LogFormat::Unknown;
    std::unique_ptr<AscLines> asc_;
    std::unique_ptr<TrcLines> trc_;
    std::unique_ptr<BlfObjects> blf_;
    std::uint64_t line_ = 0;
    std::string why_;
};

}  // namespace vestrel::gateway
