#pragma once

#include "platform/error.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vestrel {

// Advisory locks on folders, so that two runs that write into the same
// folder (two builds of one project, two merges into one output folder) never
// interleave. The lock is taken on the folder itself (flock on its
// descriptor): no lock file is ever left behind, and a process that ends,
// however it ends, gives its locks up.
class FolderLocks {
public:
    enum class Wait {
        Yes,  // wait for the other run to finish
        No,   // refuse at once with an Error naming the folder
    };

    // Locks each folder of `folders` that exists, each once and in one fixed
    // order (by device and inode), so that two runs locking overlapping sets
    // cannot wait for each other. `onWait` is called with the folder before
    // waiting for it. Throws FolderBusy when a folder is busy and `wait` is No.
    FolderLocks(std::vector<std::filesystem::path> folders, Wait wait,
                const std::function<void(const std::filesystem::path&)>& onWait = {});
    ~FolderLocks();
    FolderLocks(const FolderLocks&) = delete;
    FolderLocks& operator=(const FolderLocks&) = delete;

private:
    std::vector<int> fds_;
};

// What FolderLocks throws for a folder another run holds when it is not to
// wait: FolderBusyMessage, and the folder as a value.
class FolderBusy : public Error {
public:
    explicit FolderBusy(std::filesystem::path folder);
    const std::filesystem::path& Folder() const { return folder_; }

private:
    std::filesystem::path folder_;
};

// "Another run is writing into the folder "X"; try again when it has finished."
std::string FolderBusyMessage(const std::filesystem::path& folder);

}  // namespace vestrel
