#pragma once

#include "platform/result.h"
#include "project/project_files.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vestrel {

// What the mapping editor needs to know before OK replaces a mapping file:
// why LoadFrameList or LoadMappings stopped early, and which rows of the
// mapping file name a frame past the end of the frame list (LoadMappings
// drops those without a word). Both read the rows as those two do
// (ReadFrameRows, ReadMappingRows) and apply their rules, only to say which
// row broke them.

// Whether the direction's frame file reads whole (or is missing), or why not:
// the parser's message, or the row without "CobID".
Result<void> CheckFrameListReads(const std::filesystem::path& projectDir, FrameDirection direction);

// A mapping row that names no frame of the list.
struct MappingPastLastFrame {
    std::string index;  // the register's "Index" text
    std::int32_t nrPdo;
};

struct MappingFileScan {
    // Whether the file reads whole, or why the read stops early: the
    // parser's message, or "row N ..." for the first row that LoadMappings refuses.
    Result<void> reads;
    // Rows before that point whose NrPdo is past `frameCount`.
    std::vector<MappingPastLastFrame> pastLastFrame;
};

MappingFileScan ScanMappingFile(const std::filesystem::path& projectDir, FrameDirection direction,
                                std::size_t frameCount);

}  // namespace vestrel
