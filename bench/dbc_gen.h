#pragma once

#include <filesystem>

namespace vestrel::bench {

// Writes a DBC the size of a J1939 database: `messages` messages of 8 bytes
// with 29-bit ids, each with ten signals that fill its 64 bits (16-, 8-, 4-
// and 2-bit signals, Intel and now and then Motorola, scaled, with units,
// value tables on the 2-bit ones, comments and cycle times).
void WriteJ1939LikeDbc(const std::filesystem::path& file, int messages);

}  // namespace vestrel::bench
