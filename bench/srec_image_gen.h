#pragma once

#include <cstdint>
#include <filesystem>

namespace vestrel::bench {

// Writes an S-record image of `dataBytes` bytes of pseudo-random data in S2
// records of `recordBytes` bytes each, from address 0 upwards, between an S0
// header and an S9 end record, with CR LF line ends. 16 MiB fills the whole
// 24-bit address space and covers every bank range. Returns the file size.
std::uintmax_t WriteLargeImage(const std::filesystem::path& path, std::uint32_t dataBytes,
                               std::uint32_t recordBytes = 32);

// Writes `size` pseudo-random bytes, seeded by `seed`.
void WriteRandomFile(const std::filesystem::path& path, std::size_t size, std::uint32_t seed);

}  // namespace vestrel::bench
