#pragma once

#include "platform/result.h"
#include "project/project_files.h"
#include "signaldb/signal_file.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How a user names imported signals, the one grammar of every place that
// takes such names (preview --signals, the Preview window and the bench's
// write field, and the plot's choice of signals): a signal's own name, or
// MESSAGE.SIGNAL where two messages hold a signal of that name. A name may
// hold blanks and dots ("Target velocity", "Analog output 1"); it never
// holds a comma or '=', and blanks around it are not part of it.
namespace vestrel::signaldb {

// A signal's name and a value as typed, the value left as text for its reader.
struct NamedValue {
    std::string name;
    std::string value;
};

// Reads "Target velocity=1500, Drive.Torque = -2.5" or "A=1 B=0": NAME=VALUE
// items separated by a comma, or by blanks after a value (a value is one
// word). No name comes twice. The reason otherwise, quoting the text as
// typed.
Result<std::vector<NamedValue>> ParseSignalValues(std::string_view list);

// Reads "Target velocity, Drive.Speed": names separated by commas. The
// reason otherwise.
Result<std::vector<std::string>> ParseSignalNames(std::string_view list);

struct SignalRef {
    const ImportedMessage* message = nullptr;
    const ImportedSignal* signal = nullptr;
};

// The signal that `name` names among those of `direction` (of both where
// none is given): NAME, or MESSAGE.SIGNAL. The reason otherwise: no such
// signal ("no imported transmit signal is named X"), one of the other
// direction, or a name that two messages hold, naming both ("Value is a
// signal of Left and Right: name it Left.Value or Right.Value").
Result<SignalRef> FindSignal(const SignalFile& file, std::optional<FrameDirection> direction, std::string_view name);

// The names the signals are shown with, message by message and signal by
// signal in file order: a signal's own name, or MESSAGE.SIGNAL where another
// imported signal has that name, so that FindSignal reads each back.
std::vector<std::string> ShownSignalNames(const SignalFile& file);

}  // namespace vestrel::signaldb
