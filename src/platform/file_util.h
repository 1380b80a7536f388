#pragma once

#include "platform/work_file.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vestrel {

// The separator the user sees in paths: "\" on Windows, "/" elsewhere.
inline constexpr char kPathSeparator =
    static_cast<char>(std::filesystem::path::preferred_separator);

// The platform's text for an errno value ("Permission denied").
std::string SystemMessage(int errorNumber);

bool FileExists(const std::filesystem::path& path);
bool DirectoryExists(const std::filesystem::path& path);

// Looks for `name` directly in `dir`, ignoring the letter case of ASCII
// letters. An exact match wins over a differently cased one. Only regular
// files (or links to them) are found.
std::optional<std::filesystem::path> FindFileNoCase(const std::filesystem::path& dir,
                                                    std::string_view name);

// The same lookup for a folder entry of any kind: a folder, a named pipe, a
// device or a link that leads nowhere is found too, so that the caller can
// tell "there is no such file" from "there is one, but it cannot be read".
std::optional<std::filesystem::path> FindEntryNoCase(const std::filesystem::path& dir,
                                                     std::string_view name);

// The path to write `name` to in `dir`: an existing file whose name differs
// only in letter case keeps its name, otherwise dir/name.
std::filesystem::path PathForWriteNoCase(const std::filesystem::path& dir, std::string_view name);

// Reads a whole file. Throws Error with the platform's reason.
std::string ReadWholeFile(const std::filesystem::path& path);

// Reads a whole regular file of at most `maxBytes` bytes. Refuses, before
// reading anything, what is not a regular file (a folder, a named pipe, a
// device, a link that leads nowhere) and a file above the limit, each with a
// message that names the file and says why.
std::string ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes);

// Writes a file so that a crash, a kill, a full disk or a refused write
// leaves either the old file or the new one, and nothing else: the data goes
// to a temporary file in the same folder that has no name (Linux O_TMPFILE)
// until it is complete, is flushed to disk and is then linked in place of the
// target. A target that is a symbolic link is written where the link leads
// (OutputTarget), and the link stays. Throws Error with the platform's reason.
void WriteFileAtomic(const std::filesystem::path& path, std::string_view data);

// One file of a set that is written as a whole (platform/file_set.h).
struct FileContent {
    std::filesystem::path path;
    std::string data;
};

// The steps of an atomic save, in order. Write is taken once per block
// written; the others once per save.
enum class SaveStep { Create, Write, Sync, Link, Replace, SyncFolder };

// A test seam: called before each step of every atomic save in the process.
// It returns 0 to let the step run, or an errno value to make the step fail
// as if the system had refused it with that error; it may also end the
// process there. EOPNOTSUPP at Create makes the save run as on a file system
// without nameless files. An empty function removes the seam.
void SetSaveStepHookForTesting(std::function<int(SaveStep)> hook);

// The streaming form of WriteFileAtomic, for outputs too large to build in
// memory. Nothing is visible under the target name until Commit(); an object
// destroyed without Commit() leaves nothing behind.
//
// Where the file system cannot make nameless files (FAT, some fuse mounts),
// the temporary file is a hidden one named after the target and the process
// (".NAME.vestrel-PID-XXXXXX"); the same name holds a finished file for the
// instant between linking it and renaming it over an existing target. SIGINT,
// SIGTERM and SIGHUP remove it before they end the process. The writer holds
// a lock on it while it writes; a process killed outright (SIGKILL, a power
// cut) leaves it unlocked, and the next save into that folder, for any
// target, removes it, whatever became of the process id.
class AtomicFileWriter {
public:
    // Whether Commit() flushes the data and the folder entry to disk. Short-
    // lived work files skip it: they are renamed whole, but a crash may lose them.
    enum class Sync { Durable, NoSync };

    // Creates the temporary file beside OutputTarget(target), the file it
    // replaces; throws Error("Cannot create file ...").
    explicit AtomicFileWriter(const std::filesystem::path& target, Sync sync = Sync::Durable);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Buffered; throws Error("Cannot write file ...") when the disk refuses.
    void Write(std::string_view data);
    // Writes out what is buffered and syncs it (unless Sync::NoSync): after
    // this the data is on disk, and only Commit() is left. Files that must
    // appear as one set are all completed before the first is committed.
    void Complete();
    // Completes the file if needed and puts it in place of the target.
    void Commit();
    // Completes the file if needed and gives it the name `path`, in the
    // target's folder, instead of the target's: the step in which a file of a
    // set is laid beside its place (platform/file_set.h). Nothing is
    // replaced: a file of that name makes it fail with EEXIST.
    void CommitAs(const std::filesystem::path& path);
    // Removes the temporary file; the target stays as it was.
    void Discard() noexcept;

    // The file it replaces: the target, or where the target's link leads.
    const std::filesystem::path& Target() const { return target_; }

private:
    void Flush();
    void OpenNamedTemporary();
    void LinkInPlace();
    void Place(const std::function<void()>& place);

    std::filesystem::path target_;
    std::filesystem::path temp_;  // the hidden name, while one exists
    int fd_ = -1;
    bool nameless_ = false;
    bool durable_ = true;
    bool completed_ = false;
    std::string buffer_;
    work_file::Guard guard_;  // removes temp_ on SIGINT, SIGTERM and SIGHUP
};

// Flushes a folder's entries to disk (its new, renamed and removed names),
// as far as the system lets it: the file in place is not undone by a failure.
void SyncFolder(const std::filesystem::path& dir);

// Makes the folder a run writes its outputs into, with the folders above it,
// unless it is there. Throws Error(CannotCreateFolderMessage) naming the
// folder and the system's reason ("Not a directory" where a file stands).
void RequireOutputFolder(const std::filesystem::path& dir);

// A path in double quotes, as messages name files.
std::string QuotedPath(const std::filesystem::path& path);

// Messages in the platform's words, shared by every writer so that the user
// always reads the same sentence for the same failure.
std::string CannotCreateMessage(const std::filesystem::path& path, int errorNumber);
std::string CannotWriteMessage(const std::filesystem::path& path, int errorNumber);
// "Cannot create folder ...": a folder a run writes into could not be made.
std::string CannotCreateFolderMessage(const std::filesystem::path& path, int errorNumber);
// "Cannot open file ...": the file could not be opened.
std::string CannotReadMessage(const std::filesystem::path& path, int errorNumber);
// "Cannot read file ...": it was opened, but reading it failed.
std::string ReadFailedMessage(const std::filesystem::path& path, int errorNumber);

}  // namespace vestrel
