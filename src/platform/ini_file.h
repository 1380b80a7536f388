#pragma once

#include <filesystem>
#include <string>

namespace vestrel {

// One string value of an INI file, by section and key. A missing file,
// section or key gives `fallback`.
std::string ReadIniString(const std::filesystem::path& file, const std::string& section,
                          const std::string& key, const std::string& fallback = {});

// Sets one value and leaves every other section, key and comment of the file
// as it was. The file is replaced atomically; throws Error on failure.
void WriteIniString(const std::filesystem::path& file, const std::string& section,
                    const std::string& key, const std::string& value);

}  // namespace vestrel
