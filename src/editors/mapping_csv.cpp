#include "editors/mapping_csv.h"

#include "platform/file_util.h"
#include "project/integer_text.h"

#include <cstdint>

namespace vestrel {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Blanks and control characters off both ends.
std::string_view Trim(std::string_view text) {
    auto isSpace = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// The text before the first ";" of `rest`, trimmed; `rest` keeps what
// follows it, trimmed. Without a ";" the field is empty and `rest` stays.
std::string_view TakeField(std::string_view& rest) {
    const auto semicolon = rest.find(';');
    if (semicolon == std::string_view::npos) return {};
    std::string_view field = Trim(rest.substr(0, semicolon));
    rest = Trim(rest.substr(semicolon + 1));
    return field;
}

// Lines end in CR LF, LF or a lone CR.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

}  // namespace

std::string MappingsCsvName(FrameDirection direction) { return std::string(MappingsStem(direction)) + ".csv"; }

std::string FormatMappingsCsv(const FrameList& frames) {
    std::string out = kMappingsCsvHeader;
    out += kLineEnd;
    for (const TClPdo& frame : frames) {
        for (const TClIndMB& reg : frame.Registers) {
            const auto p = static_cast<std::uint32_t>(ParseIntegerText(reg.PosComp, 0));
            out += reg.Index + ';' + std::to_string(frame.NrPdo) + ';' + std::to_string(p >> 4) + ';' +
                   std::to_string(p & 15u) + ';';
            out += kLineEnd;
        }
    }
    return out;
}

void ExportMappingsCsv(const std::filesystem::path& projectDir, FrameDirection direction, const FrameList& frames) {
    WriteFileAtomic(PathForWriteNoCase(projectDir, MappingsCsvName(direction)), FormatMappingsCsv(frames));
}

std::vector<std::vector<TClIndMB>> ParseMappingsCsv(std::string_view text, std::size_t frameCount) {
    std::vector<std::vector<TClIndMB>> registers(frameCount);
    const auto lines = SplitLines(text);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string_view rest = Trim(lines[i]);
        const std::string_view indexField = TakeField(rest);
        const std::string_view frameField = TakeField(rest);
        const std::string_view highField = TakeField(rest);
        const std::string_view lowField = Trim(rest.substr(0, rest.find(';')));

        const std::int32_t index = ParseIntegerText(indexField, 0);
        const std::int32_t frame = ParseIntegerText(frameField, 0);
        const auto high = static_cast<std::uint32_t>(ParseIntegerText(highField, 0)) & 15u;
        const auto low = static_cast<std::uint32_t>(ParseIntegerText(lowField, 0)) & 15u;
        if (frame < 1 || static_cast<std::size_t>(frame) > frameCount) continue;
        registers[static_cast<std::size_t>(frame) - 1].push_back(
            TClIndMB{std::to_string(index), std::to_string(16 * high + low)});
    }
    return registers;
}

void ImportMappingsCsv(const std::filesystem::path& file, FrameList& frames) {
    auto registers = ParseMappingsCsv(ReadWholeFile(file), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) frames[i].Registers = std::move(registers[i]);
}

}  // namespace vestrel
