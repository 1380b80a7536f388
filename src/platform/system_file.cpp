#include "platform/system_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <utility>

namespace vestrel {

SystemFile::SystemFile(const std::filesystem::path& path, Mode mode) {
    const int flags = mode == Mode::Read ? O_RDONLY | O_CLOEXEC : O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    do fd_ = ::open(path.c_str(), flags, 0666);
    while (fd_ < 0 && errno == EINTR);
    owned_ = fd_ >= 0;
}

SystemFile SystemFile::StandardInput() {
    SystemFile in;
    in.fd_ = STDIN_FILENO;
    return in;
}

SystemFile::~SystemFile() {
    if (owned_) ::close(fd_);
}

SystemFile::SystemFile(SystemFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), owned_(std::exchange(other.owned_, false)) {}

SystemFile& SystemFile::operator=(SystemFile&& other) noexcept {
    if (this != &other) {
        if (owned_) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        owned_ = std::exchange(other.owned_, false);
    }
    return *this;
}

std::ptrdiff_t SystemFile::ReadSome(char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd_, data, size);
        if (n >= 0 || errno != EINTR) return n;
    }
}

std::ptrdiff_t SystemFile::ReadFully(char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const std::ptrdiff_t n = ReadSome(data + done, size - done);
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::ptrdiff_t>(done);
}

std::ptrdiff_t SystemFile::WriteSome(const char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::write(fd_, data, size);
        if (n >= 0 || errno != EINTR) return n;
    }
}

bool SystemFile::Rewind() { return ::lseek(fd_, 0, SEEK_SET) == 0; }

std::optional<std::uint64_t> SystemFile::RegularFileSize() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

void SystemFile::AdviseSequential() { ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL); }

bool MayReadAndWrite(const std::filesystem::path& path) { return ::access(path.c_str(), R_OK | W_OK) == 0; }

bool MayWriteIn(const std::filesystem::path& dir) { return ::access(dir.c_str(), W_OK) == 0; }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::string LocalChangeTimeText(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    std::tm local{};
    if (!::localtime_r(&info.st_mtime, &local)) return {};
    char text[32];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) return {};
    return text;
}

}  // namespace vestrel
