#pragma once

#include <string>
#include <string_view>

namespace vestrel {

// The SHA-256 of `bytes` as 64 lower-case hexadecimal digits, the form
// sha256sum prints. Throws Error when the library has no SHA-256.
std::string Sha256Hex(std::string_view bytes);

}  // namespace vestrel
