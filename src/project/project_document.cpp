#include "project/project_document.h"

#include "platform/error.h"
#include "project/project_files.h"

namespace vestrel {

ProjectDocument OpenProjectDocument(const std::filesystem::path& projectDir, std::string_view name) {
    ProjectDocument doc;
    doc.fileName = std::string(name);
    auto path = FindProjectFile(projectDir, name);
    if (!path) return doc;
    doc.fileName = path->filename().string();
    try {
        doc.xml.LoadFromFile(*path);
    } catch (const Error& e) {
        doc.status = ProjectDocument::Status::Unreadable;
        doc.error = e.what();
        return doc;
    }
    doc.status = ProjectDocument::Status::Loaded;
    doc.root = doc.xml.DocumentElement();
    doc.rootName = doc.xml.Name(doc.root);
    return doc;
}

TableRows ReadTableRows(const std::filesystem::path& projectDir, std::string_view name,
                        const std::vector<const char*>& attributes) {
    ProjectDocument doc = OpenProjectDocument(projectDir, name);
    TableRows table{ProjectFileState::Of(doc), {}};
    if (!doc.Loaded()) return table;
    const int count = doc.xml.ChildCount(doc.root);
    table.rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto row = doc.xml.Child(doc.root, i);
        auto& values = table.rows.emplace_back();
        values.reserve(attributes.size());
        for (const char* attribute : attributes) values.push_back(doc.xml.Attribute(row, attribute));
    }
    return table;
}

SettingTexts ReadSettingTexts(const std::filesystem::path& projectDir, std::string_view name,
                              const std::vector<const char*>& elements) {
    ProjectDocument doc = OpenProjectDocument(projectDir, name);
    SettingTexts settings{ProjectFileState::Of(doc), {}};
    if (!doc.Loaded()) return settings;
    for (const char* element : elements) {
        const auto child = doc.xml.FindChild(doc.root, element);
        settings.values.push_back(child ? std::optional<std::string>(doc.xml.Text(child)) : std::nullopt);
    }
    return settings;
}

}  // namespace vestrel
