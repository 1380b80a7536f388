#pragma once

#include "compiler/bank_image.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

// Where the five banks lie in the device's firmware image and what their
// files are called: the compiler writes the files, the merge splices them
// into an image at these addresses and the decoder reads them back from there.
namespace vestrel {

struct BankRange {
    int number;             // 1 to 5
    const char* binFile;    // "bank1.bin"
    std::uint32_t first;    // 0x388000
    std::uint32_t last;     // 0x38BFFF
};

// Each range is 16384 bytes; consecutive ranges start 0x10000 apart.
inline constexpr std::array<BankRange, kBankCount> kBankTable{{
    {1, "bank1.bin", 0x388000, 0x38BFFF},
    {2, "bank2.bin", 0x398000, 0x39BFFF},
    {3, "bank3.bin", 0x3A8000, 0x3ABFFF},
    {4, "bank4.bin", 0x3B8000, 0x3BBFFF},
    {5, "bank5.bin", 0x3C8000, 0x3CBFFF},
}};
static_assert(kBankTable[0].last - kBankTable[0].first + 1 == kBankSize);

// Banks 1 and 2 as C source, for a firmware build.
inline constexpr const char* kBankSourceFile = "bankg.c";

// The SHA-256 of each file of one compile, in the form `sha256sum -c` reads,
// so that the merge can refuse bank files that come from different compiles.
inline constexpr const char* kBankSetFile = "banks.sha256";

// The row of bank `number` (1 to 5).
inline const BankRange& BankRow(int number) {
    if (number < 1 || number > kBankCount)
        throw std::invalid_argument("bank number out of range: " + std::to_string(number));
    return kBankTable[static_cast<std::size_t>(number - 1)];
}

}  // namespace vestrel
