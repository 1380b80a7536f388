#include "signaldb/ini_document.h"

#include "signaldb/signal_database.h"

namespace vestrel::signaldb {

namespace {

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

std::string EntryKey(std::size_t section, std::string_view key) {
    return std::to_string(section) + '\n' + UpperAscii(key);
}

}  // namespace

std::string UpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

IniDocument::IniDocument(std::string_view text, const std::string& fileName) {
    int line = 0;
    while (!text.empty()) {
        ++line;
        const std::size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::string_view content = Trim(raw);
        if (content.empty() || content[0] == ';' || content[0] == '#') continue;
        if (content[0] == '[') {
            if (content.back() != ']') throw DatabaseError(fileName, line, "a section name lacks its closing ']'");
            const std::string name(Trim(content.substr(1, content.size() - 2)));
            if (name.empty()) throw DatabaseError(fileName, line, "a section without a name");
            if (sections_.size() >= kMaxIniSections)
                throw DatabaseError(fileName, line,
                                    "more than " + std::to_string(kMaxIniSections) +
                                        " sections: no EDS or DCF is that large");
            const auto [it, fresh] = sectionByName_.try_emplace(UpperAscii(name), sections_.size());
            if (!fresh)
                throw DatabaseError(fileName, line,
                                    "section [" + name + "] appears twice: on line " +
                                        std::to_string(sections_[it->second].line) + " and here");
            sections_.push_back(IniSection{name, line, {}});
            continue;
        }
        const std::size_t equals = content.find('=');
        if (equals == std::string_view::npos)
            throw DatabaseError(fileName, line, "a line that is neither [section], key=value nor a comment");
        AddEntry(Trim(content.substr(0, equals)), Trim(content.substr(equals + 1)), line, fileName);
    }
}

void IniDocument::AddEntry(std::string_view key, std::string_view value, int line, const std::string& fileName) {
    if (sections_.empty()) throw DatabaseError(fileName, line, "an entry before the first [section]");
    if (key.empty()) throw DatabaseError(fileName, line, "an entry without a name before '='");
    if (++entries_ > kMaxIniEntries)
        throw DatabaseError(fileName, line,
                            "more than " + std::to_string(kMaxIniEntries) + " entries: no EDS or DCF is that large");
    IniSection& section = sections_.back();
    const auto [it, fresh] = entryByKey_.try_emplace(EntryKey(sections_.size() - 1, key), section.entries.size());
    if (!fresh)
        throw DatabaseError(fileName, line,
                            std::string(key) + " appears twice in section [" + section.name + "]: on line " +
                                std::to_string(section.entries[it->second].line) + " and here");
    section.entries.push_back(IniEntry{std::string(key), std::string(value), line});
}

const IniSection* IniDocument::Find(std::string_view name) const {
    const auto it = sectionByName_.find(UpperAscii(name));
    return it == sectionByName_.end() ? nullptr : &sections_[it->second];
}

const IniEntry* IniDocument::Find(std::size_t section, std::string_view key) const {
    const auto it = entryByKey_.find(EntryKey(section, key));
    return it == entryByKey_.end() ? nullptr : &sections_[section].entries[it->second];
}

}  // namespace vestrel::signaldb
