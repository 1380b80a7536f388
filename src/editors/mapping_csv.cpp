#include "editors/mapping_csv.h"

#include "editors/file_chunks.h"
#include "platform/csv_text.h"
#include "platform/file_util.h"
#include "project/integer_text.h"
#include "project/pos_comp.h"

#include <cstdint>

namespace vestrel {

namespace {


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

// Splits text fed a piece at a time into lines, which end in CR LF, LF or a
// lone CR; a last line without a line break counts when it is not empty.
// Only the line being read is held.
class LineSplitter {
public:
    template <class OnLine>
    void Feed(std::string_view piece, OnLine&& onLine) {
        for (char c : piece) {
            if (skipLineFeed_) {
                skipLineFeed_ = false;
                if (c == '\n') continue;
            }
            if (c == '\r' || c == '\n') {
                onLine(std::string_view(line_));
                line_.clear();
                skipLineFeed_ = c == '\r';
            } else {
                line_ += c;
            }
        }
    }
    template <class OnLine>
    void Finish(OnLine&& onLine) {
        if (!line_.empty()) onLine(std::string_view(line_));
        line_.clear();
    }

private:
    std::string line_;
    bool skipLineFeed_ = false;
};

// One register line: "Index;Frame;High;Low;". Lines naming no frame are left out.
void ParseMappingLine(std::string_view line, std::vector<std::vector<TClIndMB>>& registers) {
    std::string_view rest = Trim(line);
    const std::string_view indexField = TakeField(rest);
    const std::string_view frameField = TakeField(rest);
    const std::string_view highField = TakeField(rest);
    const std::string_view lowField = Trim(rest.substr(0, rest.find(';')));

    const std::int32_t index = ParseIntegerText(CsvCellText(indexField), 0);
    const std::int32_t frame = ParseIntegerText(frameField, 0);
    // A nibble keeps the low four bits of what the cell holds.
    const int high = ParseIntegerText(highField, 0);
    const int low = ParseIntegerText(lowField, 0);
    if (frame < 1 || static_cast<std::size_t>(frame) > registers.size()) return;
    registers[static_cast<std::size_t>(frame) - 1].push_back(
        TClIndMB{std::to_string(index), std::to_string(MakePosComp(high, low))});
}

// Feeds the lines after the header to ParseMappingLine.
class MappingsCsvParser {
public:
    explicit MappingsCsvParser(std::size_t frameCount) : registers_(frameCount) {}
    void Feed(std::string_view piece) {
        lines_.Feed(piece, [this](std::string_view line) { Line(line); });
    }
    std::vector<std::vector<TClIndMB>> Finish() {
        lines_.Finish([this](std::string_view line) { Line(line); });
        return std::move(registers_);
    }

private:
    void Line(std::string_view line) {
        if (headerSeen_) ParseMappingLine(line, registers_);
        headerSeen_ = true;
    }

    LineSplitter lines_;
    bool headerSeen_ = false;
    std::vector<std::vector<TClIndMB>> registers_;
};

}  // namespace

std::string MappingsCsvName(FrameDirection direction) { return std::string(MappingsStem(direction)) + ".csv"; }

std::string FormatMappingsCsv(const FrameList& frames) {
    std::string out = kMappingsCsvHeader;
    out += kCsvLineEnd;
    for (const TClPdo& frame : frames) {
        for (const TClIndMB& reg : frame.Registers) {
            const auto p = static_cast<std::uint32_t>(ParseIntegerText(reg.PosComp, 0));
            out += CsvCell(reg.Index, ';') + ';' + std::to_string(frame.NrPdo) + ';' + std::to_string(PosCompHigh(p)) +
                   ';' + std::to_string(PosCompLow(p)) + ';';
            out += kCsvLineEnd;
        }
    }
    return out;
}

void ExportMappingsCsv(const std::filesystem::path& projectDir, FrameDirection direction, const FrameList& frames) {
    WriteFileAtomic(PathForWriteNoCase(projectDir, MappingsCsvName(direction)), FormatMappingsCsv(frames));
}

std::vector<std::vector<TClIndMB>> ParseMappingsCsv(std::string_view text, std::size_t frameCount) {
    MappingsCsvParser parser(frameCount);
    parser.Feed(text);
    return parser.Finish();
}

void ImportMappingsCsv(const std::filesystem::path& file, FrameList& frames) {
    // A piece at a time: only the registers are held, not the file.
    FileChunks chunks(file);
    MappingsCsvParser parser(frames.size());
    for (std::string_view piece = chunks.Next(); !piece.empty(); piece = chunks.Next()) parser.Feed(piece);
    auto registers = parser.Finish();
    for (std::size_t i = 0; i < frames.size(); ++i) frames[i].Registers = std::move(registers[i]);
}

}  // namespace vestrel
