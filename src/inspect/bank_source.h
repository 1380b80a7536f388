#pragma once

#include "compiler/bank_image.h"

#include <filesystem>

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

// Banks 1 and 2 from binDir/bank1.bin and binDir/bank2.bin, each exactly
// 16384 bytes. Throws Error for a missing, unreadable or wrongly sized file.
void ReadBanksFromBinDir(const std::filesystem::path& binDir, BankImages& banks);

}  // namespace vestrel
