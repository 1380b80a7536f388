#pragma once

// How the gateway's reports word what they speak of, once for the preview,
// the replay, the register map and the bench: register values, transmit
// bytes, the lookup's choice, a frame's mnemonic, the CAN mode.

#include "gateway/gateway_model.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vestrel::gateway {

// ` "Mnemonic"` behind a frame's number, printable on one line; "" for a
// frame without a mnemonic.
std::string MnemonicSuffix(const std::string& mnemonic);

// Which parts of a frame its name shows. They always come in one order:
// the direction, the number, the mnemonic, then the COB-ID and Dimensin in
// brackets.
struct FrameNameParts {
    bool direction = false;
    bool mnemonic = true;
    bool cobId = true;
    bool dimensin = false;
};

// "receive frame 2 "Motor temperatures" (COB-ID 0x182, Dimensin 4)" for the
// frame at `index` (0-based) of its direction's table, with the parts asked for.
std::string FrameName(FrameDirection direction, const GatewayFrame& frame, int index, FrameNameParts parts = {});

// "CANType 0 (CAN 2.0A, 11-bit COB-IDs)" or the 2.0B form.
std::string ModeText(const GatewayModel& model);

// The one way values are shown: "0x1234", "0x12??" with the low half never
// fed, "0x????". A half that one frame does not set is shown as "--" by
// EffectValueText.
std::string RegisterValueText(const RegisterValue& value);
// A value read from or written to a device, every bit known: "0x002A".
std::string RegisterValueText(std::uint16_t value);
void AppendRegisterValueText(std::string& out, const RegisterValue& value);
// The same into `out`, which has room for kRegisterValueTextBytes; returns
// the end of what was written.
inline constexpr std::size_t kRegisterValueTextBytes = 6;
char* WriteRegisterValueText(char* out, const RegisterValue& value);
// What one frame sets: "0x1122", "0x--22" when the high half is not set by it.
std::string EffectValueText(const RegisterEffect& effect);

// "the banks' lookup table selects frame 3, the later one" for the frame
// number selected among `count` frames that share a COB-ID.
std::string LookupSelectionText(int frameNumber, std::size_t count);

// "12 34 ?? --" for the first `count` bytes.
std::string TransmitBytesText(const TransmitFrameData& data, int count);

}  // namespace vestrel::gateway
