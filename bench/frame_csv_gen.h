#pragma once

#include <cstdint>
#include <filesystem>

namespace vestrel::bench {

// Writes a frame table CSV as a spreadsheet program exports it (header line,
// then "cobid,dimension,0,0,<text>" records, CR LF) of at least `bytes`
// bytes, a piece at a time. Returns the number of records written.
std::uint64_t WriteFrameCsv(const std::filesystem::path& file, std::uint64_t bytes);

}  // namespace vestrel::bench
