#include "project/project_files.h"

#include "platform/error.h"
#include "platform/file_set.h"
#include "platform/file_util.h"

namespace vestrel {

std::optional<std::filesystem::path> FindProjectFile(const std::filesystem::path& projectDir,
                                                     std::string_view name) {
    return FindEntryNoCase(projectDir, name);
}

std::filesystem::path ProjectFileForWrite(const std::filesystem::path& projectDir, std::string_view name) {
    return PathForWriteNoCase(projectDir, name);
}

std::vector<std::filesystem::path> ProjectFilePaths(const std::filesystem::path& projectDir) {
    std::vector<std::filesystem::path> paths;
    for (std::string_view name : kProjectFileNames)
        paths.push_back(FindProjectFile(projectDir, name).value_or(projectDir / std::string(name)));
    return paths;
}

namespace {

// A folder as "New project" leaves it: nothing in it but an empty bin folder.
bool IsFreshProject(const std::filesystem::path& projectDir) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(projectDir, ec)) {
        if (entry.path().filename() != "bin" || !entry.is_directory(ec) ||
            !std::filesystem::is_empty(entry.path(), ec))
            return false;
    }
    return !ec;
}

}  // namespace

void RequireProjectFolder(const std::filesystem::path& projectDir, FreshProject fresh) {
    if (!DirectoryExists(projectDir)) throw Error("Project folder \"" + projectDir.string() + "\" not found");
    // Before anything is read: a set of files that a run left half in place
    // is finished, or the run stops here (a folder of a decoded project that
    // was interrupted holds no project file until it is).
    SettleFileSet(projectDir);
    for (std::string_view name : kProjectFileNames)
        if (FindProjectFile(projectDir, name)) return;
    if (fresh == FreshProject::Taken && IsFreshProject(projectDir)) return;
    throw Error("The folder \"" + projectDir.string() + "\" is not a project: it holds none of pargen.xml, "
                "RCobDef.xml, TCobDef.xml, RInfoCob.xml and TInfoCob.xml");
}

}  // namespace vestrel
