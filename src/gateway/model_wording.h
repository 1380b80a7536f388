#pragma once

// How the gateway's reports name what they speak of, worded once for the
// preview, the replay and the register map.

#include "gateway/gateway_model.h"

#include <string>

namespace vestrel::gateway {

// ` "Mnemonic"` behind a frame's number, printable on one line; "" for a
// frame without a mnemonic.
std::string MnemonicSuffix(const std::string& mnemonic);

// "CANType 0 (CAN 2.0A, 11-bit COB-IDs)" or the 2.0B form.
std::string ModeText(const GatewayModel& model);

}  // namespace vestrel::gateway
