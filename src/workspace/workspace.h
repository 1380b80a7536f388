#pragma once

#include "platform/result.h"
#include "platform/workspace_paths.h"
#include "workspace/product.h"

#include <filesystem>
#include <string>

namespace vestrel {

// The full paths of the project files that the dialogs open.
struct ProjectFiles {
    std::string pargen;
    std::string receiveFrames;
    std::string transmitFrames;
    // Files of the CANopen service editors, which no command shows.
    std::string sdo;
    std::string emcyDef;
    std::string emcyWord;
    std::string sdoPdo;
};

// The workspace (MASTER, PROJECTS, the INI file that remembers the last
// project, the flasher) and the variables every window reads. Paths are texts
// with the platform's separator and no trailing separator.
class Workspace {
public:
    // Computes the variables, creates MASTER and PROJECTS when missing and
    // restores the last project. `appDir` is the executable's folder; the
    // workspace lives where WorkspaceRootFor puts it, `userRoot` being the
    // per-user folder or why there is none. An installed copy seeds an empty
    // workspace from its demo workspace first (PrepareWorkspace). Throws
    // Error with WorkspaceRootFor's reason when there is no workspace.
    void StartWorkspace(const std::string& appDir, const Result<std::string>& userRoot);
    // Writes ProjectName to the INI file. Throws Error when it cannot.
    void CloseWorkspace() const;

    // True when a project folder is set; commands that need one show
    // "Project not valid" otherwise.
    bool ProjectGuard() const { return !projectDir_.empty(); }

    // After the New project dialog: on OK the dialog has called SetProject.
    void NewProjectDone(bool ok);
    // After the folder chooser of "Open project", whatever it returned:
    // ProjectName follows from ProjectDir.
    void OpenProjectDone();

    // Makes `name` (the separator and the folder name) the open project.
    void SetProject(const std::string& projectName);
    // The folder variable of "Open project", read and written by the chooser.
    std::string& ProjectDirVariable() { return projectDir_; }

    const std::string& AppDir() const { return appDir_; }
    const std::string& RootDir() const { return rootDir_; }
    const std::string& MasterDir() const { return masterDir_; }
    const std::string& ProjectsDir() const { return projectsDir_; }
    const std::string& ProjectName() const { return projectName_; }
    const std::string& ProjectDir() const { return projectDir_; }
    const ProjectFiles& Files() const { return files_; }
    const std::string& SpreadsheetFolder() const { return spreadsheetFolder_; }
    // The folders the windows are given before they are shown. The flasher
    // is looked for in the workspace's root.
    WorkspacePaths Paths() const { return {rootDir_, masterDir_, projectDir_, spreadsheetFolder_}; }
    const std::string& Title() const { return title_; }
    std::string ConfigFile() const;

private:
    enum class TitleForm { Initial, WithProject, WithoutName };
    void SetTitle(TitleForm form);
    void DeriveProjectFiles();

    std::string appDir_;
    std::string rootDir_;
    std::string masterDir_;
    std::string projectsDir_;
    std::string projectName_;
    std::string projectDir_;
    ProjectFiles files_;
    std::string spreadsheetFolder_;
    std::string title_ = std::string(kProduct.vendorLabel) + kProduct.windowTitleText;
};

// True when `name`, taken as a path below PROJECTS, stays there: not empty,
// no root or drive, and no ".." segment (also between backslashes).
bool IsProjectNameInside(const std::string& name);

// True when a ProjectName (the separator, then a name as above) names a
// folder inside PROJECTS. An empty name is not one.
bool IsProjectNameOfProjects(const std::string& projectName);

// True when a name can be a project folder that the INI file remembers:
// inside PROJECTS and without control characters, which neither the title
// nor the INI file's one-line value can hold.
bool IsProjectNameUsable(const std::string& name);

// The environment variables the per-user folder follows.
struct UserFolderVariables {
    const char* xdgDataHome = nullptr;  // XDG_DATA_HOME; null when unset
    const char* home = nullptr;         // HOME
};
UserFolderVariables UserFolderVariablesOfThisProcess();

// The per-user folder of the workspace: $XDG_DATA_HOME/Firmware Vestrel, or
// $HOME/.local/share/Firmware Vestrel when XDG_DATA_HOME is unset, empty or
// relative (the base-directory rules ignore a relative one). Without an
// absolute base there is no such folder, and the result says why.
Result<std::string> UserWorkspaceRoot(const UserFolderVariables& variables);
Result<std::string> UserWorkspaceRoot();

// How the manual pages word where the workspace is and what fills it.
extern const char* const kWorkspaceRulesText;

// The demo workspace that an installed copy brings: PREFIX/share/vestrel/
// workspace for an executable in PREFIX/bin. Empty when there is none, as for
// a build, whose workspace the run command seeds.
std::string InstalledSeedDir(const std::string& appDir);

// Where the workspace of an executable in `appDir` lives: in `appDir` itself
// for a build, or in `userRoot` for an installed copy and when `appDir` is not
// writable. When that needs the per-user folder and there is none, the
// reason says so: the workspace never falls back to the executable's folder.
Result<std::string> WorkspaceRootFor(const std::string& appDir, const Result<std::string>& userRoot);

// Fills a workspace whose MASTER and PROJECTS are both empty or missing with
// a copy of `seedDir` (base image, projects, flasher, INI file). A workspace
// with anything in either is the user's and stays as it is; a file already
// there is never replaced. True when it copied `seedDir`.
bool SeedWorkspace(const std::string& root, const std::string& seedDir);

// The workspace of an executable in `appDir`, made ready for use: the root
// created where it is the per-user folder and, for an installed copy, seeded
// when empty. What the application's start and `vestrel-cli workspace` do.
struct PreparedWorkspace {
    std::string root;
    std::string seededFrom;  // the demo workspace copied in; empty when nothing was
};
Result<PreparedWorkspace> PrepareWorkspace(const std::string& appDir, const Result<std::string>& userRoot);

// The folder of the running executable, without trailing separator.
std::string ExecutableDir();

}  // namespace vestrel
