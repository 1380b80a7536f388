#include "can/trc_lines.h"

#include "can/log_text.h"

namespace vestrel::can {

namespace {

using namespace logtext;

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The time offset in milliseconds, with up to three decimals that count.
bool ParseOffset(std::string_view text, LogFrame& frame) {
    frame.hasTime = ParseDecimal(text, 3, 9, frame.time);
    return frame.hasTime;
}

// Four hex digits for a standard identifier; more (PEAK writes eight) for
// an extended one.
bool ParseTrcId(std::string_view text, CanFrame& frame) {
    std::uint32_t id = 0;
    if (text.size() > 8 || !ParseUnsigned(text, 16, id)) return false;
    frame.extended = text.size() > 4;
    if (id > (frame.extended ? kMaxExtendedId : kMaxStandardId)) return false;
    frame.id = id;
    return true;
}

bool IsNumber(std::string_view text) {
    std::uint32_t value = 0;
    return ParseUnsigned(text, 10, value);
}

// The length and what follows it on a version 1.x line: data bytes, "RTR"
// for a remote request, "ERROR" and the error bytes (1.0).
LineKind ParseLengthAndData(Tokens& tokens, CanFrame& frame, std::string& why) {
    std::uint32_t length = 0;
    if (!ParseUnsigned(tokens.Next(), 10, length) || length > 15) return Broken(why, "the data length is not 0 to 15");
    frame.length = static_cast<std::uint8_t>(length > kMaxDataBytes ? kMaxDataBytes : length);
    const std::string_view next = tokens.Peek();
    if (next == "RTR") {
        frame.remote = true;
        return LineKind::Frame;
    }
    if (next == "ERROR") {
        frame = CanFrame{};
        frame.error = true;
        return LineKind::Frame;
    }
    if (!ReadDataBytes(tokens, 16, frame)) return Broken(why, "fewer data bytes than the data length");
    return LineKind::Frame;
}

// The frame a version 2.x type stands for: data (DT), a remote request
// (RR), an error frame (ER) or CAN FD (FD, FB with the bit rate switch, FE
// with the error state indicator, BI with both); ST (a status), EC (error
// counters) and EV (an event) are lines without a frame.
LineKind TakeType2(std::string_view type, CanFrame& frame, std::string& why) {
    if (type == "DT") return LineKind::Frame;
    if (type == "RR") frame.remote = true;
    if (type == "ER") frame.error = true;
    if (type == "RR" || type == "ER") return LineKind::Frame;
    if (type == "ST" || type == "EC" || type == "EV") return LineKind::Other;
    if (type != "FD" && type != "FB" && type != "FE" && type != "BI")
        return Broken(why, "the type is none of DT, FD, FB, FE, BI, RR, ER, ST, EC and EV");
    frame.fd = true;
    frame.bitRateSwitch = type == "FB" || type == "BI";
    frame.errorStateIndicator = type == "FE" || type == "BI";
    return LineKind::Frame;
}

// What is wrong with the columns of ";$COLUMNS=" for the lines of version
// 2.x, which need the type, the identifier, a length and the data last.
std::string ColumnsProblem(std::string_view columns) {
    if (columns.empty()) return "the column list names no columns";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const char c = columns[i];
        if (std::string_view("NOTBIdRLlD").find(c) == std::string_view::npos)
            return std::string("the column list names a column ") + c + ", which no TRC version has";
        if (columns.find(c, i + 1) != std::string_view::npos)
            return std::string("the column list names the column ") + c + " twice";
    }
    if (columns.find('T') == std::string_view::npos) return "the column list names no type column (T)";
    if (columns.find('I') == std::string_view::npos) return "the column list names no identifier column (I)";
    if (columns.find_first_of("Ll") == std::string_view::npos)
        return "the column list names no data length column (L or l)";
    if (columns.back() != 'D') return "the column list does not end with the data column (D)";
    return {};
}

}  // namespace

bool TrcLines::IsHeader(std::string_view line) {
    return StartsWith(line, ";$FILEVERSION") || StartsWith(line, ";$STARTTIME") || StartsWith(line, ";$COLUMNS");
}

bool TrcLines::IsOwnLine(std::string_view line) {
    LogFrame frame;
    std::string why;
    return IsHeader(line) || TrcLines().Parse(line, frame, why) == LineKind::Frame;
}

