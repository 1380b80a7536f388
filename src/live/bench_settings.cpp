#include "live/bench_settings.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace vestrel::live {

namespace {

bool ParseInt(std::string_view text, int& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// "127.0.0.1", or an IPv6 address in brackets: "[::1]".
bool IsIpAddress(std::string_view host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2).find_first_not_of("0123456789abcdefABCDEF:.") == std::string_view::npos;
    int parts = 0;
    while (!host.empty()) {
        const std::size_t dot = host.find('.');
        int value = 0;
        const std::string_view part = host.substr(0, dot);
        if (part.size() > 3 || !ParseInt(part, value) || value > 255 || ++parts > 4) return false;
        host = dot == std::string_view::npos ? std::string_view() : host.substr(dot + 1);
        if (dot != std::string_view::npos && host.empty()) return false;
    }
    return parts == 4;
}

// What is wrong with the relay's address, "127.0.0.1:40123" or "[::1]"
// (then the relay's default port); empty when nothing.
std::string RelayAddressProblem(std::string_view authority) {
    const bool bracketed = !authority.empty() && authority.front() == '[';
    const std::size_t close = bracketed ? authority.find(']') : std::string_view::npos;
    const std::size_t hostEnd = bracketed ? (close == std::string_view::npos ? 0 : close + 1)
                                          : std::min(authority.find(':'), authority.size());
    const std::string_view host = authority.substr(0, hostEnd);
    if (!IsIpAddress(host))
        return "the relay's address is an IP address such as 127.0.0.1 (the plugin looks up no names), not '" +
               std::string(host) + "'";
    const std::string_view port = authority.substr(hostEnd);
    int number = 0;
    if (!port.empty() && (port[0] != ':' || !ParseInt(port.substr(1), number) || number < 1 || number > 65535))
        return "the relay's port is a number from 1 to 65535, not '" + std::string(port.substr(1)) + "'";
    return {};
}

char ParityLetter(Parity parity) {
    switch (parity) {
        case Parity::Even: return 'E';
        case Parity::Odd: return 'O';
        case Parity::None: break;
    }
    return 'N';
}

}  // namespace

Result<CanEndpoint> ParseCanInterface(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size())
        return Failure{"a CAN interface is PLUGIN:INTERFACE, such as socketcan:can0 or virtualcan:can0, not '" +
                       std::string(text) + "'"};
    CanEndpoint endpoint{std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
    if (const Result<void> usable = CheckCanEndpoint(endpoint); !usable) return Failure{usable.Why()};
    return endpoint;
}

Result<void> CheckCanEndpoint(const CanEndpoint& endpoint) {
    if (endpoint.plugin != "virtualcan") return {};
    const std::string_view name = endpoint.interface;
    auto refused = [&](const std::string& why) -> Result<void> {
        return Failure{"CAN interface " + endpoint.Text() + ": " + why};
    };
    constexpr std::string_view kScheme = "tcp://";
    if (name.find("://") == std::string_view::npos) {
        if (name.find_first_of(":/?#@") == std::string_view::npos) return {};
        return refused("virtualcan takes a channel such as can0, or tcp://ADDRESS:PORT/can0");
    }
    if (name.substr(0, kScheme.size()) != kScheme) return refused("the virtualcan relay is reached over tcp://");
    const std::string_view rest = name.substr(kScheme.size());
    const std::size_t slash = rest.find('/');
    const std::string_view channel = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (channel.empty() || channel.find_first_of("/?#") != std::string_view::npos)
        return refused("the relay's address is followed by a channel and nothing else: tcp://ADDRESS:PORT/can0");
    if (const std::string why = RelayAddressProblem(rest.substr(0, slash)); !why.empty()) return refused(why);
    return {};
}

std::string SerialSettingsText(const SerialSettings& s) {
    return std::to_string(s.baud) + " bit/s, " + std::to_string(s.dataBits) + ParityLetter(s.parity) +
           std::to_string(s.stopBits);
}

Result<SerialSettings> ParseSerialSettings(std::string_view text) {
    const Failure refused{"serial settings are RATE,8N1 (data bits 7 or 8, parity N, E or O, stop bits 1 or 2), not '" +
                          std::string(text) + "'"};
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) return refused;
    SerialSettings s;
    const std::string_view frame = text.substr(comma + 1);
    if (!ParseInt(text.substr(0, comma), s.baud) || s.baud <= 0 || frame.size() != 3) return refused;
    if (frame[0] != '7' && frame[0] != '8') return refused;
    s.dataBits = frame[0] - '0';
    switch (frame[1]) {
        case 'N': case 'n': s.parity = Parity::None; break;
        case 'E': case 'e': s.parity = Parity::Even; break;
        case 'O': case 'o': s.parity = Parity::Odd; break;
        default: return refused;
    }
    if (frame[2] != '1' && frame[2] != '2') return refused;
    s.stopBits = frame[2] - '0';
    return s;
}

BenchSettings BenchSettingsOf(const DecodedBanks& banks) {
    BenchSettings b;
    if (banks.canRateCode >= 1 && banks.canRateCode <= kCanBitRates.size()) b.canBitRate = kCanBitRates[banks.canRateCode - 1u];
    if (banks.serialRate < kSerialBitRates.size()) b.serial.baud = kSerialBitRates[banks.serialRate];
    b.serial.parity = ParityOfBankCode(banks.parityCode).value_or(Parity::None);
    b.deviceAddress = banks.deviceAddress;
    b.serialTimeOutMs = banks.serialTimeOut;
    b.cancelDataAfterRead = banks.cancelData != 0;
    b.keepInputRegisters = banks.cancelDataInputReg != 0;
    b.dataTimeOutSeconds = banks.dataTimeOut;
    b.timeOutRegister = banks.timeOutRegister;
    return b;
}

std::vector<std::string> BenchNotes(const BenchSettings& s, const DecodedBanks& banks) {
    std::vector<std::string> notes;
    if (s.deviceAddress < 1 || s.deviceAddress > 247)
        notes.push_back("the project's device address " + std::to_string(s.deviceAddress) +
                        " is not a Modbus slave address (1 to 247)");
    if (s.canBitRate == 0)
        notes.push_back("the banks hold CAN rate code " + std::to_string(banks.canRateCode) +
                        ", which names no bit rate: the interface keeps its own");
    if (banks.serialRate >= kSerialBitRates.size())
        notes.push_back("the banks hold serial rate code " + std::to_string(banks.serialRate) +
                        ", which names no bit rate: 9600 bit/s is used");
    if (s.cancelDataAfterRead)
        notes.push_back(std::string("the project sets \"Cancel data after read\": the device may clear a register "
                                    "once it has been read") +
                        (s.keepInputRegisters ? " (not when read as an input register, function 04)" : "") +
                        "; the model and the simulator keep the value");
    if (s.dataTimeOutSeconds > 0)
        notes.push_back("the project sets a data time-out of " + std::to_string(s.dataTimeOutSeconds) +
                        " s (register " + std::to_string(s.timeOutRegister) +
                        "); the model and the simulator do not apply it, so read within that time of the frames");
    return notes;
}

std::string CanBitRateText(int bitRate) {
    if (bitRate % 1000 == 0) return std::to_string(bitRate / 1000) + " kbit/s";
    return std::to_string(bitRate) + " bit/s";
}

}  // namespace vestrel::live
