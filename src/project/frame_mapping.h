#pragma once

#include "project/project_document.h"
#include "platform/result.h"
#include "project/project_files.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vestrel {

// One register mapping: the Modbus register number as integer text, and the
// decimal text of 16 x H + L, H and L being the frame data bytes (1 to 8,
// 0 for none) of the register's high and low byte.
class TClIndMB {
public:
    std::string Index;
    std::string PosComp;

    friend bool operator==(const TClIndMB&, const TClIndMB&) = default;
};

// One frame of the paired frame file, with the registers mapped onto it.
class TClPdo {
public:
    TClPdo(std::string cobId, std::int32_t nrPdo) : CobID(std::move(cobId)), NrPdo(nrPdo) {}

    std::string CobID;             // the frame's "CobID" text as read
    std::int32_t NrPdo;            // position in the frame file, from 1
    std::vector<TClIndMB> Registers;
};

// The frames of one direction in file order: the frame at position k (from 0)
// has NrPdo k + 1.
using FrameList = std::vector<TClPdo>;

inline constexpr const char* kFrameListReadError = "Error in reading file PDO XML";
inline constexpr const char* kMappingsReadError = "Error in reading file SDOPDO XML";

struct FrameListRead {
    FrameList frames;
    std::optional<std::string> error;  // kFrameListReadError; the frames read so far stay
};

// The frames of the direction's frame file; empty without the file.
FrameListRead LoadFrameList(const std::filesystem::path& projectDir, FrameDirection direction);

// The highest register number an "Index" names: registers are 0 to 65535.
inline constexpr std::int32_t kHighestRegister = 65535;

// The mapping file as every reader starts from it: per row, the texts of
// "Index", "NrPdo" and "PosComp" in these columns, absent where a row lacks one.
using MappingFileRows = TableRows;
inline constexpr std::size_t kIndexColumn = 0;
inline constexpr std::size_t kNrPdoColumn = 1;
inline constexpr std::size_t kPosCompColumn = 2;
MappingFileRows ReadMappingRows(const std::filesystem::path& projectDir, FrameDirection direction);

// Adds the rows of the direction's mapping file to the frames' Registers.
// Rows naming a frame past the end of the list are dropped. Fails with
// kMappingsReadError when the read stopped early; the rows read so far stay.
Result<void> LoadMappings(const std::filesystem::path& projectDir, FrameDirection direction, FrameList& frames);

// The mapping file as SaveMappings writes it; throws Error as it does.
std::string MappingsText(FrameDirection direction, const FrameList& frames);

// Writes the direction's mapping file in ascending order of the Index values;
// among equal values the later register in frame order comes first. Throws
// Error ("'x' is not a valid integer value", or the save failure) and then
// leaves the file as it was.
void SaveMappings(const std::filesystem::path& projectDir, FrameDirection direction, const FrameList& frames);

}  // namespace vestrel
