#include "editors/file_chunks.h"

#include "platform/error.h"
#include "platform/file_util.h"

#include <cerrno>
#include <string>

namespace vestrel {

FileChunks::FileChunks(const std::filesystem::path& path) : path_(path) {
    file_ = SystemFile(path, SystemFile::Mode::Read);
    if (!file_.IsOpen()) throw Error(CannotReadMessage(path, errno));
    buffer_ = std::make_unique<char[]>(kChunkSize);
}

FileChunks::~FileChunks() = default;

std::string_view FileChunks::Next() {
    const std::ptrdiff_t n = file_.ReadSome(buffer_.get(), kChunkSize);
    if (n < 0) throw Error(ReadFailedMessage(path_, errno));
    return {buffer_.get(), static_cast<std::size_t>(n)};
}

}  // namespace vestrel
