#include "platform/ini_file.h"

#include "platform/error.h"
#include "platform/file_util.h"

#define SI_CONVERT_ICU
#include <SimpleIni.h>

namespace vestrel {

namespace {

// Loads the file when it exists; a missing file is an empty document.
// Returns false when an existing file could not be read.
bool LoadIni(CSimpleIniA& ini, const std::filesystem::path& file, std::string* error) {
    ini.SetUnicode(true);
    ini.SetMultiKey(false);
    ini.SetSpaces(false);
    if (!FileExists(file)) return true;
    try {
        std::string text = ReadWholeFile(file);
        if (ini.LoadData(text) < 0) {
            if (error) *error = "Cannot read file \"" + file.string() + "\"";
            return false;
        }
    } catch (const Error& e) {
        if (error) *error = e.what();
        return false;
    }
    return true;
}

}  // namespace

std::string ReadIniString(const std::filesystem::path& file, const std::string& section,
                          const std::string& key, const std::string& fallback) {
    CSimpleIniA ini;
    if (!LoadIni(ini, file, nullptr)) return fallback;
    const char* value = ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return value ? std::string(value) : fallback;
}

void WriteIniString(const std::filesystem::path& file, const std::string& section,
                    const std::string& key, const std::string& value) {
    CSimpleIniA ini;
    std::string error;
    // An unreadable file is not overwritten: it may hold what another
    // program keeps there.
    if (!LoadIni(ini, file, &error)) throw Error(error);
    if (ini.SetValue(section.c_str(), key.c_str(), value.c_str()) < 0)
        throw Error("Cannot write file \"" + file.string() + "\"");
    std::string text;
    if (ini.Save(text) < 0) throw Error("Cannot write file \"" + file.string() + "\"");
    WriteFileAtomic(file, text);
}

}  // namespace vestrel
