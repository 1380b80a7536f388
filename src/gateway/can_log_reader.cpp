#include "gateway/can_log_reader.h"

#include "platform/error.h"
#include "platform/file_util.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vestrel::gateway {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;
constexpr std::size_t kShownLineBytes = 120;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Splits a line into blank-separated tokens, one at a time.
class Tokens {
public:
    explicit Tokens(std::string_view text) : text_(text) {}
    std::string_view Next() {
        while (at_ < text_.size() && IsBlank(text_[at_])) ++at_;
        const std::size_t from = at_;
        while (at_ < text_.size() && !IsBlank(text_[at_])) ++at_;
        return text_.substr(from, at_ - from);
    }
    std::string_view Peek() {
        const std::size_t saved = at_;
        std::string_view token = Next();
        at_ = saved;
        return token;
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool ParseUnsigned(std::string_view text, int base, std::uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        const int d = HexDigit(c);
        if (d < 0 || d >= base) return false;
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    }
    if (v > 0xFFFFFFFFu) return false;
    value = static_cast<std::uint32_t>(v);
    return true;
}

bool ParseByte(std::string_view text, int base, std::uint8_t& value) {
    std::uint32_t v = 0;
    if (!ParseUnsigned(text, base, v) || v > 0xFF) return false;
    value = static_cast<std::uint8_t>(v);
    return true;
}

// "1436509052.249713" or "0.0003": seconds, then up to six decimals.
bool ParseSeconds(std::string_view text, std::int64_t& micros) {
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (whole.empty() || whole.size() > 12 || fraction.size() > 6 || (dot != std::string_view::npos && fraction.empty()))
        return false;
    std::int64_t seconds = 0;
    for (char c : whole) {
        if (c < '0' || c > '9') return false;
        seconds = seconds * 10 + (c - '0');
    }
    std::int64_t part = 0;
    for (std::size_t i = 0; i < 6; ++i) {
        const char c = i < fraction.size() ? fraction[i] : '0';
        if (c < '0' || c > '9') return false;
        part = part * 10 + (c - '0');
    }
    micros = seconds * 1000000 + part;
    return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// A candump identifier in the screen format: 3 hex digits standard, 8 extended.
bool ParseLongId(std::string_view token, CanFrame& frame) {
    std::uint32_t id = 0;
    if ((token.size() != 3 && token.size() != 8) || !ParseUnsigned(token, 16, id)) return false;
    frame.extended = token.size() == 8;
    if (frame.extended && (id & 0x20000000u)) {
        frame.error = true;
        id &= 0x1FFFFFFFu;
    } else if (frame.extended ? id > kMaxExtendedId : id > kMaxStandardId) {
        return false;
    }
    frame.id = id;
    return true;
}

// As many data bytes as the frame's length says.
bool ReadDataBytes(Tokens& tokens, int base, CanFrame& frame, std::string& why) {
    for (std::size_t i = 0; i < frame.length; ++i) {
        if (!ParseByte(tokens.Next(), base, frame.data[i])) {
            why = "fewer data bytes than the data length";
            return false;
        }
    }
    return true;
}

// The lines of an ASC file that carry no event: its header, comments and
// the trigger blocks' bounds.
bool IsAscHeader(std::string_view first) {
    return first == "date" || first == "//" || first == "no" || first == "internal" || first == "Begin" ||
           first == "End" || first.empty();
}

// Passes the channel of an event line ("CANFD 1 Rx" on CAN FD lines, which
// give the direction before the identifier). False for events without a
// channel: "Start of measurement", statistics.
bool SkipAscChannel(Tokens& tokens, bool& fd) {
    std::string_view channel = tokens.Next();
    fd = channel == "CANFD";
    if (fd) channel = tokens.Next();
    std::uint32_t number = 0;
    if (!ParseUnsigned(channel, 10, number)) return false;
    if (fd) tokens.Next();
    return true;
}

enum class AscId { Read, NotAnId, OutOfRange };

// An identifier in the file's base; a trailing "x" marks an extended one.
AscId ParseAscId(std::string_view id, int base, CanFrame& frame) {
    if (!id.empty() && (id.back() == 'x' || id.back() == 'X')) {
        frame.extended = true;
        id.remove_suffix(1);
    }
    std::uint32_t value = 0;
    if (!ParseUnsigned(id, base, value)) return AscId::NotAnId;
    if (value > (frame.extended ? kMaxExtendedId : kMaxStandardId)) return AscId::OutOfRange;
    frame.id = value;
    return AscId::Read;
}

// What follows the identifier on a CAN line: "Rx d 8 11 22 ..." for data,
// "Tx r" or "Tx r 8" for a remote request.
bool ParseAscData(Tokens& tokens, int base, CanFrame& frame, std::string& why) {
    tokens.Next();  // Rx or Tx
    const std::string_view kind = tokens.Next();
    if (kind != "d" && kind != "r") {
        why = "neither a data frame (d) nor a remote frame (r)";
        return false;
    }
    const std::string_view dlc = tokens.Peek();
    std::uint32_t length = 0;
    if (kind == "r") {
        frame.remote = true;
        if (!dlc.empty() && ParseUnsigned(dlc, 16, length) && length <= kMaxDataBytes)
            frame.length = static_cast<std::uint8_t>(length);
        return true;
    }
    tokens.Next();
    if (!ParseUnsigned(dlc, 16, length) || length > kMaxDataBytes) {
        why = "the data length is not 0 to 8";
        return false;
    }
    frame.length = static_cast<std::uint8_t>(length);
    return ReadDataBytes(tokens, base, frame, why);
}

// What follows the identifier on a CANFD line: brs esi dlc data-length
// data... duration bit-count flags ...
bool ParseAscFdData(Tokens& tokens, int base, CanFrame& frame, std::string& why) {
    tokens.Next();
    tokens.Next();
    tokens.Next();
    std::uint32_t length = 0;
    if (!ParseUnsigned(tokens.Next(), 10, length) || length > kMaxDataBytes) {
        why = "a CAN FD frame with more than 8 data bytes is not a CAN 2.0 frame";
        return false;
    }
    frame.length = static_cast<std::uint8_t>(length);
    if (!ReadDataBytes(tokens, base, frame, why)) return false;
    tokens.Next();
    tokens.Next();
    std::uint32_t flags = 0;
    if (!ParseUnsigned(tokens.Next(), 16, flags)) {
        why = "the CANFD line has no flags";
        return false;
    }
    if (flags & 0x1000) {
        why = "CAN FD frames are not CAN 2.0 frames";
        return false;
    }
    if (flags & 0x10) {
        frame.remote = true;
        frame.length = 0;
    }
    return true;
}

}  // namespace

const char* LogFormatName(LogFormat format) {
    switch (format) {
        case LogFormat::Unknown: return "no frames";
        case LogFormat::CandumpLog: return "candump log file";
        case LogFormat::CandumpLong: return "candump screen format";
        case LogFormat::VectorAsc: return "Vector ASC";
    }
    return "";
}

void AppendTimeText(std::string& out, std::int64_t micros) {
    char digits[24];
    int n = 0;
    std::int64_t seconds = micros / 1000000;
    std::int64_t fraction = micros % 1000000;
    do {
        digits[n++] = static_cast<char>('0' + seconds % 10);
        seconds /= 10;
    } while (seconds > 0);
    while (n > 0) out += digits[--n];
    out += '.';
    char six[6];
    for (int i = 5; i >= 0; --i) {
        six[i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    out.append(six, 6);
}

CanLogReader::CanLogReader(const std::filesystem::path& path) : path_(path), buffer_(kBufferSize) {
    if (path == "-") {
        fd_ = STDIN_FILENO;
        return;
    }
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw Error(CannotReadMessage(path, errno));
    ownsFd_ = true;
}

CanLogReader::~CanLogReader() {
    if (ownsFd_) ::close(fd_);
}

bool CanLogReader::NextLine(std::string_view& line) {
    for (;;) {
        const char* from = buffer_.data() + begin_;
        if (const void* newline = std::memchr(from, '\n', end_ - begin_)) {
            const auto length = static_cast<std::size_t>(static_cast<const char*>(newline) - from);
            line = std::string_view(from, length);
            begin_ += length + 1;
            ++line_;
            return true;
        }
        if (eof_) {
            if (begin_ == end_) return false;
            line = std::string_view(from, end_ - begin_);  // the last line without a line break
            begin_ = end_;
            ++line_;
            return true;
        }
        if (begin_ > 0) {
            std::memmove(buffer_.data(), from, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        if (end_ == buffer_.size()) {
            // A line longer than the buffer: hand out what is there as that line,
            // and drop the rest of it below.
            line = std::string_view(buffer_.data(), end_);
            begin_ = end_ = 0;
            ++line_;
            for (;;) {
                const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
                if (got < 0 && errno == EINTR) continue;
                if (got < 0) throw Error("Cannot read file \"" + path_.string() + "\". " + SystemMessage(errno));
                if (got == 0) {
                    eof_ = true;
                    break;
                }
                if (const void* newline = std::memchr(buffer_.data(), '\n', static_cast<std::size_t>(got))) {
                    begin_ = static_cast<std::size_t>(static_cast<const char*>(newline) - buffer_.data()) + 1;
                    end_ = static_cast<std::size_t>(got);
                    break;
                }
            }
            return true;
        }
        const ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw Error("Cannot read file \"" + path_.string() + "\". " + SystemMessage(errno));
        if (got == 0) eof_ = true;
        end_ += static_cast<std::size_t>(got);
    }
}

CanLogReader::Step CanLogReader::Next(LogFrame& frame, BrokenLine& broken) {
    std::string_view line;
    std::string why;
    while (NextLine(line)) {
        const Step step = ParseLine(line, frame, why);
        if (step == Step::Frame) {
            frame.line = line_;
            return step;
        }
        if (step == Step::Broken) {
            broken.line = line_;
            broken.reason = std::move(why);
            broken.text.assign(line.substr(0, kShownLineBytes));
            return step;
        }
    }
    return Step::End;
}

CanLogReader::Step CanLogReader::ParseLine(std::string_view line, LogFrame& out, std::string& why) {
    out.frame = CanFrame{};
    out.hasTime = false;
    Tokens tokens(line);
    std::string_view first = tokens.Peek();
    if (first.empty()) return Step::End;  // an empty line

    if (first[0] == '(') {
        tokens.Next();
        if (first.size() < 3 || first.back() != ')' || !ParseSeconds(first.substr(1, first.size() - 2), out.time)) {
            why = "the time stamp is not (seconds.microseconds)";
            return Step::Broken;
        }
        out.hasTime = true;
    } else if (format_ == LogFormat::VectorAsc || (first[0] >= '0' && first[0] <= '9') || first == "date" ||
               first == "base" || first == "//" || StartsWith(line, "no internal events") ||
               StartsWith(line, "internal events") || first == "Begin" || first == "End") {
        return ParseAsc(line, out, why);
    }

    if (tokens.Next().empty()) {
        why = "the interface name is missing";
        return Step::Broken;
    }
    const std::string_view id = tokens.Next();
    if (id.find('#') != std::string_view::npos) {
        if (!ParseCompactFrame(id, out.frame, why)) return Step::Broken;
        if (format_ == LogFormat::Unknown) format_ = LogFormat::CandumpLog;
        return Step::Frame;  // a direction flag ("R", "T") may follow; it is not needed
    }
    if (!ParseLongId(id, out.frame)) {
        why = id.empty() ? "the line has no frame" : "the identifier has 3 hex digits (standard) or 8 (extended)";
        return Step::Broken;
    }
    const std::string_view dlc = tokens.Next();
    if (dlc.size() != 3 || dlc[0] != '[' || dlc[2] != ']' || dlc[1] < '0' || dlc[1] > '8') {
        why = "the data length is not [0] to [8]";
        return Step::Broken;
    }
    out.frame.length = static_cast<std::uint8_t>(dlc[1] - '0');
    if (tokens.Peek() == "remote") {
        out.frame.remote = true;
    } else if (!ReadDataBytes(tokens, 16, out.frame, why)) {
        return Step::Broken;
    }
    if (format_ == LogFormat::Unknown) format_ = LogFormat::CandumpLong;
    return Step::Frame;
}

CanLogReader::Step CanLogReader::ParseAsc(std::string_view line, LogFrame& out, std::string& why) {
    Tokens tokens(line);
    const std::string_view first = tokens.Next();
    if (first == "base") {
        const std::string_view base = tokens.Next();
        ascDecimal_ = base == "dec";
        if (tokens.Next() == "timestamps") ascRelative_ = tokens.Next() == "relative";
        return Step::End;
    }
    if (IsAscHeader(first)) return Step::End;
    if (!TakeAscTime(first, out)) {
        why = "not a line of a CAN log";
        return Step::Broken;
    }
    bool fd = false;
    if (!SkipAscChannel(tokens, fd)) return Step::End;
    const std::string_view id = tokens.Next();
    if (id == "ErrorFrame") {
        out.frame.error = true;
        return Step::Frame;
    }
    const int base = ascDecimal_ ? 10 : 16;
    switch (ParseAscId(id, base, out.frame)) {
        case AscId::Read: break;
        // Other events on a channel (statistics, chip states) are not frames.
        case AscId::NotAnId: return Step::End;
        case AscId::OutOfRange: why = "the identifier is out of range"; return Step::Broken;
    }
    const bool read = fd ? ParseAscFdData(tokens, base, out.frame, why) : ParseAscData(tokens, base, out.frame, why);
    if (!read) return Step::Broken;
    if (format_ == LogFormat::Unknown) format_ = LogFormat::VectorAsc;
    return Step::Frame;
}

bool CanLogReader::TakeAscTime(std::string_view text, LogFrame& out) {
    std::int64_t time = 0;
    if (!ParseSeconds(text, time)) return false;
    if (ascRelative_) time += ascLastTime_;
    ascLastTime_ = time;
    out.hasTime = true;
    out.time = time;
    return true;
}

}  // namespace vestrel::gateway
