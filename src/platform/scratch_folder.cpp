#include "platform/scratch_folder.h"

#include "platform/error.h"
#include "platform/file_util.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace vestrel {

namespace fs = std::filesystem;

namespace {

// Removes the folders named `stem`... in the temporary folder whose run is
// gone: their lock can be had.
void RemoveAbandonedScratch(const fs::path& temp, std::string_view stem) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(temp, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, stem.size(), stem) != 0 || !entry.is_directory(ec) || entry.is_symlink(ec)) continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            fs::remove_all(entry.path(), ignored);
        }
        ::close(fd);
    }
}

}  // namespace

ScratchFolder::ScratchFolder(std::string_view stem) {
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    if (ec) throw Error("Cannot find the temporary folder: " + ec.message());
    RemoveAbandonedScratch(temp, stem);
    // Made under a name no cleaner looks at, locked, then given its own:
    // another run's cleaner never finds it unlocked.
    std::string pattern = (temp / ("." + std::string(stem) + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw Error(CannotCreateFolderMessage(pattern, errno));
    const fs::path made = pattern;
    folderGuard_ = work_file::Guard(made);
    fd_ = ::open(made.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX | LOCK_NB);
    path_ = made.parent_path() / made.filename().string().substr(1);
    if (fd_ < 0 || ::rename(made.c_str(), path_.c_str()) != 0) {
        const int err = errno;
        ::rmdir(made.c_str());
        throw Error(CannotCreateFolderMessage(path_, err));
    }
    folderGuard_ = work_file::Guard(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    fileGuards_.clear();
    folderGuard_.Release();
    if (fd_ >= 0) ::close(fd_);
}

void ScratchFolder::Write(std::string_view name, std::string_view data) {
    const fs::path file = path_ / std::string(name);
    fileGuards_.emplace_back(file);
    AtomicFileWriter writer(file, AtomicFileWriter::Sync::NoSync);
    writer.Write(data);
    writer.Commit();
}

}  // namespace vestrel
