#pragma once

#include "platform/system_file.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace vestrel {

// Reads a file one chunk at a time, so that reading it takes the same memory
// whatever its size.
class FileChunks {
public:
    static constexpr std::size_t kChunkSize = std::size_t{1} << 16;

    // Throws Error("Cannot open file ...") when the file cannot be opened.
    explicit FileChunks(const std::filesystem::path& path);
    ~FileChunks();
    FileChunks(const FileChunks&) = delete;
    FileChunks& operator=(const FileChunks&) = delete;

    // The next piece of the file, valid until the next call; empty at the
    // end. Throws Error("Cannot read file ...") when the file cannot be read
    // (a folder, an I/O error).
    std::string_view Next();

private:
    std::filesystem::path path_;
    SystemFile file_;
    std::unique_ptr<char[]> buffer_;
};

}  // namespace vestrel
