#pragma once

#include <cstdint>
#include <filesystem>

namespace vestrel::bench {

// Writes a candump -l log of `frames` frames for the demo project's bus:
// receive frames 0x181 (8 bytes), 0x281 (4) and 0x381 (2) with random data,
// the gateway's own 0x201, and now and then an unknown COB-ID. Written in
// pieces, so the generator itself stays small in memory.
void WriteDemoBusLog(const std::filesystem::path& path, std::uint64_t frames, unsigned seed);

}  // namespace vestrel::bench
