#include "platform/printable_text.h"

#include "platform/text.h"

#include <unicode/uchar.h>

#include <cstdint>

namespace vestrel {

namespace {

void AppendEscaped(std::string& out, unsigned value) {
    out += "\\x";
    out += UpperHexDigit(value >> 4);
    out += UpperHexDigit(value);
}

// "\u202E", or "\U000E0001" above the basic plane.
void AppendEscapedCodePoint(std::string& out, unsigned code) {
    out += code > 0xFFFF ? "\\U" : "\\u";
    out += UpperHex(code, code > 0xFFFF ? 8 : 4);
}

// Characters that change how the text around them is shown without showing
// themselves: bidirectional controls (U+202E turns what follows round),
// zero-width and other format characters, and the line and paragraph
// separators, which break a line that a report keeps as one.
bool ReordersOrBreaks(UChar32 code) {
    const std::int8_t type = u_charType(code);
    return type == U_FORMAT_CHAR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

unsigned CodePointOf(std::string_view sequence) {
    unsigned code = static_cast<unsigned char>(sequence[0]) & (0x7F >> sequence.size());
    for (std::size_t k = 1; k < sequence.size(); ++k) code = code << 6 | (static_cast<unsigned char>(sequence[k]) & 0x3F);
    return code;
}

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
std::size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    unsigned min;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, min = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, min = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, min = 0x10000;
    else return 0;
    if (text.size() < length) return 0;
    unsigned code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::string PrintableText(std::string_view text, LineBreaks lineBreaks) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += lineBreaks == LineBreaks::Keep ? "\n" : "; ";
        } else if (c < 0x20 || c == 0x7F) {
            AppendEscaped(out, c);
        } else if (c >= 0x80) {
            // UTF-8: a whole valid sequence is copied, unless it is one of the
            // C1 controls U+0080 to U+009F, which some terminals obey (CSI is
            // U+009B). A byte that starts no valid sequence is shown escaped.
            const std::size_t length = Utf8SequenceLength(text.substr(i));
            if (length == 0) {
                AppendEscaped(out, c);
            } else if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
                AppendEscaped(out, static_cast<unsigned char>(text[i + 1]));
                ++i;
            } else if (const unsigned code = CodePointOf(text.substr(i, length));
                       ReordersOrBreaks(static_cast<UChar32>(code))) {
                AppendEscapedCodePoint(out, code);
                i += length - 1;
            } else {
                out.append(text.substr(i, length));
                i += length - 1;
            }
        } else {
            out += static_cast<char>(c);
        }
    }
    // A message that ends in a line break would leave an empty line or "; ".
    if (lineBreaks == LineBreaks::OneLine)
        while (out.size() >= 2 && out.compare(out.size() - 2, 2, "; ") == 0) out.resize(out.size() - 2);
    else
        while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

}  // namespace vestrel
