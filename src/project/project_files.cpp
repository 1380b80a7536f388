#include "project/project_files.h"

#include "platform/file_util.h"

namespace vestrel {

std::optional<std::filesystem::path> FindProjectFile(const std::filesystem::path& projectDir,
                                                     std::string_view name) {
    return FindEntryNoCase(projectDir, name);
}

std::filesystem::path ProjectFileForWrite(const std::filesystem::path& projectDir, std::string_view name) {
    return PathForWriteNoCase(projectDir, name);
}

}  // namespace vestrel
