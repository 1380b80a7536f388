#pragma once

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace vestrel::test {

// A tmpfs of a few pages on a fresh folder: a disk that really fills up and
// answers ENOSPC. Mounting takes privileges (root in CI); where the process
// may not mount, Mounted() is false and Reason() says why, for GTEST_SKIP.
class SmallTmpfs {
public:
    // On a new folder of its own, removed afterwards.
    explicit SmallTmpfs(std::size_t bytes) {
        std::string pattern = (std::filesystem::temp_directory_path() / "vestrel-tmpfs-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            reason_ = std::string("cannot create a mount point: ") + std::strerror(errno);
            return;
        }
        path_ = pattern;
        ownsFolder_ = true;
        Mount(bytes);
    }
    // Over an existing folder, whose content it hides until it is unmounted.
    SmallTmpfs(std::size_t bytes, std::filesystem::path at) : path_(std::move(at)) { Mount(bytes); }

    ~SmallTmpfs() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
        if (ownsFolder_) ::rmdir(path_.c_str());
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Reason() const { return reason_; }
    const std::filesystem::path& path() const { return path_; }

    std::size_t FreeBytes() const {
        struct statvfs fs {};
        ::statvfs(path_.c_str(), &fs);
        return static_cast<std::size_t>(fs.f_bavail) * fs.f_frsize;
    }

    // Takes all but `leave` bytes with a file named `name`.
    void FillLeaving(std::size_t leave, const std::string& name = "filler") {
        const std::size_t free = FreeBytes();
        std::ofstream out(path_ / name, std::ios::binary);
        const std::string block(free > leave ? free - leave : 0, '\0');
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }

private:
    void Mount(std::size_t bytes) {
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
        if (::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0)
            reason_ = std::string("cannot mount a tmpfs (") + std::strerror(errno) + ")";
        else
            mounted_ = true;
    }

    std::filesystem::path path_;
    bool ownsFolder_ = false;
    bool mounted_ = false;
    std::string reason_;
};

}  // namespace vestrel::test
