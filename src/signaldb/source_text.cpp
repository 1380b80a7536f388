#include "signaldb/source_text.h"

#include "platform/text.h"
#include "signaldb/signal_database.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace vestrel::signaldb {

namespace {

// Windows-1252 0x80-0x9F; 0 where the code page defines no character.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The length of the well-formed UTF-8 sequence at `at`, or 0.
std::size_t SequenceLength(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (at + length > s.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    return length;
}

}  // namespace

bool IsUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t n = SequenceLength(bytes, at);
        if (n == 0) return false;
        at += n;
    }
    return true;
}

namespace {

// "little-endian" or "big-endian" for a UTF-16 file; nothing for another.
const char* Utf16Kind(std::string_view bytes) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) return "little-endian";
    if (bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) return "big-endian";
    // Without a byte order mark: ASCII text with a zero byte beside each character.
    if (bytes.size() >= 4 && at(0) != 0 && at(1) == 0 && at(2) != 0 && at(3) == 0) return "little-endian";
    if (bytes.size() >= 4 && at(0) == 0 && at(1) != 0 && at(2) == 0 && at(3) != 0) return "big-endian";
    return nullptr;
}

void RefuseNonText(std::string_view bytes, const std::string& fileName, const char* formatName) {
    if (const char* kind = Utf16Kind(bytes))
        throw DatabaseError(fileName, 0,
                            std::string("the file is UTF-16 (") + kind + "): " + formatName +
                                " is read as UTF-8 or Windows-1252; save it in one of those");
    const std::size_t nul = bytes.find('\0');
    if (nul == std::string_view::npos) return;
    const auto line = 1 + std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(nul), '\n');
    throw DatabaseError(fileName, static_cast<int>(line),
                        std::string("a NUL byte (0x00): the file holds binary data, and ") + formatName + " is text");
}

}  // namespace

std::string DecodeDatabaseText(std::string_view bytes, const std::string& fileName, const char* formatName) {
    RefuseNonText(bytes, fileName, formatName);
    if (IsUtf8(bytes)) {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
        return std::string(bytes);
    }
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 8);
    int line = 1;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n') ++line;
        if (c < 0x80) {
            text += ch;
        } else if (c >= 0xA0) {
            AppendUtf8(text, c);
        } else if (const char16_t mapped = kHighControls[c - 0x80]; mapped != 0) {
            AppendUtf8(text, mapped);
        } else {
            throw DatabaseError(fileName, line,
                                "the file is neither UTF-8 nor Windows-1252: byte 0x" + UpperHex(c, 2) +
                                    " has no meaning in either");
        }
    }
    return text;
}

}  // namespace vestrel::signaldb
