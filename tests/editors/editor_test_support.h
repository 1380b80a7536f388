#pragma once

#include "platform/workspace_paths.h"
#include "support/fake_dialogs.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QTest>

#include <filesystem>
#include <ostream>
#include <string>

// Failures show a QString as its text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace vestrel::test {

// A project folder under PROJECTS in a temporary folder, and the paths a
// window is given for it.
class ProjectFixture {
public:
    explicit ProjectFixture(const std::string& name = "/P1") { Open(name); }

    // Makes `name` (separator and folder name) the open project; a window
    // shown afterwards must be given `paths` again.
    void Open(const std::string& name) {
        dir = root.path().string() + "/PROJECTS" + name;
        std::filesystem::create_directories(dir);
        paths.appDir = root.path().string();
        paths.masterDir = paths.appDir + "/MASTER";
        paths.projectDir = dir.string();
        paths.spreadsheetFolder = dir.string();
    }

    std::filesystem::path operator/(std::string_view file) const { return dir / std::string(file); }

    TempDir root;
    WorkspacePaths paths;
    std::filesystem::path dir;
    FakeDialogs dialogs;
};

// Lets posted events (cell edits, layout, state changes) run.
inline void ProcessEvents() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

}  // namespace vestrel::test
