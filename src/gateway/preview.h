#pragma once

#include "gateway/gateway_model.h"
#include "gateway/register_values.h"

#include <string>

// What the gateway does with single frames and register values, as text for
// the engineer: the preview of vestrel-cli and of the Preview window.
namespace vestrel::gateway {

// The registers a received frame sets, or why it sets none: one line for the
// frame (`text` as the user typed it, escaped), then one per register.
std::string PreviewFrameText(const GatewayModel& model, const std::string& text, const CanFrame& frame);

// The transmit frames the register values feed, byte by byte ("--" not fed,
// "??" fed by a register without a value, "!!" fed by registers that
// disagree), the compact frame when every byte is known, and the registers
// that feed no transmit frame.
std::string PreviewTransmitText(const GatewayModel& model, const RegisterValues& values);

}  // namespace vestrel::gateway
