#include "gateway/can_frame.h"

#include <cstdio>

namespace vestrel::gateway {

namespace {

constexpr std::uint32_t kErrorFlag = 0x20000000;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

bool ParseCompactFrame(std::string_view text, CanFrame& frame, std::string& why) {
    frame = CanFrame{};
    const std::size_t hash = text.find('#');
    if (hash == std::string_view::npos) {
        why = "a frame is ID#DATA";
        return false;
    }
    const std::string_view id = text.substr(0, hash);
    if (id.size() != 3 && id.size() != 8) {
        why = "the identifier has 3 hex digits (standard) or 8 (extended)";
        return false;
    }
    std::uint32_t value = 0;
    for (char c : id) {
        const int d = HexDigit(c);
        if (d < 0) {
            why = "the identifier is not hexadecimal";
            return false;
        }
        value = value << 4 | static_cast<std::uint32_t>(d);
    }
    if (id.size() == 3 && value > kMaxStandardId) {
        why = "a standard identifier is 000 to 7FF";
        return false;
    }
    frame.extended = id.size() == 8;
    if (frame.extended && (value & kErrorFlag)) {
        frame.error = true;
        value &= kErrorFlag - 1;
    } else if (frame.extended && value > kMaxExtendedId) {
        why = "an extended identifier is 00000000 to 1FFFFFFF";
        return false;
    }
    frame.id = value;

    std::string_view data = text.substr(hash + 1);
    if (!data.empty() && data[0] == '#') {
        why = "CAN FD frames (##) are not CAN 2.0 frames";
        return false;
    }
    if (!data.empty() && (data[0] == 'R' || data[0] == 'r')) {
        frame.remote = true;
        if (data.size() == 1) return true;
        if (data.size() == 2 && data[1] >= '0' && data[1] <= '8') {
            frame.length = static_cast<std::uint8_t>(data[1] - '0');
            return true;
        }
        why = "a remote request is ID#R or ID#R and a length 0 to 8";
        return false;
    }
    std::size_t i = 0;
    while (i < data.size()) {
        if (data[i] == '.') {
            ++i;
            continue;
        }
        const int high = HexDigit(data[i]);
        const int low = i + 1 < data.size() ? HexDigit(data[i + 1]) : -1;
        if (high < 0 || low < 0) {
            why = "the data are pairs of hex digits";
            return false;
        }
        if (frame.length == kMaxDataBytes) {
            why = "a CAN 2.0 frame carries at most 8 data bytes";
            return false;
        }
        frame.data[frame.length++] = static_cast<std::uint8_t>(high << 4 | low);
        i += 2;
    }
    return true;
}

std::string CompactFrameText(const CanFrame& frame) {
    std::string text;
    const std::uint32_t id = frame.error ? frame.id | kErrorFlag : frame.id;
    const int digits = frame.extended ? 8 : 3;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) text += kHexDigits[(id >> shift) & 0xF];
    text += '#';
    if (frame.remote) {
        text += 'R';
        if (frame.length != 0) text += static_cast<char>('0' + frame.length);
        return text;
    }
    for (int i = 0; i < frame.length; ++i) {
        text += kHexDigits[frame.data[static_cast<std::size_t>(i)] >> 4];
        text += kHexDigits[frame.data[static_cast<std::size_t>(i)] & 0xF];
    }
    return text;
}

std::string CobIdText(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", id);
    return text;
}

std::string BusIdText(std::uint32_t id, bool extended) {
    if (!extended) return CobIdText(id);
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", id);
    return text;
}

}  // namespace vestrel::gateway
