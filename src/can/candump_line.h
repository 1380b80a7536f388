#pragma once

#include "can/can_log.h"

#include <string>
#include <string_view>

namespace vestrel::can {

// The two forms of candump's output, which a log may mix.
enum class CandumpForm { LogFile, Screen };

// Reads lines of candump's output, whole, in either of its forms:
//
//   (1436509052.249713) can0 181#1122334455667788        candump -l, the log file
//   (1436509052.249713)  can0  181   [8]  11 22 33 ...    the screen format (-ta, log2long)
//     can0  181   [8]  11 22 33 ...                      the screen format without time
//
// The time stamp is optional, the interface name is not. The screen format
// names a CAN FD frame by a two-digit length ("[08]", "[12]"), a remote
// request by "remote request" and an error frame by its identifier; "RX"/"TX"
// and the flags of candump -x, and what follows the frame (a direction flag,
// the data as text) are passed over. The one reader of candump lines: the
// log reader and the preview use it.
class CandumpLines {
public:
    LineKind Parse(std::string_view line, LogFrame& frame, std::string& why);
    // The form of the last line read.
    CandumpForm Form() const { return form_; }

    // Whether a line is a frame in that form.
    static bool IsFrameIn(std::string_view line, CandumpForm form);

private:
    CandumpForm form_ = CandumpForm::LogFile;
};

}  // namespace vestrel::can
