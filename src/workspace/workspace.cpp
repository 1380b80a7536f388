#include "workspace/workspace.h"

#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/ini_file.h"
#include "platform/system_file.h"


#include <cstdlib>
#include <system_error>

namespace vestrel {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSection = "lastproj";
constexpr const char* kKey = "projectname";

std::string Join(const std::string& dir, const char* name) { return dir + kPathSeparator + name; }

std::string WithoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && path.back() == kPathSeparator) path.pop_back();
    return path;
}

bool IsWritableDirectory(const std::string& dir) {
    return DirectoryExists(dir) && MayWriteIn(dir);
}

// One level, as the workspace does it; a failure is left for later file
// operations to report on their own terms.
void CreateIfMissing(const std::string& dir) {
    std::error_code ec;
    if (!DirectoryExists(dir)) fs::create_directory(dir, ec);
}

}  // namespace

void Workspace::StartWorkspace(const std::string& appDir, const Result<std::string>& userRoot) {
    appDir_ = WithoutTrailingSeparator(appDir);
    Result<PreparedWorkspace> prepared = PrepareWorkspace(appDir_, userRoot);
    if (!prepared) throw Error(prepared.Why());
    rootDir_ = prepared->root;
    masterDir_ = Join(rootDir_, "MASTER");
    CreateIfMissing(masterDir_);
    projectsDir_ = Join(rootDir_, "PROJECTS");
    CreateIfMissing(projectsDir_);

    projectName_ = ReadIniString(ConfigFile(), kSection, kKey);
    // A hand-edited name that leads out of PROJECTS counts as missing.
    if (IsProjectNameOfProjects(projectName_) && DirectoryExists(projectsDir_ + projectName_)) {
        projectDir_ = projectsDir_ + projectName_;
        SetTitle(TitleForm::WithProject);
    } else {
        projectDir_ = projectsDir_;
        SetTitle(TitleForm::Initial);
    }
    spreadsheetFolder_ = projectDir_;
    DeriveProjectFiles();
}

void Workspace::CloseWorkspace() const { WriteIniString(ConfigFile(), kSection, kKey, projectName_); }

std::string Workspace::ConfigFile() const { return Join(rootDir_, kProduct.configFileName); }

void Workspace::NewProjectDone(bool ok) {
    if (ok) {
        SetTitle(TitleForm::WithProject);
        spreadsheetFolder_ = projectDir_;
    } else {
        SetTitle(TitleForm::WithoutName);
    }
}

void Workspace::OpenProjectDone() {
    projectName_ = projectDir_.size() > projectsDir_.size() ? projectDir_.substr(projectsDir_.size()) : std::string();
    SetTitle(TitleForm::WithProject);
    spreadsheetFolder_ = projectDir_;
    DeriveProjectFiles();
}

void Workspace::SetProject(const std::string& projectName) {
    projectName_ = projectName;
    projectDir_ = projectsDir_ + projectName_;
    DeriveProjectFiles();
}

void Workspace::SetTitle(TitleForm form) {
    title_ = std::string(kProduct.vendorLabel) + kProduct.windowTitleText;
    if (form == TitleForm::WithProject) title_ += " :" + projectName_;
    if (form == TitleForm::WithoutName) title_ += " :";
}

void Workspace::DeriveProjectFiles() {
    files_.pargen = Join(projectDir_, "pargen.xml");
    files_.receiveFrames = Join(projectDir_, "RCobDef.xml");
    files_.transmitFrames = Join(projectDir_, "TCobDef.xml");
    files_.sdo = Join(projectDir_, "sdo.xml");
    files_.emcyDef = Join(projectDir_, "emcydef.xml");
    files_.emcyWord = Join(projectDir_, "emcyword.xml");
    files_.sdoPdo = Join(projectDir_, "sdopdo.xml");
}

bool IsProjectNameInside(const std::string& name) {
    if (name.empty()) return false;
    fs::path path(name);
    if (path.has_root_path()) return false;
    for (const fs::path& part : path) {
        if (part == "..") return false;
    }
#ifndef _WIN32
    // A backslash is an ordinary character here, but a name written for
    // Windows ("..\Other") must not climb out there either.
    std::string::size_type start = 0;
    while (start <= name.size()) {
        std::string::size_type end = name.find_first_of("/\\", start);
        if (end == std::string::npos) end = name.size();
        if (name.compare(start, end - start, "..") == 0) return false;
        start = end + 1;
    }
#endif
    return true;
}

bool IsProjectNameOfProjects(const std::string& projectName) {
    return projectName.size() > 1 && projectName.front() == kPathSeparator &&
           IsProjectNameInside(projectName.substr(1));
}

