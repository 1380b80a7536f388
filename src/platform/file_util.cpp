#include "platform/file_util.h"

#include "platform/error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

namespace vestrel {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kWriteBufferSize = 1 << 18;

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

std::string Quoted(const fs::path& path) { return "\"" + path.string() + "\""; }

// Writes all of `data`, retrying short writes; returns errno or 0.
int WriteAll(int fd, const char* data, std::size_t size) {
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

// The permissions a new file would get from the process's umask.
mode_t DefaultFileMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void SyncDirectory(const fs::path& dir) {
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);  // best effort: the rename is already done
        ::close(fd);
    }
}

}  // namespace

std::string SystemMessage(int errorNumber) { return std::strerror(errorNumber); }

std::string CannotCreateMessage(const fs::path& path, int errorNumber) {
    return "Cannot create file " + Quoted(path) + ". " + SystemMessage(errorNumber);
}

std::string CannotWriteMessage(const fs::path& path, int errorNumber) {
    return "Cannot write file " + Quoted(path) + ". " + SystemMessage(errorNumber);
}

std::string CannotReadMessage(const fs::path& path, int errorNumber) {
    return "Cannot open file " + Quoted(path) + ". " + SystemMessage(errorNumber);
}

bool FileExists(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool DirectoryExists(const fs::path& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

std::optional<fs::path> FindFileNoCase(const fs::path& dir, std::string_view name) {
    fs::path exact = dir / fs::path(std::string(name));
    if (FileExists(exact)) return exact;
    std::error_code ec;
    fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec);
    if (ec) return std::nullopt;
    for (const fs::directory_entry& entry : it) {
        std::string candidate = entry.path().filename().string();
        if (EqualNoCase(candidate, name) && entry.is_regular_file(ec)) return dir / candidate;
    }
    return std::nullopt;
}

fs::path PathForWriteNoCase(const fs::path& dir, std::string_view name) {
    if (auto existing = FindFileNoCase(dir, name)) return *existing;
    return dir / fs::path(std::string(name));
}

std::string ReadWholeFile(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Error(CannotReadMessage(path, errno));
    std::string data;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
    char chunk[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            throw Error(CannotReadMessage(path, err));
        }
        if (n == 0) break;
        data.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
}

void WriteFileAtomic(const fs::path& path, std::string_view data) {
    AtomicFileWriter writer(path);
    writer.Write(data);
    writer.Commit();
}

AtomicFileWriter::AtomicFileWriter(fs::path target, Sync sync)
    : target_(std::move(target)), durable_(sync == Sync::Durable) {
    // A hidden name in the same folder, so that the rename stays on one file
    // system and no reader that lists the folder mistakes it for a project file.
    fs::path dir = target_.parent_path();
    std::string pattern = (dir / ("." + target_.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) throw Error(CannotCreateMessage(target_, errno));
    temp_ = name.data();

    // Keep the permissions of the file being replaced; a new file gets what
    // the umask gives any new file.
    struct stat st {};
    mode_t mode = ::stat(target_.c_str(), &st) == 0 ? (st.st_mode & 07777) : DefaultFileMode();
    ::fchmod(fd_, mode);
    buffer_.reserve(kWriteBufferSize);
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

void AtomicFileWriter::Commit() {
    if (fd_ < 0) throw Error(CannotWriteMessage(target_, EBADF));
    Flush();
    if (durable_ && ::fsync(fd_) != 0) throw Error(CannotWriteMessage(target_, errno));
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(temp_.c_str());
        throw Error(CannotWriteMessage(target_, err));
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        int err = errno;
        ::unlink(temp_.c_str());
        throw Error(CannotCreateMessage(target_, err));
    }
    temp_.clear();
    if (durable_) SyncDirectory(target_.parent_path());
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
    buffer_.clear();
}

}  // namespace vestrel
