#include "gateway/candump_line.h"

#include "gateway/log_text.h"

namespace vestrel::gateway {

namespace {

using namespace logtext;

LineKind Broken(std::string& why, const char* reason) {
    why = reason;
    return LineKind::Broken;
}

// "[8]" for a classic frame, "[08]" or "[12]" for a CAN FD frame.
bool ParseLength(std::string_view token, CanFrame& frame) {
    if (token.size() < 3 || token.size() > 4 || token.front() != '[' || token.back() != ']') return false;
    std::uint32_t length = 0;
    if (!ParseUnsigned(token.substr(1, token.size() - 2), 10, length)) return false;
    frame.fd = token.size() == 4;
    if (length > static_cast<std::uint32_t>(frame.fd ? kMaxFdDataBytes : kMaxDataBytes)) return false;
    frame.length = static_cast<std::uint8_t>(length);
    return true;
}

// What follows the interface name in the screen format: "181   [8]  11 22".
LineKind ParseLongForm(Tokens& tokens, std::string_view id, CanFrame& frame, std::string& why) {
    if (id == "RX" || id == "TX") {  // candump -x: direction and the BRS and ESI flags
        tokens.Next();
        tokens.Next();
        id = tokens.Next();
    }
    if (id.empty()) return Broken(why, "the line has no frame");
    if (!ParseCandumpId(id, frame, why)) return LineKind::Broken;
    if (!ParseLength(tokens.Next(), frame)) return Broken(why, "the data length is not [0] to [8], or [00] to [64]");
    if (!frame.fd && tokens.Peek() == "remote") {
        frame.remote = true;
        return LineKind::Frame;
    }
    if (!ReadDataBytes(tokens, 16, frame)) return Broken(why, "fewer data bytes than the data length");
    return LineKind::Frame;
}

}  // namespace

LineKind ParseCandumpLine(std::string_view line, LogFrame& out, LogFormat& form, std::string& why) {
    out.frame = CanFrame{};
    out.hasTime = false;
    Tokens tokens(line);
    std::string_view first = tokens.Next();
    if (first.empty()) return LineKind::Other;
    if (first[0] == '(') {
        if (first.size() < 3 || first.back() != ')' || !ParseSeconds(first.substr(1, first.size() - 2), out.time))
            return Broken(why, "the time stamp is not (seconds.microseconds)");
        out.hasTime = true;
        first = tokens.Next();
    }
    if (first.empty() || first.find('#') != std::string_view::npos)
        return Broken(why, first.empty() ? "the interface name is missing" : "the line has no interface name");
    out.channel = first;
    const std::string_view frameText = tokens.Next();
    if (frameText.find('#') != std::string_view::npos) {
        form = LogFormat::CandumpLog;
        // A direction flag ("R", "T") may follow; it is not needed.
        return ParseCompactFrame(frameText, out.frame, why) ? LineKind::Frame : LineKind::Broken;
    }
    form = LogFormat::CandumpLong;
    return ParseLongForm(tokens, frameText, out.frame, why);
}

}  // namespace vestrel::gateway
