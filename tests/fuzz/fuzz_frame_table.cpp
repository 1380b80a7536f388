// RCobDef.xml and TCobDef.xml from arbitrary bytes through ReadFrameTable.
// At most MaxFrameRows rows come back; a table read without error is
// written back by WriteFrameTable and reads again as the same rows; a table
// that passes CheckFrameTable holds only COB-IDs and lengths in range.

#include "fuzz_support.h"

#include "platform/error.h"
#include "project/frame_table.h"
#include "project/integer_text.h"

namespace {

using namespace vestrel;
namespace fs = std::filesystem;

void CheckDirection(const fs::path& dir, FrameDirection direction, std::string_view bytes) {
    const FrameTableRead read = ReadFrameTable(dir, direction);
    FUZZ_CHECK(read.table.direction == direction, "the table came back in the other direction");
    FUZZ_CHECK(read.table.rows.size() <= static_cast<std::size_t>(MaxFrameRows), "more rows than the table holds");
    FUZZ_CHECK(fuzz::ReadBytes(dir / FramesFileName(direction)) == bytes, "reading changed the frame file");
    if (read.error) FUZZ_CHECK(!read.error->empty(), "an error without a message");

    for (CanMode mode : {CanMode::Can20A, CanMode::Can20B}) {
        const auto failure = CheckFrameTable(read.table, mode);
        const auto maxCobId = static_cast<std::int32_t>(MaxCobId(mode));
        for (std::size_t i = 0; i < read.table.rows.size(); ++i) {
            if (failure && static_cast<std::size_t>(failure->row) == i + 1) break;
            const std::int32_t cobId = ParseIntegerText(read.table.rows[i].CobID, -1);
            const std::int32_t length = ParseIntegerText(read.table.rows[i].Dimensin, -1);
            FUZZ_CHECK(cobId >= 0 && cobId <= maxCobId && length >= 1 && length <= 8,
                  "CheckFrameTable passed row " + std::to_string(i + 1) + " with a value out of range");
        }
    }
    if (read.error) return;

    const auto copy = fuzz::EmptyFolder("copy");
    try {
        WriteFrameTable(copy, read.table);
    } catch (const Error& e) {
        fuzz::Fail(std::string("a table that was read cannot be written back: ") + e.what());
    }
    const FrameTableRead again = ReadFrameTable(copy, direction);
    FUZZ_CHECK(!again.error, "the written file does not read: " + again.error.value_or(""));
    FUZZ_CHECK(again.table.rows == read.table.rows, "the written file reads differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::AsText(data, size);
    const auto dir = fuzz::EmptyFolder("project");
    fuzz::WriteBytes(dir / "RCobDef.xml", bytes);
    fuzz::WriteBytes(dir / "TCobDef.xml", bytes);
    CheckDirection(dir, FrameDirection::Receive, bytes);
    CheckDirection(dir, FrameDirection::Transmit, bytes);
    return 0;
}
