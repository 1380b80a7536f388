#include "can/can_frame.h"

#include "platform/text.h"

namespace vestrel::can {

namespace {

constexpr std::uint32_t kErrorFlag = 0x20000000;
constexpr int kFdFlagBitRateSwitch = 0x1;  // the flags digit of "##"
constexpr int kFdFlagErrorState = 0x2;


void AppendHexByte(std::string& out, std::uint8_t byte) {
    out += UpperHexDigit(byte >> 4);
    out += UpperHexDigit(byte & 0xF);
}

// "R" or "R0" to "R8" after the '#'.
Result<CanFrame> ParseRemote(std::string_view data, CanFrame frame) {
    frame.remote = true;
    if (data.size() == 1) return frame;
    if (data.size() == 2 && data[1] >= '0' && data[1] <= '8') {
        frame.length = static_cast<std::uint8_t>(data[1] - '0');
        return frame;
    }
    return Failure{"a remote request is ID#R or ID#R and a length 0 to 8"};
}

// Pairs of hex digits, optionally separated by '.', at most `max` bytes.
Result<CanFrame> ParseData(std::string_view data, int max, CanFrame frame) {
    std::size_t i = 0;
    while (i < data.size()) {
        if (data[i] == '.') {
            ++i;
            continue;
        }
        const int high = HexDigitValue(data[i]);
        const int low = i + 1 < data.size() ? HexDigitValue(data[i + 1]) : -1;
        if (high < 0 || low < 0) return Failure{"the data are pairs of hex digits"};
        if (frame.length == max)
            return Failure{max == kMaxDataBytes ? "a CAN 2.0 frame carries at most 8 data bytes"
                                                : "a CAN FD frame carries at most 64 data bytes"};
        frame.data[frame.length++] = static_cast<std::uint8_t>(high << 4 | low);
        i += 2;
    }
    return frame;
}

}  // namespace

int FdDataLength(int dlc) {
    static constexpr int kLengths[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
    return dlc >= 0 && dlc < 16 ? kLengths[dlc] : 0;
}

Result<CanIdentifier> ParseCandumpId(std::string_view digits) {
    if (digits.size() != 3 && digits.size() != 8)
        return Failure{"the identifier has 3 hex digits (standard) or 8 (extended)"};
    std::uint32_t value = 0;
    for (char c : digits) {
        const int d = HexDigitValue(c);
        if (d < 0) return Failure{"the identifier is not hexadecimal"};
        value = value << 4 | static_cast<std::uint32_t>(d);
    }
    CanIdentifier id;
    id.extended = digits.size() == 8;
    if (!id.extended && value > kMaxStandardId) return Failure{"a standard identifier is 000 to 7FF"};
    if (id.extended && (value & kErrorFlag)) {
        id.error = true;
        value &= kErrorFlag - 1;
    } else if (id.extended && value > kMaxExtendedId) {
        return Failure{"an extended identifier is 00000000 to 1FFFFFFF"};
    }
    id.id = value;
    return id;
}

Result<CanFrame> ParseCompactFrame(std::string_view text) {
    const std::size_t hash = text.find('#');
    if (hash == std::string_view::npos) return Failure{"a frame is ID#DATA"};
    const Result<CanIdentifier> id = ParseCandumpId(text.substr(0, hash));
    if (!id) return Failure{id.Why()};
    CanFrame frame;
    id->SetIn(frame);
    std::string_view data = text.substr(hash + 1);
    if (!data.empty() && data[0] == '#') {
        if (frame.error) return Failure{"an error frame is not a CAN FD frame"};
        const int flags = data.size() > 1 ? HexDigitValue(data[1]) : -1;
        if (flags < 0) return Failure{"a CAN FD frame is ID##, a flags digit and the data"};
        frame.fd = true;
        frame.bitRateSwitch = flags & kFdFlagBitRateSwitch;
        frame.errorStateIndicator = flags & kFdFlagErrorState;
        return ParseData(data.substr(2), kMaxFdDataBytes, frame);
    }
    if (!data.empty() && (data[0] == 'R' || data[0] == 'r')) return ParseRemote(data, frame);
    return ParseData(data, kMaxDataBytes, frame);
}

void AppendCompactFrameText(std::string& out, const CanFrame& frame) {
    const std::uint32_t id = frame.error ? frame.id | kErrorFlag : frame.id;
    const int digits = frame.extended ? 8 : 3;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += UpperHexDigit((id >> shift) & 0xF);
    out += '#';
    if (frame.fd) {
        out += '#';
        out += UpperHexDigit((frame.bitRateSwitch ? kFdFlagBitRateSwitch : 0) |
                          (frame.errorStateIndicator ? kFdFlagErrorState : 0));
    } else if (frame.remote) {
        out += 'R';
        if (frame.length != 0) out += static_cast<char>('0' + frame.length);
        return;
    }
    for (int i = 0; i < frame.length; ++i) AppendHexByte(out, frame.data[static_cast<std::size_t>(i)]);
}

std::string CompactFrameText(const CanFrame& frame) {
    std::string text;
    AppendCompactFrameText(text, frame);
    return text;
}

std::string CobIdText(std::uint32_t id) { return "0x" + UpperHex(id); }

std::string BusIdText(std::uint32_t id, bool extended) { return "0x" + UpperHex(id, extended ? 8 : 1); }

}  // namespace vestrel::can
