// The mapping CSV import on arbitrary text; the first byte gives the number
// of frames (0-255). Every register that comes in has a decimal register
// number and a PosComp of 0-255, belongs to an existing frame and stems from
// one line; the file import gives what the text parse gives; and an export of
// the result imports back as the same registers.

#include "fuzz_support.h"

#include "editors/mapping_csv.h"
#include "platform/error.h"
#include "project/integer_text.h"

namespace {

using namespace vestrel;
namespace fs = std::filesystem;

std::size_t LineCount(std::string_view text) {
    std::size_t lines = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        ++lines;
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
    return lines + (!text.empty() && text.back() != '\r' && text.back() != '\n' ? 1 : 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t frameCount = data[0];
    const std::string_view text = fuzz::AsText(data + 1, size - 1);

    const auto registers = ParseMappingsCsv(text, frameCount);
    FUZZ_CHECK(registers.size() == frameCount, "not one register list per frame");
    std::size_t total = 0;
    FrameList frames;
    for (std::size_t i = 0; i < frameCount; ++i) {
        frames.emplace_back("0x" + std::to_string(i), static_cast<std::int32_t>(i + 1));
        for (const TClIndMB& reg : registers[i]) {
            const auto index = ParseIntegerText(reg.Index);
            FUZZ_CHECK(index && std::to_string(*index) == reg.Index, "register number '" + reg.Index + "' is not decimal");
            const auto posComp = ParseIntegerText(reg.PosComp);
            FUZZ_CHECK(posComp && std::to_string(*posComp) == reg.PosComp && *posComp >= 0 && *posComp <= 255,
                  "PosComp '" + reg.PosComp + "' is not 0 to 255");
        }
        total += registers[i].size();
    }
    const std::size_t lines = LineCount(text);
    FUZZ_CHECK(total <= (lines > 0 ? lines - 1 : 0), "more registers than lines after the header");

    // The file import: the same registers, replacing whatever the frames held.
    const fs::path file = fuzz::ScratchDir() / "import.csv";
    fuzz::WriteBytes(file, text);
    for (TClPdo& frame : frames) frame.Registers.push_back(TClIndMB{"1", "2"});
    ImportMappingsCsv(file, frames);
    for (std::size_t i = 0; i < frameCount; ++i)
        FUZZ_CHECK(frames[i].Registers == registers[i], "the file import differs from the text parse");

    // Export and import again.
    const auto dir = fuzz::EmptyFolder("export");
    ExportMappingsCsv(dir, FrameDirection::Receive, frames);
    const std::string exported = fuzz::ReadBytes(dir / "RInfoCob.csv");
    FUZZ_CHECK(exported == FormatMappingsCsv(frames), "the exported file differs from its text");
    FUZZ_CHECK(ParseMappingsCsv(exported, frameCount) == registers, "an export does not import back the same");
    return 0;
}
