#pragma once

#include "platform/result.h"

#include "inspect/bank_decoder.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the bench tools need to reach a gateway: which CAN interface, which
// serial settings and which Modbus device address, the latter taken from the
// banks the project compiles to.
namespace vestrel::live {

// A CAN interface as Qt SerialBus opens it: a plugin ("socketcan",
// "virtualcan", ...) and the plugin's interface name ("can0",
// "tcp://127.0.0.1:40123/can0").
struct CanEndpoint {
    std::string plugin;
    std::string interface;

    std::string Text() const { return plugin + ":" + interface; }
};

// "PLUGIN:IFACE": the plugin is what stands before the first ':', so that an
// interface name may hold colons itself. Any other text is refused with the
// reason, and so is what CheckCanEndpoint refuses.
Result<CanEndpoint> ParseCanInterface(std::string_view text);

// Refuses an interface name that its plugin would read its own way instead
// of refusing it. Qt's virtualcan takes a channel ("can0") or the relay's
// address and a channel ("tcp://127.0.0.1:40123/can0"); it would use its
// default port for a port outside 1 to 65535, not look up a host name, and
// pass over a scheme, a user, a query or more path.
Result<void> CheckCanEndpoint(const CanEndpoint& endpoint);

using Parity = SerialParity;

struct SerialSettings {
    int baud = 9600;
    int dataBits = 8;
    Parity parity = Parity::None;
    int stopBits = 1;

    friend bool operator==(const SerialSettings&, const SerialSettings&) = default;
};

// "19200 bit/s, 8E1".
std::string SerialSettingsText(const SerialSettings& settings);
// "19200,8E1" (or "19200,8N2", ...): the bit rate, then data bits, parity N/E/O
// and stop bits. Any other text is refused with the reason.
Result<SerialSettings> ParseSerialSettings(std::string_view text);

// What the banks say about the bench: the CAN bit rate, the serial line and
// the gateway's own settings that a bench check must keep in mind.
struct BenchSettings {
    int canBitRate = 0;  // bit/s; 0 when the banks hold no rate the device knows
    SerialSettings serial;
    int deviceAddress = 1;
    int serialTimeOutMs = 0;
    bool cancelDataAfterRead = false;
    bool keepInputRegisters = false;  // "No cancel if read Input Reg."
    int dataTimeOutSeconds = 0;
    int timeOutRegister = 0;
};

BenchSettings BenchSettingsOf(const DecodedBanks& banks);

// What a bench check should know about the project's settings, one sentence
// each: a device address that is no slave address, "Cancel data after read",
// the data time-out, a rate the device does not know.
std::vector<std::string> BenchNotes(const BenchSettings& settings, const DecodedBanks& banks);

// "250 kbit/s".
std::string CanBitRateText(int bitRate);

}  // namespace vestrel::live
