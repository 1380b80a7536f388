#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vestrel::signaldb {

struct IniEntry {
    std::string key;
    std::string value;  // blanks around it removed
    int line = 0;
};

struct IniSection {
    std::string name;  // as written, blanks around it removed
    int line = 0;
    std::vector<IniEntry> entries;
};

// Sizes no EDS or DCF reaches (a device's whole object dictionary, every
// subindex a section of its own, stays far below): a file above them is
// refused, so that reading takes bounded memory and time.
inline constexpr std::size_t kMaxIniSections = 65536;
inline constexpr std::size_t kMaxIniEntries = 1u << 20;

// The sections and entries of an INI file (an EDS or DCF), each with its
// line. Lines are "[name]", "key=value", a comment starting with ';' or '#',
// or blank. Section names and keys are matched without regard to the case of
// ASCII letters. Throws DatabaseError with the line for any other line, an
// entry before the first section, a section or a key given twice, and more
// sections or entries than the limits above.
class IniDocument {
public:
    IniDocument(std::string_view text, const std::string& fileName);

    const std::vector<IniSection>& Sections() const { return sections_; }
    const IniSection* Find(std::string_view name) const;
    // The entry `key` of section `section` (an index into Sections()).
    const IniEntry* Find(std::size_t section, std::string_view key) const;

private:
    void AddEntry(std::string_view key, std::string_view value, int line, const std::string& fileName);

    std::vector<IniSection> sections_;
    std::size_t entries_ = 0;
    std::unordered_map<std::string, std::size_t> sectionByName_;  // upper-case name
    std::unordered_map<std::string, std::size_t> entryByKey_;     // section index, '\n', upper-case key
};

// ASCII letters in upper case, the rest as it is.
std::string UpperAscii(std::string_view text);

}  // namespace vestrel::signaldb
