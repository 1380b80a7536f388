#pragma once

#include <cstdint>
#include <filesystem>

namespace vestrel::bench {

// The demo project's bus: receive frames 0x181 (8 bytes), 0x281 (4) and
// 0x381 (2) with random data, the gateway's own 0x201, and now and then an
// unknown COB-ID, 100 to 999 us apart. Written in pieces, so the generators
// themselves stay small in memory.

// As a candump -l log.
void WriteDemoBusLog(const std::filesystem::path& path, std::uint64_t frames, unsigned seed);

// The same frames as a Vector BLF file: CAN_MESSAGE objects in zlib
// compressed LOG_CONTAINER objects of 128 KiB each, as Vector's tools and
// python-can write them.
void WriteDemoBusBlf(const std::filesystem::path& path, std::uint64_t frames, unsigned seed);

// A candump -l log of `frames` frames with random 29-bit identifiers, each
// most likely seen once: what a bus flooded by a faulty node, or a log of
// another system entirely, looks like to the replay's traffic counts.
void WriteRandomIdLog(const std::filesystem::path& path, std::uint64_t frames, unsigned seed);

}  // namespace vestrel::bench
