#include "platform/file_util.h"

#include "platform/error.h"
#include "platform/output_file.h"
#include "platform/text.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

namespace vestrel {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kWriteBufferSize = 1 << 18;


std::mutex hookMutex;
std::function<int(SaveStep)> saveStepHook;

// 0, or the errno the test seam wants the step to fail with.
int SeamAt(SaveStep step) {
    std::function<int(SaveStep)> hook;
    {
        std::lock_guard lock(hookMutex);
        hook = saveStepHook;
    }
    return hook ? hook(step) : 0;
}

// Writes all of `data`, retrying short writes; returns errno or 0.
int WriteAll(int fd, const char* data, std::size_t size) {
    if (int fault = SeamAt(SaveStep::Write)) return fault;
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

// The permissions a new file gets, read from the kernel's record of the
// umask rather than by setting it, which would race with other threads.
mode_t DefaultFileMode() {
    std::FILE* status = std::fopen("/proc/self/status", "re");
    unsigned mask = 022;
    if (status) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
        std::fclose(status);
    }
    return static_cast<mode_t>(0666 & ~mask);
}

bool ProcFdAvailable() {
    static const bool available = ::access("/proc/self/fd", X_OK) == 0;
    return available;
}

}  // namespace

void SyncFolder(const fs::path& dir) {
    if (SeamAt(SaveStep::SyncFolder) != 0) return;  // best effort: the file is in place already
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void SetSaveStepHookForTesting(std::function<int(SaveStep)> hook) {
    std::lock_guard lock(hookMutex);
    saveStepHook = std::move(hook);
}

std::string SystemMessage(int errorNumber) { return std::strerror(errorNumber); }

std::string QuotedPath(const fs::path& path) { return "\"" + path.string() + "\""; }

std::string CannotCreateMessage(const fs::path& path, int errorNumber) {
    return "Cannot create file " + QuotedPath(path) + ". " + SystemMessage(errorNumber);
}

std::string CannotWriteMessage(const fs::path& path, int errorNumber) {
    return "Cannot write file " + QuotedPath(path) + ". " + SystemMessage(errorNumber);
}

std::string CannotCreateFolderMessage(const fs::path& path, int errorNumber) {
    return "Cannot create folder " + QuotedPath(path) + ". " + SystemMessage(errorNumber);
}

std::string CannotReadMessage(const fs::path& path, int errorNumber) {
    return "Cannot open file " + QuotedPath(path) + ". " + SystemMessage(errorNumber);
}

std::string ReadFailedMessage(const fs::path& path, int errorNumber) {
    return "Cannot read file " + QuotedPath(path) + ". " + SystemMessage(errorNumber);
}

void RequireOutputFolder(const fs::path& dir) {
    std::error_code ec;
    if (fs::is_directory(dir, ec)) return;
    if (fs::exists(fs::symlink_status(dir, ec))) throw Error(CannotCreateFolderMessage(dir, ENOTDIR));
    // The first folder of the chain that cannot be made is the one named.
    fs::path made;
    for (const fs::path& part : dir) {
        made /= part;
        if (fs::is_directory(made, ec)) continue;
        if (::mkdir(made.c_str(), 0777) != 0 && errno != EEXIST) throw Error(CannotCreateFolderMessage(made, errno));
        if (!fs::is_directory(made, ec)) throw Error(CannotCreateFolderMessage(made, ENOTDIR));
    }
}

bool FileExists(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool DirectoryExists(const fs::path& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

namespace {

// The entry of `dir` named `name` regardless of letter case, accepted by
// `wanted`; an exact match first.
template <typename Wanted>
std::optional<fs::path> FindNoCase(const fs::path& dir, std::string_view name, Wanted wanted) {
    fs::path exact = dir / fs::path(std::string(name));
    std::error_code ec;
    if (wanted(exact)) return exact;
    fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec);
    if (ec) return std::nullopt;
    for (const fs::directory_entry& entry : it) {
        std::string candidate = entry.path().filename().string();
        if (EqualNoCase(candidate, name) && wanted(dir / candidate)) return dir / candidate;
    }
    return std::nullopt;
}

}  // namespace

std::optional<fs::path> FindFileNoCase(const fs::path& dir, std::string_view name) {
    return FindNoCase(dir, name, [](const fs::path& p) { return FileExists(p); });
}

std::optional<fs::path> FindEntryNoCase(const fs::path& dir, std::string_view name) {
    return FindNoCase(dir, name, [](const fs::path& p) {
        std::error_code ec;
        return fs::exists(fs::symlink_status(p, ec));
    });
}

fs::path PathForWriteNoCase(const fs::path& dir, std::string_view name) {
    if (auto existing = FindFileNoCase(dir, name)) return *existing;
    return dir / fs::path(std::string(name));
}

namespace {

// Reads what `fd` holds, at most `maxBytes` + 1 bytes when a limit is given.
std::string ReadFrom(int fd, const fs::path& path, std::size_t sizeHint, std::size_t maxBytes) {
    std::string data;
    if (sizeHint > 0) data.reserve(std::min(sizeHint, maxBytes));
    char chunk[1 << 16];
    for (;;) {
        const std::size_t want = std::min(sizeof chunk, maxBytes - std::min(maxBytes, data.size()) + 1);
        ssize_t n = ::read(fd, chunk, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            throw Error(ReadFailedMessage(path, err));
        }
        if (n == 0) break;
        data.append(chunk, static_cast<std::size_t>(n));
        if (data.size() > maxBytes) break;
    }
    ::close(fd);
    return data;
}

std::string TooLargeMessage(const fs::path& path, std::size_t maxBytes) {
    return "The file " + QuotedPath(path) + " is larger than " + std::to_string(maxBytes) +
           " bytes, the most this tool reads for it";
}

}  // namespace

std::string ReadWholeFile(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Error(CannotReadMessage(path, errno));
    struct stat st {};
    const std::size_t hint = ::fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0;
    return ReadFrom(fd, path, hint, std::numeric_limits<std::size_t>::max() - 1);
}

std::string ReadRegularFile(const fs::path& path, std::size_t maxBytes) {
    // Not blocking, so that a named pipe is refused instead of waited on.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        std::error_code ec;
        if (err == ENOENT && fs::is_symlink(fs::symlink_status(path, ec)))
            throw Error("The file " + QuotedPath(path) + " is a link to " + QuotedPath(fs::read_symlink(path, ec)) +
                        ", which does not exist");
        throw Error(CannotReadMessage(path, err));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw Error(ReadFailedMessage(path, err));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        const char* what = S_ISDIR(st.st_mode)    ? "a folder"
                           : S_ISFIFO(st.st_mode) ? "a named pipe"
                           : S_ISSOCK(st.st_mode) ? "a socket"
                                                  : "a device";
        throw Error("The file " + QuotedPath(path) + " cannot be read: it is " + what + ", not a file");
    }
    if (st.st_size > 0 && static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        ::close(fd);
        throw Error(TooLargeMessage(path, maxBytes));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::string data = ReadFrom(fd, path, static_cast<std::size_t>(st.st_size), maxBytes);
    // A file that grew while it was read.
    if (data.size() > maxBytes) throw Error(TooLargeMessage(path, maxBytes));
    return data;
}

void WriteFileAtomic(const fs::path& path, std::string_view data) {
    AtomicFileWriter writer(path);
    writer.Write(data);
    writer.Commit();
}

AtomicFileWriter::AtomicFileWriter(const fs::path& target, Sync sync)
    : target_(OutputTarget(target)), durable_(sync == Sync::Durable) {
    // EOPNOTSUPP from the seam: a file system without nameless files.
    const int fault = SeamAt(SaveStep::Create);
    if (fault && fault != EOPNOTSUPP) throw Error(CannotCreateMessage(target_, fault));
    const fs::path dir = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
    work_file::RemoveAbandoned(dir);
    // A nameless file in the target's folder: a process killed before Commit()
    // leaves nothing, and the final link stays on one file system.
    if (ProcFdAvailable() && !fault) {
        fd_ = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            nameless_ = true;
            ::flock(fd_, LOCK_EX);  // held by the hidden name it gets before its rename
        } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            throw Error(CannotCreateMessage(target_, errno));
        }
    }
    if (fd_ < 0) OpenNamedTemporary();

    // Keep the permissions of the file being replaced; a new file gets what
    // the umask gives any new file.
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0)
        ::fchmod(fd_, st.st_mode & 07777);
    else if (!nameless_)
        ::fchmod(fd_, DefaultFileMode());
    buffer_.reserve(kWriteBufferSize);
}

