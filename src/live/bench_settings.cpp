#include "live/bench_settings.h"

#include <array>
#include <charconv>

namespace vestrel::live {

namespace {

bool ParseInt(std::string_view text, int& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
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
    return CanEndpoint{std::string(text.substr(0, colon)), std::string(text.substr(colon + 1))};
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
