#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The named work files of atomic saves, private to AtomicFileWriter: where a file
// system cannot make nameless files (FAT on a USB stick, some fuse mounts), a
// save writes ".NAME.vestrel-PID-XXXXXX" beside its target, and a nameless file
// gets such a name for the instant between its link and its rename.
namespace vestrel::work_file {

// ".NAME.vestrel-": the start of the names of the work files of `target`.
std::string Prefix(const std::filesystem::path& target);

// Whether `name` is the name of one of this tool's work files.
bool IsWorkFileName(std::string_view name);

// Marks the work file open on `fd` as in use for as long as the descriptor
// stays open: an exclusive lock on the file, which the system drops however
// the process ends, and which outlives neither a reboot nor a move of the
// stick to another host, unlike a process id. False when a cleaner removed
// the file before the lock was taken; the caller then makes another.
bool Claim(int fd, const std::filesystem::path& path);

// Removes the work files in `dir` that no writer holds, those of any target:
// their writer is gone, whatever became of its process id. Files in use are
// left alone, and so is everything on a file system without locks.
void RemoveAbandoned(const std::filesystem::path& dir);

// A work file that SIGINT, SIGTERM and SIGHUP remove before they end the
// process, for as long as the object lives or until Release(); a folder is
// removed too, once the files guarded in it are. The handlers are installed
// only over the default action.
class Guard {
public:
    Guard() = default;
    explicit Guard(const std::filesystem::path& path);
    ~Guard() { Release(); }
    Guard(Guard&& other) noexcept : slot_(other.slot_) { other.slot_ = -1; }
    Guard& operator=(Guard&& other) noexcept;
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

    // The file is in place or removed: a signal leaves it alone from now on.
    void Release() noexcept;

private:
    int slot_ = -1;
};

}  // namespace vestrel::work_file
