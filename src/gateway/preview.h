#pragma once

#include "gateway/gateway_model.h"

#include <map>
#include <optional>
#include <string>

// What the gateway does with single frames and register values, as text for
// the engineer: the preview of vestrel-cli and of the Preview window.
namespace vestrel::gateway {

using RegisterValues = std::map<std::uint16_t, std::uint16_t>;

// The registers a received frame sets, or why it sets none: one line for the
// frame (`text` as the user typed it, escaped), then one per register.
std::string PreviewFrameText(const GatewayModel& model, const std::string& text, const CanFrame& frame);

// The transmit frames the register values feed, byte by byte ("--" not fed,
// "??" fed by a register without a value, "!!" fed by registers that
// disagree), the compact frame when every byte is known, and the registers
// that feed no transmit frame.
std::string PreviewTransmitText(const GatewayModel& model, const RegisterValues& values);

// "40=0x1234,41=7" (integer text for both, 0 to 65535 each, no register
// twice); nothing and the reason in `why` otherwise.
std::optional<RegisterValues> ParseRegisterValues(const std::string& list, std::string& why);

}  // namespace vestrel::gateway
