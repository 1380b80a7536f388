#pragma once

#include "project/frame_mapping.h"
#include "project/project_files.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vestrel {

// The CSV form of a mapping file, one register a line:
//   Index MODBUS;Index CAN Frame;High Byte;Low Byte;
//   100;2;1;3;
inline constexpr const char* kMappingsCsvHeader = "Index MODBUS;Index CAN Frame;High Byte;Low Byte;";

// "RInfoCob.csv" or "TInfoCob.csv".
std::string MappingsCsvName(FrameDirection direction);

// The file's text: the header, then every register of every frame in list
// order, each line ending in CR LF.
std::string FormatMappingsCsv(const FrameList& frames);

// Writes the direction's CSV into the project folder, replacing it whole.
// Throws Error with the file error.
void ExportMappingsCsv(const std::filesystem::path& projectDir, FrameDirection direction, const FrameList& frames);

// The registers that a mapping CSV gives each of `frameCount` frames. The
// first line is the header and is skipped; numbers that do not convert count
// as 0 and lines naming no existing frame are left out.
std::vector<std::vector<TClIndMB>> ParseMappingsCsv(std::string_view text, std::size_t frameCount);

// Reads a mapping CSV and replaces the registers of every frame with it. The
// whole file is read first, a piece at a time: when it cannot be, Error is
// thrown and every register stays as it was.
void ImportMappingsCsv(const std::filesystem::path& file, FrameList& frames);

}  // namespace vestrel
