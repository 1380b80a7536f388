#include "can/asc_lines.h"

#include "can/log_text.h"

namespace vestrel::can {

namespace {

using namespace logtext;

// The flags of a CANFD line.
constexpr std::uint32_t kAscFdRemote = 0x10;
constexpr std::uint32_t kAscFdFrame = 0x1000;  // EDL: a CAN FD frame, else a classic one
constexpr std::uint32_t kAscFdBitRateSwitch = 0x2000;
constexpr std::uint32_t kAscFdErrorState = 0x4000;

// The channels a log may name: BLF, from the same tools, keeps them in 16 bits.
constexpr std::uint32_t kMaxAscChannel = 0xFFFF;

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

enum class AscId { Read, NotAnId, NotANumber, OutOfRange };

// An identifier in the file's base; a trailing "x" marks an extended one.
// A word that starts with a letter and is no number is the name of another
// event; one that starts with a digit is a broken identifier.
AscId ParseAscId(std::string_view id, int base, CanFrame& frame) {
    const bool number = !id.empty() && IsDecimalDigit(id[0]);
    if (!id.empty() && (id.back() == 'x' || id.back() == 'X')) {
        frame.extended = true;
        id.remove_suffix(1);
    }
    std::uint32_t value = 0;
    if (!ParseUnsigned(id, base, value)) return number ? AscId::NotANumber : AscId::NotAnId;
    if (value > (frame.extended ? kMaxExtendedId : kMaxStandardId)) return AscId::OutOfRange;
    frame.id = value;
    return AscId::Read;
}

// What follows the identifier on a CAN line: "Rx d 8 11 22 ..." for data,
// "Tx r" or "Tx r 8" for a remote request; the DLC in the file's base.
LineKind ParseClassic(Tokens& tokens, int base, CanFrame& frame, std::string& why) {
    tokens.Next();  // Rx or Tx
    const std::string_view kind = tokens.Next();
    if (kind != "d" && kind != "r") return Broken(why, "neither a data frame (d) nor a remote frame (r)");
    const std::string_view dlc = tokens.Peek();
    std::uint32_t length = 0;
    if (kind == "r") {
        frame.remote = true;
        if (!dlc.empty() && ParseUnsigned(dlc, base, length) && length <= kMaxDataBytes)
            frame.length = static_cast<std::uint8_t>(length);
        return LineKind::Frame;
    }
    tokens.Next();
    if (!ParseUnsigned(dlc, base, length) || length > 15) return Broken(why, "the data length code is not 0 to F");
    frame.length = static_cast<std::uint8_t>(length > kMaxDataBytes ? kMaxDataBytes : length);
    if (!ReadDataBytes(tokens, base, frame)) return Broken(why, "fewer data bytes than the data length");
    return LineKind::Frame;
}

// What follows the identifier on a CANFD line: [symbolic name] BRS ESI DLC
// data-length data... duration bit-count flags ... A classic remote frame
// carries no data; its DLC is the length it asks for.
LineKind ParseFd(Tokens& tokens, int base, CanFrame& frame, std::string& why) {
    std::uint32_t digit = 0;
    if (!ParseUnsigned(tokens.Peek(), 10, digit)) tokens.Next();  // a symbolic name
    tokens.Next();
    tokens.Next();
    std::uint32_t dlc = 0;
    if (!ParseUnsigned(tokens.Next(), base, dlc) || dlc > 15) return Broken(why, "the data length code is not 0 to F");
    std::uint32_t length = 0;
    if (!ParseUnsigned(tokens.Next(), 10, length) || length > kMaxFdDataBytes)
        return Broken(why, "the data length of a CANFD line is not 0 to 64");
    frame.length = static_cast<std::uint8_t>(length);
    if (!ReadDataBytes(tokens, base, frame)) return Broken(why, "fewer data bytes than the data length");
    tokens.Next();
    tokens.Next();
    std::uint32_t flags = 0;
    if (!ParseUnsigned(tokens.Next(), 16, flags)) return Broken(why, "the CANFD line has no flags");
    frame.fd = flags & kAscFdFrame;
    frame.bitRateSwitch = frame.fd && (flags & kAscFdBitRateSwitch);
    frame.errorStateIndicator = frame.fd && (flags & kAscFdErrorState);
    if (!frame.fd && length > kMaxDataBytes) return Broken(why, "a classic CAN frame carries at most 8 data bytes");
    if (!frame.fd && (flags & kAscFdRemote)) {
        frame.remote = true;
        frame.data = {};
        frame.length = static_cast<std::uint8_t>(dlc > kMaxDataBytes ? kMaxDataBytes : dlc);
    }
    return LineKind::Frame;
}

}  // namespace

bool AscLines::IsHeader(std::string_view line) {
    Tokens tokens(line);
    const std::string_view first = tokens.Next();
    if (first == "date") return !tokens.Next().empty();
    if (first == "base") {
        const std::string_view base = tokens.Next();
        return base == "hex" || base == "dec";
    }
    const std::size_t start = line.find_first_not_of(" \t");
    const std::string_view rest = start == std::string_view::npos ? std::string_view() : line.substr(start);
    return StartsWith(rest, "internal events logged") || StartsWith(rest, "no internal events logged") ||
           StartsWith(rest, "Begin Triggerblock") || StartsWith(rest, "Begin TriggerBlock");
}

bool AscLines::IsOwnLine(std::string_view line) {
    LogFrame frame;
    std::string why;
    return IsHeader(line) || AscLines().Parse(line, frame, why) == LineKind::Frame;
}

LineKind AscLines::Parse(std::string_view line, LogFrame& out, std::string& why) {
    out.frame = CanFrame{};
    out.hasTime = false;
    out.channel = {};
    Tokens tokens(line);
    const std::string_view first = tokens.Next();
    if (first == "base") {
        base_ = tokens.Next() == "dec" ? 10 : 16;
        if (tokens.Next() == "timestamps") relative_ = tokens.Next() == "relative";
        return LineKind::Other;
    }
    // A comment is "// ..." or, as some writers put it, "//0.000000 previous log file: ...".
    if (first.empty() || first == "date" || StartsWith(first, "//") || first == "no" || first == "internal" ||
        first == "Begin" || first == "End")
        return LineKind::Other;
    return ParseEvent(line, out, why);
}

LineKind AscLines::ParseEvent(std::string_view line, LogFrame& out, std::string& why) {
    Tokens tokens(line);
    if (const Result<void> taken = TakeTime(tokens.Next(), out); !taken) return Broken(why, taken.Why().c_str());
    std::string_view channel = tokens.Next();
    const bool fdLine = channel == "CANFD";
    if (fdLine) channel = tokens.Next();
    if (channel.empty()) return Broken(why, "a time stamp without an event");
    // Events without a channel: "Start of measurement", "CAN 1 Status:...".
    if (!IsDecimalDigit(channel[0])) return LineKind::Other;
    std::uint32_t number = 0;
    if (!ParseUnsigned(channel, 10, number) || number > kMaxAscChannel)
        return Broken(why, "the channel is not a number from 0 to 65535");
    out.channel = channel;
    if (fdLine) tokens.Next();  // Rx or Tx, before the identifier on CANFD lines
    const std::string_view id = tokens.Next();
    if (id == "ErrorFrame") {
        out.frame.error = true;
        return LineKind::Frame;
    }
    switch (ParseAscId(id, base_, out.frame)) {
        case AscId::Read: break;
        // Other events on a channel (statistics, chip states) are not frames.
        case AscId::NotAnId: return LineKind::Other;
        case AscId::NotANumber: return Broken(why, "the identifier is not a number in the file's base");
        case AscId::OutOfRange: return Broken(why, "the identifier is out of range");
    }
    return fdLine ? ParseFd(tokens, base_, out.frame, why) : ParseClassic(tokens, base_, out.frame, why);
}

Result<void> AscLines::TakeTime(std::string_view text, LogFrame& out) {
    std::int64_t time = 0;
    if (!ParseSeconds(text, time)) return Failure{"not a line of a CAN log"};
    if (relative_ && __builtin_add_overflow(time, lastTime_, &time)) return Failure{"the time stamp is out of range"};
    lastTime_ = time;
    out.hasTime = true;
    out.time = time;
    return {};
}

}  // namespace vestrel::can
