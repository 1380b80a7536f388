#pragma once

#include "platform/system_file.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace vestrel {

// The SHA-256 of `bytes` as 64 lower-case hexadecimal digits, the form
// sha256sum prints. Throws Error when the library has no SHA-256.
std::string Sha256Hex(std::string_view bytes);

// The same of what the open `file` holds from where it stands to its end,
// read in pieces; `name` names it in the Error of a failed read.
std::string Sha256HexOfFile(SystemFile& file, const std::filesystem::path& name);

}  // namespace vestrel
