#pragma once

#include "can/can_log.h"
#include "platform/result.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vestrel::can {

// The lines of a Vector ASC log, in order: the header ("date", "base hex
// timestamps absolute", "internal events logged"), then one event a line,
// "   0.000287 1  181             Rx   d 8 11 22 ..." for a CAN frame. Time
// stamps have six or nine decimals and count from the start of the
// measurement; after "timestamps relative" each counts from the event
// before. CANFD lines give CAN FD frames, or classic frames when their flags
// say so. Events that are not frames (statistics, chip states, "Start of
// measurement") carry no frame.
class AscLines {
public:
    LineKind Parse(std::string_view line, LogFrame& frame, std::string& why);

    // Whether a line can only belong to ASC: a header line, or a frame in
    // its form.
    static bool IsOwnLine(std::string_view line);

private:
    static bool IsHeader(std::string_view line);
    LineKind ParseEvent(std::string_view line, LogFrame& frame, std::string& why);
    Result<void> TakeTime(std::string_view text, LogFrame& frame);

    int base_ = 16;          // "base hex" or "base dec"
    bool relative_ = false;  // "timestamps relative"
    std::int64_t lastTime_ = 0;
};

}  // namespace vestrel::can