void AtomicFileWriter::OpenNamedTemporary() {
    const std::string pattern =
        (target_.parent_path() / (work_file::Prefix(target_) + std::to_string(::getpid()) + "-XXXXXX")).string();
    for (int attempt = 0;; ++attempt) {
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        fd_ = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd_ < 0) throw Error(CannotCreateMessage(target_, errno));
        if (work_file::Claim(fd_, name.data())) {
            temp_ = name.data();
            guard_ = work_file::Guard(temp_);
            return;
        }
        ::close(fd_);  // another run's cleaner took it before it was claimed
        fd_ = -1;
        if (attempt == 100) throw Error(CannotCreateMessage(target_, EEXIST));
    }
}

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

void AtomicFileWriter::Write(std::string_view data) {
    if (fd_ < 0) throw Error(CannotWriteMessage(target_, EBADF));
    if (buffer_.size() + data.size() > kWriteBufferSize) {
        Flush();
        if (data.size() >= kWriteBufferSize) {
            if (int err = WriteAll(fd_, data.data(), data.size())) throw Error(CannotWriteMessage(target_, err));
            return;
        }
    }
    buffer_.append(data);
}

void AtomicFileWriter::Flush() {
    if (buffer_.empty()) return;
    int err = WriteAll(fd_, buffer_.data(), buffer_.size());
    buffer_.clear();
    if (err) throw Error(CannotWriteMessage(target_, err));
}

