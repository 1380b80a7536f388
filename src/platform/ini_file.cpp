#include "platform/ini_file.h"

#include "platform/text.h"

#include "platform/error.h"
#include "platform/file_util.h"

#define SI_CONVERT_ICU
#include <SimpleIni.h>

#include <optional>
#include <string_view>

namespace vestrel {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }


std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// A value as the reader gives it back: SimpleIni drops blanks at both ends
// and one pair of surrounding double quotes, so a value that would lose
// something that way is written inside quotes. A line break cannot be
// stored at all.
std::string EncodeValue(const std::filesystem::path& file, const std::string& key, const std::string& value) {
    if (value.find_first_of("\r\n") != std::string::npos)
        throw Error("Cannot write file \"" + file.string() + "\". The value of " + key +
                    " holds a line break, which the file cannot hold.");
    const bool quote = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                                          (value.size() >= 2 && value.front() == '"' && value.back() == '"'));
    return quote ? '"' + value + '"' : value;
}

// Where a value goes in the file's text, found with the rules the reader
// (SimpleIni) reads by: sections and keys match without regard to case,
// blanks around them do not count, a later key of the same name wins, and
// lines that are neither a section, a key with "=" nor a comment are
// skipped. Nothing else of the file is touched.
struct IniPlace {
    std::optional<std::pair<std::size_t, std::size_t>> value;  // the last key's value, [begin, end)
    std::optional<std::size_t> afterSection;  // just past the last header of the section
    bool sectionHeaderEndsFile = false;       // that header has no line break after it
    std::string lineBreak;                    // the file's own, or the platform's
};

IniPlace FindPlace(std::string_view text, std::string_view section, std::string_view key) {
    IniPlace place;
    std::size_t pos = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    std::optional<std::string_view> current = std::string_view();  // keys before any header
    while (pos < text.size()) {
        std::size_t end = pos;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        std::size_t next = end;
        if (next < text.size()) {
            next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
            if (place.lineBreak.empty()) place.lineBreak = std::string(text.substr(end, next - end));
        }
        std::string_view line = text.substr(pos, end - pos);
        std::size_t start = 0;
        while (start < line.size() && IsBlank(line[start])) ++start;
        if (start < line.size() && line[start] != ';' && line[start] != '#') {
            if (line[start] == '[') {
                const std::size_t close = line.find(']', start + 1);
                // A header without "]" makes the reader put what follows
                // in no section of ours.
                current.reset();
                if (close != std::string_view::npos) {
                    current = TrimBlanks(line.substr(start + 1, close - start - 1));
                    if (EqualNoCase(*current, section)) {
                        place.afterSection = next;
                        place.sectionHeaderEndsFile = next == end;
                    }
                }
            } else if (const std::size_t equals = line.find('=', start); equals != std::string_view::npos) {
                const std::string_view name = TrimBlanks(line.substr(start, equals - start));
                if (!name.empty() && current && EqualNoCase(*current, section) && EqualNoCase(name, key)) {
                    std::size_t valueBegin = equals + 1;
                    while (valueBegin < line.size() && IsBlank(line[valueBegin])) ++valueBegin;
                    place.value = std::make_pair(pos + valueBegin, end);
                }
            }
        }
        pos = next;
    }
#ifdef _WIN32
    if (place.lineBreak.empty()) place.lineBreak = "\r\n";
#else
    if (place.lineBreak.empty()) place.lineBreak = "\n";
#endif
    return place;
}

}  // namespace

std::string ReadIniString(const std::filesystem::path& file, const std::string& section, const std::string& key,
                          const std::string& fallback) {
    if (!FileExists(file)) return fallback;
    CSimpleIniA ini;
    ini.SetUnicode(true);
    ini.SetMultiKey(false);
    ini.SetQuotes(true);
    try {
        if (ini.LoadData(ReadWholeFile(file)) < 0) return fallback;
    } catch (const Error&) {
        return fallback;
    }
    const char* value = ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return value ? std::string(value) : fallback;
}

void WriteIniString(const std::filesystem::path& file, const std::string& section, const std::string& key,
                    const std::string& value) {
    const std::string encoded = EncodeValue(file, key, value);
    // An unreadable file is not overwritten: it may hold what another
    // program keeps there.
    const std::string text = FileExists(file) ? ReadWholeFile(file) : std::string();
    const IniPlace place = FindPlace(text, section, key);
    std::string out;
    if (place.value) {
        out = text.substr(0, place.value->first) + encoded + text.substr(place.value->second);
    } else if (place.afterSection) {
        const std::size_t at = *place.afterSection;
        out = text.substr(0, at) + (place.sectionHeaderEndsFile ? place.lineBreak : "") + key + '=' + encoded +
              place.lineBreak + text.substr(at);
    } else {
        out = text;
        if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += place.lineBreak;
        out += '[' + section + ']' + place.lineBreak + key + '=' + encoded + place.lineBreak;
    }
    WriteFileAtomic(file, out);
}

}  // namespace vestrel
