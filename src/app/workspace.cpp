#include "app/workspace.h"

#include "platform/file_util.h"
#include "platform/ini_file.h"

#include <unistd.h>

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
    return DirectoryExists(dir) && ::access(dir.c_str(), W_OK) == 0;
}

// One level, as the workspace does it; a failure is left for later file
// operations to report on their own terms.
void CreateIfMissing(const std::string& dir) {
    std::error_code ec;
    if (!DirectoryExists(dir)) fs::create_directory(dir, ec);
}

}  // namespace

void Workspace::StartWorkspace(const std::string& appDir, const std::string& fallbackRoot) {
    appDir_ = WithoutTrailingSeparator(appDir);
    rootDir_ = WorkspaceRootFor(appDir_, fallbackRoot);
    if (rootDir_ != appDir_) {
        std::error_code ec;
        fs::create_directories(rootDir_, ec);
        if (std::string seed = InstalledSeedDir(appDir_); !seed.empty()) SeedWorkspace(rootDir_, seed);
    }
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

std::string UserWorkspaceRoot() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (dataHome && *dataHome) {
        base = dataHome;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.local/share";
    } else {
        return {};
    }
    return Join(WithoutTrailingSeparator(base), kProduct.applicationName);
}

std::string InstalledSeedDir(const std::string& appDir) {
    fs::path bin(WithoutTrailingSeparator(appDir));
    if (bin.filename() != "bin") return {};
    fs::path seed = bin.parent_path() / "share" / "vestrel" / "workspace";
    return DirectoryExists(seed.string()) ? seed.string() : std::string();
}

std::string WorkspaceRootFor(const std::string& appDir, const std::string& fallbackRoot) {
    std::string dir = WithoutTrailingSeparator(appDir);
    if (fallbackRoot.empty()) return dir;
    if (!InstalledSeedDir(dir).empty() || !IsWritableDirectory(dir)) return WithoutTrailingSeparator(fallbackRoot);
    return dir;
}

void SeedWorkspace(const std::string& root, const std::string& seedDir) {
    auto emptyOrMissing = [](const fs::path& dir) {
        std::error_code ec;
        return !fs::exists(dir, ec) || fs::is_empty(dir, ec);
    };
    if (!emptyOrMissing(fs::path(root) / "MASTER") || !emptyOrMissing(fs::path(root) / "PROJECTS")) return;
    // Failures are left for the windows' own file operations to report.
    std::error_code ec;
    fs::copy(seedDir, root, fs::copy_options::recursive | fs::copy_options::skip_existing, ec);
}

std::string ExecutableDir() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return WithoutTrailingSeparator(fs::current_path(ec).string());
    return WithoutTrailingSeparator(exe.parent_path().string());
}

}  // namespace vestrel
