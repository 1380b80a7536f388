#pragma once

#include <filesystem>
#include <string>

namespace vestrel {

// One string value of an INI file, by section and key. A missing file,
// section or key gives `fallback`.
std::string ReadIniString(const std::filesystem::path& file, const std::string& section,
                          const std::string& key, const std::string& fallback = {});

// Sets one value and leaves every other byte of the file as it was: lines
// the reader skips, earlier duplicates of the key, comments and line ends
// included. A value with blanks at either end is written in double quotes,
// which the reader removes, so that it comes back exactly. The file is
// replaced atomically; throws Error on failure, and for a value with a line
// break, which no line can hold.
void WriteIniString(const std::filesystem::path& file, const std::string& section,
                    const std::string& key, const std::string& value);

}  // namespace vestrel
