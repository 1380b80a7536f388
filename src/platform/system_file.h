#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vestrel {

// A file the system opened, closed when this goes: the one place the
// readers and writers of files reach the system's calls (POSIX here; a port
// gives these calls its own handles). Failures set errno, which the file
// messages (CannotReadMessage and the others) name.
class SystemFile {
public:
    enum class Mode {
        Read,
        CreateOrTruncate,  // for writing, made with the user's umask
    };

    SystemFile() = default;
    // Opens `path`; IsOpen() says whether it did, errno why not.
    SystemFile(const std::filesystem::path& path, Mode mode);
    // The process's standard input, which this never closes.
    static SystemFile StandardInput();

    ~SystemFile();
    SystemFile(SystemFile&& other) noexcept;
    SystemFile& operator=(SystemFile&& other) noexcept;
    SystemFile(const SystemFile&) = delete;
    SystemFile& operator=(const SystemFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    // Reads what one call gives, up to `size` bytes (0 at the end), again
    // when a signal interrupts it; -1 on a failure.
    std::ptrdiff_t ReadSome(char* data, std::size_t size);
    // Reads until `size` bytes or the end; the count, or -1 on a failure.
    std::ptrdiff_t ReadFully(char* data, std::size_t size);
    // Writes what one call takes (at least a byte), again when a signal
    // interrupts it; -1 on a failure, 0 when nothing could be written.
    std::ptrdiff_t WriteSome(const char* data, std::size_t size);
    // Back to the first byte; false on a failure.
    bool Rewind();
    // The size of a regular file; nothing for a pipe, a device or a failure.
    std::optional<std::uint64_t> RegularFileSize() const;
    // Tells the system the file is read once from start to end.
    void AdviseSequential();

    // The descriptor, for an event loop that waits on it.
    int Descriptor() const { return fd_; }

private:
    int fd_ = -1;
    bool owned_ = false;
};

// Whether this process may both read and write `path` (a serial port).
bool MayReadAndWrite(const std::filesystem::path& path);
// Whether this process may make files in the folder `dir`.
bool MayWriteIn(const std::filesystem::path& dir);
// Whether standard error is a terminal, where colours and progress go.
bool StandardErrorIsTerminal();
// The time of the file's last change in local time, "2026-12-11 09:30:00",
// or nothing when the system cannot say.
std::string LocalChangeTimeText(const std::filesystem::path& path);

}  // namespace vestrel
