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

namespace {

// Opens the file and, when it loaded, lets `fill` take what it needs.
template <typename Read, typename Fill>
Read ReadFromDocument(const std::filesystem::path& projectDir, std::string_view name, Fill fill) {
    ProjectDocument doc = OpenProjectDocument(projectDir, name);
    Read read{ProjectFileState::Of(doc), {}};
    if (doc.Loaded()) fill(doc, read);
    return read;
}

}  // namespace

TableRows ReadTableRows(const std::filesystem::path& projectDir, std::string_view name,
                        const std::vector<const char*>& attributes) {
    return ReadFromDocument<TableRows>(projectDir, name, [&](const ProjectDocument& doc, TableRows& table) {
        const int count = doc.xml.ChildCount(doc.root);
        table.rows.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const auto row = doc.xml.Child(doc.root, i);
            auto& values = table.rows.emplace_back();
            for (const char* attribute : attributes) values.push_back(doc.xml.Attribute(row, attribute));
        }
    });
}

SettingTexts ReadSettingTexts(const std::filesystem::path& projectDir, std::string_view name,
                              const std::vector<const char*>& elements) {
    return ReadFromDocument<SettingTexts>(projectDir, name, [&](const ProjectDocument& doc, SettingTexts& settings) {
        for (const char* element : elements) {
            const auto child = doc.xml.FindChild(doc.root, element);
            settings.values.push_back(child ? std::optional<std::string>(doc.xml.Text(child)) : std::nullopt);
        }
    });
}

}  // namespace vestrel