bool IsProjectNameUsable(const std::string& name) {
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F) return false;
    return IsProjectNameInside(name);
}

UserFolderVariables UserFolderVariablesOfThisProcess() { return {std::getenv("XDG_DATA_HOME"), std::getenv("HOME")}; }

Result<std::string> UserWorkspaceRoot(const UserFolderVariables& variables) {
    auto absolute = [](const char* value) { return value && value[0] == '/'; };
    std::string base;
    if (absolute(variables.xdgDataHome)) {
        base = variables.xdgDataHome;
    } else if (absolute(variables.home)) {
        std::string home = WithoutTrailingSeparator(variables.home);
        base = (home == "/" ? std::string() : home) + "/.local/share";
    } else {
        auto state = [](const char* name, const char* value) {
            if (!value || !*value) return std::string(name) + " is not set";
            return std::string(name) + " is the relative path \"" + value + "\"";
        };
        return Failure{"there is no per-user folder for the workspace: " + state("XDG_DATA_HOME", variables.xdgDataHome) +
                       " and " + state("HOME", variables.home) +
                       "; set HOME (or XDG_DATA_HOME) to an absolute path"};
    }
    return Join(WithoutTrailingSeparator(base), kProduct.applicationName);
}

Result<std::string> UserWorkspaceRoot() { return UserWorkspaceRoot(UserFolderVariablesOfThisProcess()); }

const char* const kWorkspaceRulesText =
    "The workspace (projects, the base image, the flasher and its settings) of a\n"
    "build is the folder of the executable. An installed copy (PREFIX/bin beside\n"
    "PREFIX/share/vestrel/workspace), and a copy whose folder is not writable, keep\n"
    "it in $XDG_DATA_HOME/Firmware Vestrel, or in $HOME/.local/share/Firmware Vestrel\n"
    "where XDG_DATA_HOME is not set or not an absolute path; with neither set to an\n"
    "absolute path they refuse to start and say so. The application's first start,\n"
    "and vestrel-cli workspace, fill an installed copy's empty workspace with the\n"
    "demo workspace of PREFIX/share/vestrel/workspace; nothing there is replaced.\n";

std::string InstalledSeedDir(const std::string& appDir) {
    fs::path bin(WithoutTrailingSeparator(appDir));
    if (bin.filename() != "bin") return {};
    fs::path seed = bin.parent_path() / "share" / "vestrel" / "workspace";
    return DirectoryExists(seed.string()) ? seed.string() : std::string();
}

Result<std::string> WorkspaceRootFor(const std::string& appDir, const Result<std::string>& userRoot) {
    std::string dir = WithoutTrailingSeparator(appDir);
    const bool installed = !InstalledSeedDir(dir).empty();
    if (!installed && IsWritableDirectory(dir)) return dir;
    if (!userRoot) {
        return Failure{std::string(installed ? "an installed copy keeps its workspace in a per-user folder, and "
                                             : "the folder of the executable is not writable, and ") +
                       userRoot.Why()};
    }
    return WithoutTrailingSeparator(*userRoot);
}

bool SeedWorkspace(const std::string& root, const std::string& seedDir) {
    auto emptyOrMissing = [](const fs::path& dir) {
        std::error_code ec;
        return !fs::exists(dir, ec) || fs::is_empty(dir, ec);
    };
    if (!emptyOrMissing(fs::path(root) / "MASTER") || !emptyOrMissing(fs::path(root) / "PROJECTS")) return false;
    // A failure is left for the later file operations to report on their own terms.
    std::error_code ec;
    fs::copy(seedDir, root, fs::copy_options::recursive | fs::copy_options::skip_existing, ec);
    return !ec;
}

Result<PreparedWorkspace> PrepareWorkspace(const std::string& appDir, const Result<std::string>& userRoot) {
    Result<std::string> root = WorkspaceRootFor(appDir, userRoot);
    if (!root) return Failure{root.Why()};
    PreparedWorkspace prepared{*root, {}};
    if (prepared.root == WithoutTrailingSeparator(appDir)) return prepared;
    std::error_code ec;
    fs::create_directories(prepared.root, ec);
    if (std::string seed = InstalledSeedDir(appDir); !seed.empty() && SeedWorkspace(prepared.root, seed))
        prepared.seededFrom = seed;
    return prepared;
}

std::string ExecutableDir() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return WithoutTrailingSeparator(fs::current_path(ec).string());
    return WithoutTrailingSeparator(exe.parent_path().string());
}

}  // namespace vestrel
