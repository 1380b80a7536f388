#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vestrel {

// The separator the user sees in paths: "\" on Windows, "/" elsewhere.
inline constexpr char kPathSeparator =
    static_cast<char>(std::filesystem::path::preferred_separator);

// The platform's text for an errno value ("Permission denied").
std::string SystemMessage(int errorNumber);

bool FileExists(const std::filesystem::path& path);
bool DirectoryExists(const std::filesystem::path& path);

// Looks for `name` directly in `dir`, ignoring the letter case of ASCII
// letters. An exact match wins over a differently cased one.
std::optional<std::filesystem::path> FindFileNoCase(const std::filesystem::path& dir,
                                                    std::string_view name);

// The path to write `name` to in `dir`: an existing file whose name differs
// only in letter case keeps its name, otherwise dir/name.
std::filesystem::path PathForWriteNoCase(const std::filesystem::path& dir, std::string_view name);

// Reads a whole file. Throws Error with the platform's reason.
std::string ReadWholeFile(const std::filesystem::path& path);

// Writes a file so that a crash, a full disk or a refused write leaves either
// the old file or the new one: the data goes to a temporary file in the same
// folder, is flushed to disk and then renamed over the target. The temporary
// file is removed on failure. Throws Error with the platform's reason.
void WriteFileAtomic(const std::filesystem::path& path, std::string_view data);

// The streaming form of WriteFileAtomic, for outputs too large to build in
// memory. Nothing is visible under the target name until Commit(); an object
// destroyed without Commit() removes its temporary file.
class AtomicFileWriter {
public:
    // Whether Commit() flushes the data and the folder entry to disk. Short-
    // lived work files skip it: they are renamed whole, but a crash may lose them.
    enum class Sync { Durable, NoSync };

    // Creates the temporary file; throws Error("Cannot create file ...").
    explicit AtomicFileWriter(std::filesystem::path target, Sync sync = Sync::Durable);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Buffered; throws Error("Cannot write file ...") when the disk refuses.
    void Write(std::string_view data);
    // Flushes, syncs (unless Sync::NoSync) and renames the temporary file over
    // the target.
    void Commit();
    // Removes the temporary file; the target stays as it was.
    void Discard() noexcept;

    const std::filesystem::path& Target() const { return target_; }

private:
    void Flush();

    std::filesystem::path target_;
    std::filesystem::path temp_;
    int fd_ = -1;
    bool durable_ = true;
    std::string buffer_;
};

// Messages in the platform's words, shared by every writer so that the user
// always reads the same sentence for the same failure.
std::string CannotCreateMessage(const std::filesystem::path& path, int errorNumber);
std::string CannotWriteMessage(const std::filesystem::path& path, int errorNumber);
std::string CannotReadMessage(const std::filesystem::path& path, int errorNumber);

}  // namespace vestrel
