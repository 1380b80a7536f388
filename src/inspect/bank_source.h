#pragma once

#include "compiler/bank_image.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vestrel {

// Banks 1 and 2 of an S-record firmware image: the bytes at the addresses of
// their rows of kBankTable. The image is read strictly: every line must be an
// upper-case "S" record of type 0-3 or 5-9 with a byte count that matches its
// length, hexadecimal digits only and a correct checksum; exactly one end
// record (S7, S8 or S9) must close it; and each of the two bank ranges must be
// covered by S1, S2 or S3 data exactly once, all 16384 bytes. Lines may end
// in CR LF, LF or CR; a Ctrl-Z ends the file. Throws Error naming the file,
// the line and what is wrong. Banks 3 to 5 of `banks` are left as they are.
void ReadBanksFromImage(const std::filesystem::path& image, BankImages& banks);

// What an S-record image holds besides banks 1 and 2: its SHA-256, its
// header records, its end record and the data at every other address (the
// base firmware, and the ranges of banks 3 to 5).
struct ImageContents {
    std::string sha256;                // of the file, lower-case hexadecimal
    std::vector<std::string> headers;  // the data of each S0 record, in file order
    int endType = 0;                   // 7, 8 or 9
    std::uint32_t startAddress = 0;    // the end record's address
    // The data outside banks 1 and 2 in runs of consecutive addresses,
    // ascending and apart; `bytes` holds them one run after the other.
    struct Run {
        std::uint64_t address = 0;
        std::size_t offset = 0;  // into `bytes`
        std::size_t length = 0;
    };
    std::vector<Run> runs;
    std::vector<std::uint8_t> bytes;
};

// The most data outside the banks an image may hold to be read whole: a
// 24-bit address space of S2 records is 16 MiB.
inline constexpr std::size_t kMaxImageDataOutsideBanks = 64u << 20;

// Reads the image as ReadBanksFromImage does, and what it holds besides the
// banks. Without `banks` the image need not hold banks 1 and 2 at all (a
// base image a merge is about to splice them into): their ranges are then
// only left out of `ImageContents::runs`. An address given twice, inside the
// banks or out, is refused with both lines, and so is an image with more
// than kMaxImageDataOutsideBanks of data outside them.
ImageContents ReadImageContents(const std::filesystem::path& image, BankImages* banks);

// Banks 1 and 2 from binDir/bank1.bin and binDir/bank2.bin, each exactly
// 16384 bytes. Throws Error for a missing, unreadable or wrongly sized file.
void ReadBanksFromBinDir(const std::filesystem::path& binDir, BankImages& banks);

}  // namespace vestrel
