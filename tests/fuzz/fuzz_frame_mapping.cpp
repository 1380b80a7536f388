// A frame file and a mapping file from one input (cut at the first NUL byte)
// through LoadFrameList, LoadMappings and SaveMappings, as the mapping editor
// runs them. Frames are numbered by position; a refused save leaves the
// mapping file byte for byte; a save that succeeds reads back as the same
// registers of the same frames, each frame's in ascending register order.

#include "fuzz_support.h"

#include "platform/error.h"
#include "project/frame_mapping.h"
#include "project/integer_text.h"

namespace {

using namespace vestrel;
namespace fs = std::filesystem;

// What a frame's registers become after a save and a load: ordered by value,
// equal values in reverse order.
std::vector<TClIndMB> SavedOrder(const std::vector<TClIndMB>& registers) {
    std::vector<TClIndMB> out(registers.rbegin(), registers.rend());
    std::stable_sort(out.begin(), out.end(), [](const TClIndMB& a, const TClIndMB& b) {
        return *ParseIntegerText(a.Index) < *ParseIntegerText(b.Index);
    });
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto pieces = fuzz::SplitAtNul(fuzz::AsText(data, size), 2);
    const std::string_view frameFile = pieces[0];
    const std::string_view mappingFile = pieces.size() > 1 ? pieces[1] : std::string_view();
    const auto dir = fuzz::EmptyFolder("project");
    // An empty piece stands for a missing file.
    if (!frameFile.empty()) fuzz::WriteBytes(dir / "RCobDef.xml", frameFile);
    if (!mappingFile.empty()) fuzz::WriteBytes(dir / "RInfoCob.xml", mappingFile);

    FrameListRead list = LoadFrameList(dir, FrameDirection::Receive);
    for (std::size_t i = 0; i < list.frames.size(); ++i)
        FUZZ_CHECK(list.frames[i].NrPdo == static_cast<std::int32_t>(i + 1) && list.frames[i].Registers.empty(),
              "frame " + std::to_string(i) + " is not numbered by its position");
    if (list.error) FUZZ_CHECK(*list.error == kFrameListReadError, "an unexpected frame list error: " + *list.error);

    const Result<void> mappings = LoadMappings(dir, FrameDirection::Receive, list.frames);
    if (!mappings) FUZZ_CHECK(mappings.Why() == kMappingsReadError, "an unexpected mapping error: " + mappings.Why());
    if (mappingFile.empty()) FUZZ_CHECK(mappings, "a missing mapping file gave an error");

    const std::string before = fuzz::ReadBytes(dir / "RInfoCob.xml");
    try {
        SaveMappings(dir, FrameDirection::Receive, list.frames);
    } catch (const Error&) {
        FUZZ_CHECK(fuzz::ReadBytes(dir / "RInfoCob.xml") == before, "a refused save changed the mapping file");
        FUZZ_CHECK(fuzz::Listing(dir).size() == (frameFile.empty() ? 0u : 1u) + (mappingFile.empty() ? 0u : 1u),
              "a refused save left a file behind");
        return 0;
    }

    FrameListRead reloaded = LoadFrameList(dir, FrameDirection::Receive);
    FUZZ_CHECK(reloaded.frames.size() == list.frames.size(), "the frame list changed");
    FUZZ_CHECK(LoadMappings(dir, FrameDirection::Receive, reloaded.frames), "the saved mapping file does not read");
    for (std::size_t i = 0; i < list.frames.size(); ++i)
        FUZZ_CHECK(reloaded.frames[i].Registers == SavedOrder(list.frames[i].Registers),
              "frame " + std::to_string(i + 1) + " came back with other registers");
    return 0;
}
