#include "platform/folder_lock.h"

#include "platform/error.h"
#include "platform/file_util.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <tuple>

namespace vestrel {

namespace fs = std::filesystem;

std::string FolderBusyMessage(const fs::path& folder) {
    return "Another run is writing into the folder \"" + folder.string() + "\"; try again when it has finished";
}

FolderBusy::FolderBusy(fs::path folder) : Error(FolderBusyMessage(folder)), folder_(std::move(folder)) {}

FolderLocks::FolderLocks(std::vector<fs::path> folders, Wait wait,
                         const std::function<void(const fs::path&)>& onWait) {
    struct Target {
        dev_t device;
        ino_t inode;
        fs::path path;
    };
    std::vector<Target> targets;
    for (const fs::path& folder : folders) {
        struct stat st {};
        if (folder.empty() || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        targets.push_back({st.st_dev, st.st_ino, folder});
    }
    auto key = [](const Target& t) { return std::tie(t.device, t.inode); };
    std::sort(targets.begin(), targets.end(), [&](const Target& a, const Target& b) { return key(a) < key(b); });
    targets.erase(std::unique(targets.begin(), targets.end(),
                              [&](const Target& a, const Target& b) { return key(a) == key(b); }),
                  targets.end());

    try {
        for (const Target& target : targets) {
            const int fd = ::open(target.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) continue;  // a folder that cannot be opened is reported by the work itself
            fds_.push_back(fd);
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) continue;
            if (errno != EWOULDBLOCK) continue;  // a file system without locks: go on unlocked
            if (wait == Wait::No) throw FolderBusy(target.path);
            if (onWait) onWait(target.path);
            while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    } catch (...) {
        for (int fd : fds_) ::close(fd);
        throw;
    }
}

FolderLocks::~FolderLocks() {
    for (int fd : fds_) ::close(fd);  // closing gives the lock up
}

}  // namespace vestrel
