#include "editors/file_chunks.h"

#include "platform/error.h"
#include "platform/file_util.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace vestrel {

FileChunks::FileChunks(const std::filesystem::path& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw Error(CannotReadMessage(path, errno));
    buffer_ = std::make_unique<char[]>(kChunkSize);
}

FileChunks::~FileChunks() {
    if (fd_ >= 0) ::close(fd_);
}

std::string_view FileChunks::Next() {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer_.get(), kChunkSize);
        if (n >= 0) return {buffer_.get(), static_cast<std::size_t>(n)};
        if (errno != EINTR) throw Error(ReadFailedMessage(path_, errno));
    }
}

}  // namespace vestrel
