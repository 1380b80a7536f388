#pragma once

#include <string>

namespace vestrel {

// The build-time product variant; with 2 or 3 "Update Device" compiles the
// project and the firmware dialog selects banks 1 and 2.
inline constexpr int ProductVariant = 3;

// What a command that needs a project says when there is none.
inline constexpr const char* kProjectNotValid = "Project not valid";

// The folders a window works in, handed to it as values by the main window
// right before it is shown, as the editor mode is: a window never reaches up
// to the workspace that owns them.
struct WorkspacePaths {
    std::string appDir;             // the workspace's root, where the flasher is
    std::string masterDir;          // the base firmware image's folder
    std::string projectDir;         // the open project; empty when there is none
    std::string spreadsheetFolder;  // where the workbook import's file dialog starts
};

}  // namespace vestrel
