#include "can/log_formats.h"

#include "can/asc_lines.h"
#include "can/blf_objects.h"
#include "can/candump_line.h"
#include "can/text_log.h"
#include "can/trc_lines.h"
#include "platform/text.h"

#include <algorithm>
#include <array>
#include <vector>

namespace vestrel::can {

namespace {

template <typename Parser>
std::unique_ptr<LogParser> Open(LogInput& input) {
    return std::make_unique<Parser>(input);
}

const std::array<LogFormatInfo, 5> kLogFormats{{
    {LogFormat::CandumpLog, "candump log file", "candump", "candump", "-l", "line", "lines", LogPlace::Line, "log",
     false, [](std::string_view line) { return CandumpLines::IsFrameIn(line, CandumpForm::LogFile); },
     Open<TextLog<CandumpLines>>, false, true},
    {LogFormat::CandumpLong, "candump screen format", "candump", "candump", "its screen format", "line", "lines",
     LogPlace::Line, "", false,
     [](std::string_view line) { return CandumpLines::IsFrameIn(line, CandumpForm::Screen); },
     Open<TextLog<CandumpLines>>, false, true},
    {LogFormat::VectorAsc, "Vector ASC", "ASC", "Vector", "ASC", "line", "lines", LogPlace::Line, "asc", false,
     AscLines::IsOwnLine, Open<TextLog<AscLines>>, false, false},
    {LogFormat::VectorBlf, "Vector BLF", "BLF", "Vector", "BLF", "object", "objects", LogPlace::ByteOffset, "blf",
     true, BlfObjects::IsOwnStart, Open<BlfObjects>, true, true},
    {LogFormat::PeakTrc, "PEAK TRC", "TRC", "PEAK", "TRC", "line", "lines", LogPlace::Line, "trc", false,
     TrcLines::IsOwnLine, Open<TextLog<TrcLines>>, false, false},
}};

// Each item once, in the order first given.
void AddOnce(std::vector<std::string>& items, std::string_view item) {
    if (std::find(items.begin(), items.end(), item) == items.end()) items.emplace_back(item);
}

}  // namespace

std::span<const LogFormatInfo> LogFormats() { return kLogFormats; }

const LogFormatInfo& LogFormatOf(LogFormat format) {
    for (const LogFormatInfo& info : kLogFormats)
        if (info.format == format) return info;
    return kLogFormats[0];
}

std::string LogFormatsInWords() {
    std::vector<std::string> vendors;
    for (const LogFormatInfo& info : kLogFormats) AddOnce(vendors, info.vendor);
    std::string text;
    for (const std::string& vendor : vendors) {
        std::vector<std::string> forms;
        for (const LogFormatInfo& info : kLogFormats)
            if (info.vendor == vendor) AddOnce(forms, info.form);
        std::string joined;
        for (const std::string& form : forms) joined += (joined.empty() ? "" : " or ") + form;
        text += (text.empty() ? "" : ", ") + vendor + " " + joined;
    }
    return text;
}

std::string LogFormatNames(bool binary) {
    std::vector<std::string> names;
    for (const LogFormatInfo& info : kLogFormats)
        if (info.binary == binary) AddOnce(names, info.shortName);
    return JoinedWithOr(names);
}

std::string LogFilePatterns() {
    std::vector<std::string> extensions;
    for (const LogFormatInfo& info : kLogFormats)
        if (!info.extension.empty()) AddOnce(extensions, info.extension);
    std::string text;
    for (const std::string& extension : extensions) text += (text.empty() ? "*." : " *.") + extension;
    return text;
}

}  // namespace vestrel::can
