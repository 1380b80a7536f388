#include "can/can_log_reader.h"

#include "can/log_input.h"
#include "platform/error.h"

#include <array>
#include <utility>

namespace vestrel::can {

namespace {

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

[[noreturn]] void RefuseLog(const LogInput& input, const std::string& why) {
    const std::string name = input.Path() == "-" ? "Standard input" : "File \"" + input.Path().string() + "\"";
    throw Error(name + " is no CAN log: " + why);
}

}  // namespace

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
    format_ = &TellFormat();
    parser_ = format_->open(*input_);
}

CanLogReader::~CanLogReader() = default;

const LogFormatInfo& CanLogReader::TellFormat() {
    const std::string_view head = input_->Peek(kFormatWindow);
    if (head.empty()) RefuseLog(*input_, "it is empty");
    for (const LogFormatInfo& info : LogFormats())
        if (info.binary && info.detect(head)) return info;
    for (std::size_t at = 0; at < head.size();) {
        std::size_t end = head.find('\n', at);
        if (end == std::string_view::npos && head.size() == kFormatWindow) break;  // cut off by the window
        if (end == std::string_view::npos) end = head.size();
        std::string_view line = head.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        at = end + 1;
        for (const LogFormatInfo& info : LogFormats())
            if (!info.binary && info.detect(line)) return info;
    }
    // A text log may hold a stray NUL byte (a recording cut by a power loss
    // ends in zeros); a file of no known form that holds one is binary.
    if (head.find('\0') != std::string_view::npos)
        RefuseLog(*input_, "it is binary and no " + LogFormatNames(true) + " file" + BinaryKind(head));
    RefuseLog(*input_, "no line of the first 64 KiB is a CAN frame in " + LogFormatNames(false) + " form");
}

}  // namespace vestrel::can
