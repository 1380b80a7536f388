#pragma once

#include "app/workspace.h"
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

// A workspace in a temporary folder with one open project folder.
class ProjectFixture {
public:
    explicit ProjectFixture(const std::string& name = "/P1") {
        workspace.StartWorkspace(root.path().string(), "");
        Open(name);
    }

    // Makes `name` (separator and folder name) the open project.
    void Open(const std::string& name) {
        std::filesystem::create_directories(workspace.ProjectsDir() + name);
        workspace.SetProject(name);
        dir = workspace.ProjectDir();
    }

    std::filesystem::path operator/(std::string_view file) const { return dir / std::string(file); }

    TempDir root;
    Workspace workspace;
    std::filesystem::path dir;
    FakeDialogs dialogs;
};

// Lets posted events (cell edits, layout, state changes) run.
inline void ProcessEvents() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

}  // namespace vestrel::test