// Gives the finished nameless file its place: linked straight under the
// target's name when there is no such file yet, otherwise under a hidden
// name that is then renamed over the target in one step.
void AtomicFileWriter::LinkInPlace() {
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd_);
    if (int fault = SeamAt(SaveStep::Link)) throw Error(CannotCreateMessage(target_, fault));
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(target_, ec))) {
        if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0) return;
        if (errno != EEXIST) throw Error(CannotCreateMessage(target_, errno));
    }
    for (int attempt = 0;; ++attempt) {
        const std::string name = work_file::Prefix(target_) + std::to_string(::getpid()) + "-" +
                                 std::to_string(attempt) + "L";
        const fs::path temp = target_.parent_path() / name;
        if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temp_ = temp;
            guard_ = work_file::Guard(temp_);
            break;
        }
        if (errno != EEXIST || attempt > 100) throw Error(CannotCreateMessage(target_, errno));
    }
    if (int fault = SeamAt(SaveStep::Replace)) throw Error(CannotCreateMessage(target_, fault));
    if (::rename(temp_.c_str(), target_.c_str()) != 0) throw Error(CannotCreateMessage(target_, errno));
    temp_.clear();
    guard_.Release();
}

void AtomicFileWriter::Complete() {
    if (fd_ < 0) throw Error(CannotWriteMessage(target_, EBADF));
    if (completed_) return;
    try {
        Flush();
        if (int fault = SeamAt(SaveStep::Sync)) throw Error(CannotWriteMessage(target_, fault));
        if (durable_ && ::fsync(fd_) != 0) throw Error(CannotWriteMessage(target_, errno));
    } catch (...) {
        Discard();
        throw;
    }
    completed_ = true;
}

// Completes the file, gives it its name with `place`, and lets it go; a
// failure leaves nothing behind.
void AtomicFileWriter::Place(const std::function<void()>& place) {
    Complete();
    try {
        place();
    } catch (...) {
        Discard();
        throw;
    }
    int fd = fd_;
    fd_ = -1;
    ::close(fd);  // the data is in place; a late error from close changes nothing
}

void AtomicFileWriter::Commit() {
    Place([this] {
        if (nameless_) {
            LinkInPlace();
            return;
        }
        if (int fault = SeamAt(SaveStep::Replace)) throw Error(CannotCreateMessage(target_, fault));
        if (::rename(temp_.c_str(), target_.c_str()) != 0) throw Error(CannotCreateMessage(target_, errno));
        temp_.clear();
        guard_.Release();
    });
    if (durable_) SyncFolder(target_.parent_path());
}

void AtomicFileWriter::CommitAs(const fs::path& path) {
    Place([&] {
        if (nameless_) {
            const std::string procPath = "/proc/self/fd/" + std::to_string(fd_);
            if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0)
                throw Error(CannotCreateMessage(path, errno));
            return;
        }
        // Without nameless files there are seldom hard links either (FAT):
        // the named work file is renamed, never over a file of that name.
        if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno != EINVAL && errno != ENOSYS) throw Error(CannotCreateMessage(path, errno));
            std::error_code ec;
            if (fs::exists(fs::symlink_status(path, ec))) throw Error(CannotCreateMessage(path, EEXIST));
            if (::rename(temp_.c_str(), path.c_str()) != 0) throw Error(CannotCreateMessage(path, errno));
        }
        temp_.clear();
        guard_.Release();
    });
}

void AtomicFileWriter::Discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
    guard_.Release();
    buffer_.clear();
}

}  // namespace vestrel
