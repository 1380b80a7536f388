#pragma once

#include "can/can_log.h"

#include <string>
#include <string_view>

namespace vestrel::can {

// The lines of a PEAK TRC log, in order. Comment lines start with ';';
// ";$FILEVERSION=2.1" names the version (none: 1.0) and ";$COLUMNS=..." the
// columns of version 2.x. Versions 1.x give a message number with ')', the
// time offset, from 1.1 the type (Rx, Tx, Warng, Error), from 1.2 the bus,
// the identifier (4 hex digits standard, more extended; FFFFFFFF marks a
// status line of 1.0), from 1.3 a reserved '-', the length and the data or
// "RTR". Versions 2.x name the columns: N number, O time offset, T type (DT
// data, FD/FB/FE/BI CAN FD, RR remote request, ER error frame, ST/EC/EV
// status), B bus, I identifier, d direction, R reserved, L data length code,
// l data length, D data; a column list without the type, the identifier, a
// length and the data last cannot be read. Times are offsets in
// milliseconds from the start of the trace. A warning or a status is a line
// without a frame; a type of no version is a broken line.
class TrcLines {
public:
    LineKind Parse(std::string_view line, LogFrame& frame, std::string& why);

    // Whether a line can only belong to TRC: ";$FILEVERSION", ";$STARTTIME"
    // or ";$COLUMNS", or a frame in its form.
    static bool IsOwnLine(std::string_view line);

private:
    static bool IsHeader(std::string_view line);
    LineKind ParseVersion1(std::string_view line, LogFrame& frame, std::string& why) const;
    LineKind ParseVersion2(std::string_view line, LogFrame& frame, std::string& why) const;

    int version_ = 10;  // 10 for 1.0, 21 for 2.1
    std::string columns_ = "NOTBIdRLD";
    std::string columnsProblem_;  // why the lines of version 2.x cannot be read with columns_
};

}  // namespace vestrel::can
