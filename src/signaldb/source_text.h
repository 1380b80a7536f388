#pragma once

#include <string>
#include <string_view>

namespace vestrel::signaldb {

// The text of a database file as UTF-8. Files come in UTF-8 and in
// Windows-1252 (units like "°C"): a file that is valid UTF-8 is taken as it
// is, without a leading byte order mark; any other is read as Windows-1252.
// Throws DatabaseError, saying what the file is where it is no such text: a
// UTF-16 file (by its byte order mark, or by the zero bytes of its ASCII),
// a NUL byte (with its line), a byte that Windows-1252 does not define
// (0x81, 0x8D, 0x8F, 0x90, 0x9D; with its line). `formatName` ("a DBC")
// names what the file should be.
std::string DecodeDatabaseText(std::string_view bytes, const std::string& fileName, const char* formatName);

// Whether `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsUtf8(std::string_view bytes);

}  // namespace vestrel::signaldb
