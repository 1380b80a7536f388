#include "can/candump_line.h"

#include "can/log_text.h"

namespace vestrel::can {

namespace {

using namespace logtext;

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
    const Result<CanIdentifier> identifier = ParseCandumpId(id);
    if (!identifier) {
        why = identifier.Why();
        return LineKind::Broken;
    }
    identifier->SetIn(frame);
    if (!ParseLength(tokens.Next(), frame)) return Broken(why, "the data length is not [0] to [8], or [00] to [64]");
    if (frame.fd && frame.error) return Broken(why, "an error frame is not a CAN FD frame");
    if (!frame.fd && tokens.Peek() == "remote") {
        frame.remote = true;
        return LineKind::Frame;
    }
    if (!ReadDataBytes(tokens, 16, frame)) return Broken(why, "fewer data bytes than the data length");
    return LineKind::Frame;
}

// The line candump -l writes, "(1436509052.249713) can0 181#11223344", read
// in one pass: most lines of most logs. Whatever else a line holds (another
// number of decimals, more blanks, CAN FD, a remote request, a mistake) is
// left to the general reading below, which reads the same syntax and says
// what is wrong.
bool ReadPlainLogLine(std::string_view line, LogFrame& out) {
    const char* p = line.data();
    const char* const end = p + line.size();
    if (line.size() < 16 || *p++ != '(') return false;
    std::int64_t seconds = 0;
    const char* const digits = p;
    while (p < end && p - digits < 12 && static_cast<unsigned>(*p - '0') < 10) seconds = seconds * 10 + (*p++ - '0');
    if (p == digits || end - p < 9 || p[0] != '.' || p[7] != ')' || p[8] != ' ') return false;
    std::int64_t micros = 0;
    for (int i = 1; i <= 6; ++i) {
        const unsigned d = static_cast<unsigned>(p[i] - '0');
        if (d > 9) return false;
        micros = micros * 10 + d;
    }
    p += 9;
    const char* const name = p;
    while (p < end && *p != ' ' && *p != '\t' && *p != '#') ++p;
    if (p == name || p == end || *p != ' ') return false;
    const std::string_view channel(name, static_cast<std::size_t>(p - name));
    const char* const id = ++p;
    while (p < end && *p != '#') ++p;
    out.frame = CanFrame{};
    if (p == end) return false;
    const Result<CanIdentifier> identifier = ParseCandumpId(std::string_view(id, static_cast<std::size_t>(p - id)));
    if (!identifier) return false;
    identifier->SetIn(out.frame);
    ++p;
    CanFrame& frame = out.frame;
    while (p < end && *p != ' ') {
        if (end - p < 2 || frame.length == kMaxDataBytes) return false;
        const int high = HexDigitValue(p[0]);
        const int low = HexDigitValue(p[1]);
        if ((high | low) < 0) return false;
        frame.data[frame.length++] = static_cast<std::uint8_t>(high << 4 | low);
        p += 2;
    }
    out.hasTime = true;
    out.time = seconds * 1000000 + micros;
    out.channel = channel;
    return true;
}

}  // namespace

bool CandumpLines::IsFrameIn(std::string_view line, CandumpForm form) {
    CandumpLines lines;
    LogFrame frame;
    std::string why;
    return lines.Parse(line, frame, why) == LineKind::Frame && lines.Form() == form;
}

LineKind CandumpLines::Parse(std::string_view line, LogFrame& out, std::string& why) {
    if (ReadPlainLogLine(line, out)) {
        form_ = CandumpForm::LogFile;
        return LineKind::Frame;
    }
    out.hasTime = false;
    Tokens tokens(line);
    std::string_view first = tokens.Next();
    if (first.empty()) {
        out.frame = CanFrame{};
        return LineKind::Other;
    }
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
        form_ = CandumpForm::LogFile;
        // A direction flag ("R", "T") may follow; it is not needed.
        Result<CanFrame> frame = ParseCompactFrame(frameText);
        if (!frame) {
            why = frame.Why();
            return LineKind::Broken;
        }
        out.frame = *frame;
        return LineKind::Frame;
    }
    form_ = CandumpForm::Screen;
    out.frame = CanFrame{};
    return ParseLongForm(tokens, frameText, out.frame, why);
}

}  // namespace vestrel::can
