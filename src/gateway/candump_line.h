#pragma once

#include "gateway/can_log.h"

#include <string>
#include <string_view>

namespace vestrel::gateway {

// Reads one line of candump's output, whole, in either of its forms:
//
//   (1436509052.249713) can0 181#1122334455667788        candump -l, the log file
//   (1436509052.249713)  can0  181   [8]  11 22 33 ...    the screen format (-ta, log2long)
//     can0  181   [8]  11 22 33 ...                      the screen format without time
//
// The time stamp is optional, the interface name is not. The screen format
// names a CAN FD frame by a two-digit length ("[08]", "[12]"), a remote
// request by "remote request" and an error frame by its identifier; "RX"/"TX"
// and the flags of candump -x, and what follows the frame (a direction flag,
// the data as text) are passed over. Sets `form` to the form of the line.
// The one reader of candump lines: the log reader and the preview use it.
LineKind ParseCandumpLine(std::string_view line, LogFrame& frame, LogFormat& form, std::string& why);

}  // namespace vestrel::gateway
