#pragma once

#include "project/project_xml.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vestrel {

// One project file opened for reading, the one way every reader opens them:
// looked up without regard to letter case, loaded whole, its document element
// taken. What a reader does with an absent or unreadable file is its own
// business; opening it never throws for the file's content.
struct ProjectDocument {
    enum class Status {
        Absent,      // no entry of that name in the project folder
        Unreadable,  // there, but not well-formed or not a file that can be read; see error
        Loaded,
    };
    Status status = Status::Absent;
    std::string fileName;  // as found on disk; the name asked for when absent
    std::string error;     // the parse error, or why the file cannot be read
    ProjectXml xml;
    ProjectXml::Element root;  // the document element, whatever its name
    std::string rootName;

    bool Loaded() const { return status == Status::Loaded; }
};

ProjectDocument OpenProjectDocument(const std::filesystem::path& projectDir, std::string_view name);

// What a reader of a project file learns besides its content.
struct ProjectFileState {
    ProjectDocument::Status status = ProjectDocument::Status::Absent;
    std::string fileName;
    std::string error;
    std::string rootName;

    static ProjectFileState Of(const ProjectDocument& doc) { return {doc.status, doc.fileName, doc.error, doc.rootName}; }
    bool Loaded() const { return status == ProjectDocument::Status::Loaded; }
};

// The rows of a row-table file: for each child element of the document
// element, in document order, the texts of the asked-for attributes (absent
// where a row lacks one). Every reader of a frame or mapping file starts
// from this and applies its own rules.
struct TableRows : ProjectFileState {
    std::vector<std::vector<std::optional<std::string>>> rows;
};

TableRows ReadTableRows(const std::filesystem::path& projectDir, std::string_view name,
                        const std::vector<const char*>& attributes);

// The settings of a settings file: the text of the first child element of the
// document element with each asked-for name, absent where there is none.
struct SettingTexts : ProjectFileState {
    std::vector<std::optional<std::string>> values;
};

SettingTexts ReadSettingTexts(const std::filesystem::path& projectDir, std::string_view name,
                              const std::vector<const char*>& elements);

}  // namespace vestrel
