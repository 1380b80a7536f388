#include "gateway/can_frame.h"

#include "platform/text.h"

namespace vestrel::gateway {

namespace {

constexpr std::uint32_t kErrorFlag = 0x20000000;
constexpr int kFdFlagBitRateSwitch = 0x1;  // the flags digit of "##"
constexpr int kFdFlagErrorState = 0x2;


void AppendHexByte(std::string& out, std::uint8_t byte) {
    out += UpperHexDigit(byte >> 4);
    out += UpperHexDigit(byte & 0xF);
}

bool Refuse(std::string& why, const char* reason) {
    why = reason;
    return false;
}

// "R" or "R0" to "R8" after the '#'.
bool ParseRemote(std::string_view data, CanFrame& frame, std::string& why) {
    frame.remote = true;
    if (data.size() == 1) return true;
    if (data.size() == 2 && data[1] >= '0' && data[1] <= '8') {
        frame.length = static_cast<std::uint8_t>(data[1] - '0');
        return true;
    }
    return Refuse(why, "a remote request is ID#R or ID#R and a length 0 to 8");
}

// Pairs of hex digits, optionally separated by '.', at most `max` bytes.
bool ParseData(std::string_view data, int max, CanFrame& frame, std::string& why) {
    std::size_t i = 0;
    while (i < data.size()) {
        if (data[i] == '.') {
            ++i;
            continue;
        }
        const int high = HexDigitValue(data[i]);
        const int low = i + 1 < data.size() ? HexDigitValue(data[i + 1]) : -1;
        if (high < 0 || low < 0) return Refuse(why, "the data are pairs of hex digits");
        if (frame.length == max)
            return Refuse(why, max == kMaxDataBytes ? "a CAN 2.0 frame carries at most 8 data bytes"
                                                    : "a CAN FD frame carries at most 64 data bytes");
        frame.data[frame.length++] = static_cast<std::uint8_t>(high << 4 | low);
        i += 2;
    }
    return true;
}

}  // namespace

int FdDataLength(int dlc) {
    static constexpr int kLengths[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
    return dlc >= 0 && dlc < 16 ? kLengths[dlc] : 0;
}

bool ParseCandumpId(std::string_view digits, CanFrame& frame, std::string& why) {
    if (digits.size() != 3 && digits.size() != 8)
        return Refuse(why, "the identifier has 3 hex digits (standard) or 8 (extended)");
    std::uint32_t value = 0;
    for (char c : digits) {
        const int d = HexDigitValue(c);
        if (d < 0) return Refuse(why, "the identifier is not hexadecimal");
        value = value << 4 | static_cast<std::uint32_t>(d);
    }
    frame.extended = digits.size() == 8;
    frame.error = false;
    if (!frame.extended && value > kMaxStandardId) return Refuse(why, "a standard identifier is 000 to 7FF");
    if (frame.extended && (value & kErrorFlag)) {
        frame.error = true;
        value &= kErrorFlag - 1;
    } else if (frame.extended && value > kMaxExtendedId) {
        return Refuse(why, "an extended identifier is 00000000 to 1FFFFFFF");
    }
    frame.id = value;
    return true;
}

bool ParseCompactFrame(std::string_view text, CanFrame& frame, std::string& why) {
    frame = CanFrame{};
    const std::size_t hash = text.find('#');
    if (hash == std::string_view::npos) return Refuse(why, "a frame is ID#DATA");
    if (!ParseCandumpId(text.substr(0, hash), frame, why)) return false;
    std::string_view data = text.substr(hash + 1);
    if (!data.empty() && data[0] == '#') {
        if (frame.error) return Refuse(why, "an error frame is not a CAN FD frame");
        const int flags = data.size() > 1 ? HexDigitValue(data[1]) : -1;
        if (flags < 0) return Refuse(why, "a CAN FD frame is ID##, a flags digit and the data");
        frame.fd = true;
        frame.bitRateSwitch = flags & kFdFlagBitRateSwitch;
        frame.errorStateIndicator = flags & kFdFlagErrorState;
        return ParseData(data.substr(2), kMaxFdDataBytes, frame, why);
    }
    if (!data.empty() && (data[0] == 'R' || data[0] == 'r')) return ParseRemote(data, frame, why);
    return ParseData(data, kMaxDataBytes, frame, why);
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

}  // namespace vestrel::gateway
