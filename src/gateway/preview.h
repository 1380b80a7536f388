#pragma once

#include "gateway/gateway_model.h"
#include "gateway/register_values.h"
#include "gateway/signal_values.h"

#include <string>
#include <string_view>
#include <vector>

// What the gateway does with single frames and register values, as text for
// the engineer: the preview of vestrel-cli and of the Preview window.
namespace vestrel::gateway {

// A frame as the user typed or pasted it: the text it is shown with, and
// the frame, or why the text is not one.
struct TypedFrame {
    std::string text;
    Result<can::CanFrame> frame;
};

// The frames of typed or pasted text, line by line: a line whose first word
// is ID#DATA holds frames in can-utils' compact syntax separated by blanks;
// any other line is read whole as a line of candump's output, time stamp and
// interface name included (a time stamp in parentheses starts the next line
// where line breaks were lost). The candump lines are read by the log
// reader's own line parser.
std::vector<TypedFrame> ReadTypedFrames(std::string_view text);

// The registers a received frame sets, or why it sets none: one line for the
// frame (`text` as the user typed it, escaped), then one per register; a
// register that signals of the project were imported into ends with their
// physical values (": MotorCurrent = 12.5 A").
std::string PreviewFrameText(const GatewayModel& model, const std::string& text, const can::CanFrame& frame,
                             const SignalValues* signalValues = nullptr);

// The transmit frames the register values feed, byte by byte ("--" not fed,
// "??" fed by a register without a value, "!!" fed by registers that
// disagree), the compact frame when every byte is known, and the registers
// that feed no transmit frame; with signals, the physical values of each
// frame's signals.
std::string PreviewTransmitText(const GatewayModel& model, const RegisterValues& values,
                                const SignalValues* signalValues = nullptr);

// The register values typed, and those the typed physical values of imported
// signals give (the signals' bits win), as the CLI's --registers and
// --signals and the Preview window take them; each value outside its
// signal's range adds a warning. The reason for the first list or value
// that cannot be taken otherwise.
Result<RegisterValues> TypedTransmitValues(std::string_view registers, std::string_view typedSignals,
                                           const SignalValues* signalValues, std::vector<std::string>& warnings);

// "signals give register 100 = 0xFFFF, register 101 = 0xFC18": the registers
// that typed physical values set, as preview shows them; empty for none.
std::string SignalRegistersText(const RegisterValues& before, const RegisterValues& after);

}  // namespace vestrel::gateway