LineKind TrcLines::Parse(std::string_view line, LogFrame& out, std::string& why) {
    out.frame = CanFrame{};
    out.hasTime = false;
    out.channel = {};
    const std::string_view text = Trimmed(line);
    if (text.empty()) return LineKind::Other;
    if (text[0] == ';') {
        if (StartsWith(text, ";$FILEVERSION=")) {
            const std::string_view v = text.substr(14);
            version_ = v.size() >= 3 && v[1] == '.' && IsNumber(v.substr(0, 1)) && IsNumber(v.substr(2, 1))
                           ? (v[0] - '0') * 10 + (v[2] - '0')
                           : 10;
        } else if (StartsWith(text, ";$COLUMNS=")) {
            columns_.clear();
            for (char c : text.substr(10))
                if (c != ',' && !IsBlank(c)) columns_ += c;
            columnsProblem_ = ColumnsProblem(columns_);
            if (!columnsProblem_.empty() && version_ >= 20) {
                why = columnsProblem_;
                return LineKind::Unreadable;
            }
        }
        return LineKind::Other;
    }
    return version_ >= 20 ? ParseVersion2(text, out, why) : ParseVersion1(text, out, why);
}

LineKind TrcLines::ParseVersion1(std::string_view line, LogFrame& out, std::string& why) const {
    Tokens tokens(line);
    const std::string_view number = tokens.Next();
    if (number.size() < 2 || number.back() != ')' || !IsNumber(number.substr(0, number.size() - 1)))
        return Broken(why, "a line of a TRC 1.x log starts with the message number and ')'");
    if (!ParseOffset(tokens.Next(), out)) return Broken(why, "the time offset is not milliseconds");
    if (version_ >= 12) {
        out.channel = tokens.Next();
        if (!IsNumber(out.channel)) return Broken(why, "the bus is not a number");
    }
    if (version_ >= 11) {
        const std::string_view type = tokens.Next();
        if (type == "Error") {
            out.frame.error = true;
            return LineKind::Frame;
        }
        if (type == "Warng") return LineKind::Other;  // a warning of the adapter: bus heavy, bus off
        if (type != "Rx" && type != "Tx") return Broken(why, "the type is none of Rx, Tx, Warng and Error");
    }
    const std::string_view id = tokens.Next();
    if (version_ < 11 && id == "FFFFFFFF") return LineKind::Other;  // a status line of version 1.0
    if (!ParseTrcId(id, out.frame)) return Broken(why, "the identifier is not 4 or 8 hex digits in range");
    if (version_ >= 13 && tokens.Peek() == "-") tokens.Next();
    return ParseLengthAndData(tokens, out.frame, why);
}

LineKind TrcLines::ParseVersion2(std::string_view line, LogFrame& out, std::string& why) const {
    if (!columnsProblem_.empty()) return Broken(why, columnsProblem_.c_str());
    Tokens tokens(line);
    std::uint32_t dlc = 0, length = 0;
    bool haveLength = false;
    for (const char column : columns_) {
        const std::string_view token = column == 'D' ? std::string_view() : tokens.Next();
        switch (column) {
            case 'N':
                if (!IsNumber(token)) return Broken(why, "the message number is not a number");
                break;
            case 'O':
                if (!ParseOffset(token, out)) return Broken(why, "the time offset is not milliseconds");
                break;
            case 'T':
                if (const LineKind kind = TakeType2(token, out.frame, why); kind != LineKind::Frame) return kind;
                if (out.frame.error) return LineKind::Frame;
                break;
            case 'B': out.channel = token; break;
            case 'I':
                if (!ParseTrcId(token, out.frame))
                    return Broken(why, "the identifier is not 4 or 8 hex digits in range");
                break;
            case 'L':
                if (!ParseUnsigned(token, 10, dlc) || dlc > 15)
                    return Broken(why, "the data length code is not 0 to 15");
                break;
            case 'l':
                if (!ParseUnsigned(token, 10, length) || length > kMaxFdDataBytes)
                    return Broken(why, "the data length is not 0 to 64");
                haveLength = true;
                break;
            case 'D': break;
            default: break;  // direction, reserved, and columns of later versions
        }
    }
    CanFrame& frame = out.frame;
    if (!haveLength) length = frame.fd ? static_cast<std::uint32_t>(FdDataLength(static_cast<int>(dlc))) : dlc;
    if (!frame.fd && length > kMaxDataBytes) length = kMaxDataBytes;
    frame.length = static_cast<std::uint8_t>(length);
    if (frame.remote) return LineKind::Frame;
    for (std::size_t i = 0; i < frame.length; ++i)
        if (!ParseByte(tokens.Next(), 16, frame.data[i])) return Broken(why, "fewer data bytes than the data length");
    return LineKind::Frame;
}

}  // namespace vestrel::can
