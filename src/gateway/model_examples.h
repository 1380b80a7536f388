#pragma once

#include "gateway/gateway_model.h"

#include <string>

// Inputs that fit a configuration, for the placeholders and defaults of the
// windows: a user who opens them on a project sees that project's COB-IDs
// and registers, never another project's.
namespace vestrel::gateway {

// The first `count` receive frames as frames on the bus, each with as many
// data bytes as its Dimensin ("181#1122334455667788 281#A1B2A1B2"); empty
// when there are none.
std::string ExampleFramesText(const GatewayModel& model, int count = 2);

// Values for the first register of each of the first two transmit frames
// that have one, 0x1234 and 7 ("100=0x1234,110=7"); empty when no transmit
// frame has a register.
std::string ExampleRegisterValuesText(const GatewayModel& model);

}  // namespace vestrel::gateway
