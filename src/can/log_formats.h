#pragma once

#include "can/can_log.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

// The CAN log formats the tools read, one entry each: what the reader, the
// replay's summary and messages, the CLI's help and the file dialogs know of
// a format comes from its entry. A new format is a value here, its entry in
// log_formats.cpp and its parser.
namespace vestrel::can {

class LogInput;

enum class LogFormat {
    CandumpLog,   // candump -l: "(1436509052.249713) can0 181#1122334455667788"
    CandumpLong,  // candump's screen format, log2long: "(1436509052.249713)  can0  181   [8]  11 22 ..."
    VectorAsc,    // Vector ASC, log2asc: "   0.000287 1  181             Rx   d 8 11 22 ..."
    VectorBlf,    // Vector BLF, binary: LOG_CONTAINER objects holding CAN_MESSAGE objects
    PeakTrc,      // PEAK TRC 1.x and 2.x: "     1)      1841.212 1  Rx        0181 -  8    11 22 ..."
};

// Reads the records of one format front to back, in memory that does not
// grow with the log. Every record is a frame, a known record that holds no
// frame (a header, a comment, an event), or broken with its reason.
class LogParser {
public:
    virtual ~LogParser() = default;
    // The next frame, or the next record that is broken; the views in
    // `frame` stay valid until the next call. Throws Error("Cannot read
    // file ...").
    virtual LogStep Next(LogFrame& frame, BrokenLine& broken) = 0;
    // The records read so far, and those of them that hold no frame and are
    // not broken.
    virtual std::uint64_t Records() const = 0;
    virtual std::uint64_t OtherRecords() const = 0;
};

// How a format's records are placed: numbered lines, or byte offsets.
enum class LogPlace { Line, ByteOffset };

struct LogFormatInfo {
    LogFormat format;
    std::string_view name;       // as a summary names the log: "Vector ASC"
    std::string_view shortName;  // in a list of formats: "ASC"
    // The help names the formats by their tool or vendor and their forms:
    // "candump -l or its screen format, Vector ASC or BLF, PEAK TRC".
    std::string_view vendor, form;
    std::string_view record, records;  // what a record is called: "line", "object"
    LogPlace place;
    std::string_view extension;  // the usual file name extension without the dot; empty: none of its own
    // A binary format is told by its first bytes, a text format by a line
    // that only it has (a header, or a frame in its form).
    bool binary;
    bool (*detect)(std::string_view bytes);
    std::unique_ptr<LogParser> (*open)(LogInput& input);
    // Whether a summary names the records that hold no frame even when there
    // are none (BLF's other objects).
    bool alwaysCountsOtherRecords;
    // Whether its frames' times are times of day (microseconds since the
    // epoch, as candump and BLF stamp them), not counted from the start of
    // the measurement (ASC, TRC).
    bool timesOfDay;
};

// Every format, in the order the tools list them.
std::span<const LogFormatInfo> LogFormats();
const LogFormatInfo& LogFormatOf(LogFormat format);

// "candump -l or its screen format, Vector ASC or BLF, PEAK TRC".
std::string LogFormatsInWords();
// The shortNames of the text formats, or of the binary ones: "candump, ASC or TRC".
std::string LogFormatNames(bool binary);
// The file name patterns of the formats' extensions: "*.log *.asc *.blf *.trc".
std::string LogFilePatterns();

}  // namespace vestrel::can
