#include "gateway/can_log_reader.h"

#include "gateway/asc_lines.h"
#include "gateway/blf_objects.h"
#include "gateway/candump_line.h"
#include "gateway/log_input.h"
#include "gateway/trc_lines.h"
#include "platform/error.h"

#include <array>
#include <utility>

namespace vestrel::gateway {

namespace {

constexpr std::size_t kShownLineBytes = 120;
constexpr std::size_t kFormatWindow = 64 * 1024;  // the bytes that tell the format
static_assert(kFormatWindow <= kMaxLogLineBytes, "LogInput peeks at most kMaxLogLineBytes");

// What a binary file that is no BLF probably is, by its first bytes.
std::string BinaryKind(std::string_view head) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kKinds{{
        {"\x1F\x8B", "a gzip file"},
        {"PK\x03\x04", "a zip file"},
        {"\177ELF", "an ELF program"},
        {"%PDF", "a PDF document"},
        {"\x89PNG", "a PNG image"},
        {"\3757zXZ", "an xz file"},
    }};
    for (const auto& [magic, kind] : kKinds)
        if (head.substr(0, magic.size()) == magic) return " (" + std::string(kind) + ")";
    return "";
}

}  // namespace

const char* LogFormatName(LogFormat format) {
    switch (format) {
        case LogFormat::Unknown: return "no frames";
        case LogFormat::CandumpLog: return "candump log file";
        case LogFormat::CandumpLong: return "candump screen format";
        case LogFormat::VectorAsc: return "Vector ASC";
        case LogFormat::VectorBlf: return "Vector BLF";
        case LogFormat::PeakTrc: return "PEAK TRC";
    }
    return "";
}

const char* LogRecordName(LogFormat format, bool plural) {
    if (format == LogFormat::VectorBlf) return plural ? "objects" : "object";
    return plural ? "lines" : "line";
}

char* WriteTimeText(char* out, std::int64_t micros) {
    std::uint64_t magnitude = static_cast<std::uint64_t>(micros);
    if (micros < 0) {
        *out++ = '-';
        magnitude = 0 - magnitude;
    }
    std::uint64_t seconds = magnitude / 1000000;
    std::uint32_t fraction = static_cast<std::uint32_t>(magnitude % 1000000);
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + seconds % 10);
        seconds /= 10;
    } while (seconds > 0);
    while (n > 0) *out++ = digits[--n];
    *out++ = '.';
    for (int i = 5; i >= 0; --i) {
        out[i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    return out + 6;
}

void AppendTimeText(std::string& out, std::int64_t micros) {
    char text[kTimeTextBytes];
    out.append(text, static_cast<std::size_t>(WriteTimeText(text, micros) - text));
}

CanLogReader::CanLogReader(const std::filesystem::path& path) : input_(std::make_unique<LogInput>(path)) {
    TellFormat();
}

CanLogReader::~CanLogReader() = default;

void CanLogReader::TellFormat() {
    const std::string_view head = input_->Peek(kFormatWindow);
    auto refuse = [&](const std::string& why) {
        const std::string name = input_->Path() == "-" ? "Standard input" : "File \"" + input_->Path().string() + "\"";
        throw Error(name + " is no CAN log: " + why);
    };
    if (head.empty()) refuse("it is empty");
    if (head.substr(0, 4) == "LOGG") {
        format_ = LogFormat::VectorBlf;
        blf_ = std::make_unique<BlfObjects>(*input_);
        return;
    }
    AscLines asc;
    TrcLines trc;
    LogFrame frame;
    std::string why;
    for (std::size_t at = 0; at < head.size();) {
        std::size_t end = head.find('\n', at);
        if (end == std::string_view::npos && head.size() == kFormatWindow) break;  // cut off by the window
        if (end == std::string_view::npos) end = head.size();
        std::string_view line = head.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        at = end + 1;
        LogFormat candump = LogFormat::Unknown;
        if (TrcLines::IsHeader(line) || trc.Parse(line, frame, why) == LineKind::Frame)
            format_ = LogFormat::PeakTrc;
        else if (AscLines::IsHeader(line) || asc.Parse(line, frame, why) == LineKind::Frame)
            format_ = LogFormat::VectorAsc;
        else if (ParseCandumpLine(line, frame, candump, why) == LineKind::Frame)
            format_ = candump;
        if (format_ != LogFormat::Unknown) break;
    }
    if (format_ == LogFormat::VectorAsc) asc_ = std::make_unique<AscLines>();
    if (format_ == LogFormat::PeakTrc) trc_ = std::make_unique<TrcLines>();
    // A text log may hold a stray NUL byte (a recording cut by a power loss
    // ends in zeros); a file of no known form that holds one is binary.
    if (format_ == LogFormat::Unknown && head.find('\0') != std::string_view::npos)
        refuse("it is binary and no BLF file" + BinaryKind(head));
    if (format_ == LogFormat::Unknown) refuse("no line of the first 64 KiB is a CAN frame in candump, ASC or TRC form");
}

CanLogReader::Step CanLogReader::Next(LogFrame& frame, BrokenLine& broken) {
    if (blf_) {
        switch (blf_->Next(frame, broken)) {
            case BlfObjects::Step::Frame: return Step::Frame;
            case BlfObjects::Step::Broken: return Step::Broken;
            case BlfObjects::Step::End: return Step::End;
        }
    }
    std::string_view line;
    for (;;) {
        const LogInput::Line got = input_->NextLine(line);
        if (got == LogInput::Line::End) return Step::End;
        ++line_;
        LineKind kind = LineKind::Broken;
        if (got == LogInput::Line::TooLong) {
            why_ = "the line is longer than 64 KiB";
        } else if (asc_) {
            kind = asc_->Parse(line, frame, why_);
        } else if (trc_) {
            kind = trc_->Parse(line, frame, why_);
        } else {
            LogFormat form = LogFormat::Unknown;
            kind = ParseCandumpLine(line, frame, form, why_);
        }
        if (kind == LineKind::Frame) {
            frame.line = line_;
            return Step::Frame;
        }
        if (kind == LineKind::Broken) {
            broken.line = line_;
            broken.reason = why_;
            broken.text.assign(line.substr(0, kShownLineBytes));
            return Step::Broken;
        }
    }
}

std::uint64_t CanLogReader::Lines() const { return blf_ ? blf_->Objects() : line_; }

std::uint64_t CanLogReader::OtherObjects() const { return blf_ ? blf_->OtherObjects() : 0; }

}  // namespace vestrel::gateway
