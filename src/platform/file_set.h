#pragma once

#include "platform/file_util.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Files that take their places as one set (the files of a project that an
// import of signals changes, a decoded project): after a kill, a power cut or
// a full disk the folder holds every old file or every new one, never a mix.
//
// A commit writes each new file in full beside its place under a hidden name
// (".NAME.vestrel-new-..."), keeps each old one under another
// (".NAME.vestrel-old-...", a second link to the same file), and then writes
// the set's record, ".vestrel-set" in the set's folder, naming every file and
// the SHA-256 of its new content. From then on the set counts as written:
// the new files are renamed into their places one after another, the record
// is removed, and the old files with it. A run that finds a record completes
// the set when every new file is there whole, and otherwise puts the old
// files back; a run that finds hidden files but no record removes them, the
// set having stopped before anything took its place. Only a run that holds
// the folder's lock (FolderLocks) does either.
namespace vestrel {

inline constexpr std::string_view kFileSetRecord = ".vestrel-set";

// The steps of a commit, in order. Stage, Keep, Place and Tidy are taken
// once per file (in the order given), Record and Clear once.
enum class SetStep { Stage, Keep, Record, Place, Clear, Tidy };

// A test seam: called before each step with the step and the file's
// position (0 for Record and Clear). It returns 0 to let the step run or an
// errno value to make it fail as if the system had refused it; it may also
// end the process there. An empty function removes the seam.
void SetFileSetStepHookForTesting(std::function<int(SetStep, std::size_t)> hook);

// Writes `files` as one set whose record lies in `folder`. `run` names the
// run for whoever finds it interrupted ("import of signals"). The caller
// holds the FolderLocks of `folder` and of the folders the files lie in; a
// set that an earlier run left interrupted is finished first. Throws Error
// naming the file that could not be written: a failure before the record
// leaves the old files and nothing else, a failure after it puts the old
// files back.
void CommitFileSet(const std::filesystem::path& folder, std::string_view run, const std::vector<FileContent>& files);

// A set whose record is in place: what its run was and the files it writes.
struct InterruptedSet {
    std::string run;
    std::vector<std::filesystem::path> files;
};

// The set recorded in `folder`, or nothing. Throws Error when the record is
// there but cannot be read.
std::optional<InterruptedSet> FindInterruptedSet(const std::filesystem::path& folder);

// What finishing an interrupted set did.
struct FinishedSet {
    enum class Outcome {
        Completed,  // every new file was there whole: the set is as its run wrote it
        Undone,     // one was not: the old files are back
        Tidied,     // no record, only the hidden files of a run that stopped before it: removed
    };
    Outcome outcome = Outcome::Completed;
    InterruptedSet set;  // empty for Tidied
    std::string why;     // for Undone: why the set could not be completed
};

// Completes or undoes the set recorded in `folder` and removes the hidden
// files that no record names. The caller holds the folder's lock. Nothing
// when there was nothing to do. Throws Error when the files cannot be put in
// any whole state (a folder that cannot be written, say).
std::optional<FinishedSet> FinishInterruptedSet(const std::filesystem::path& folder);

// What a run says it found and did, naming the folder and the files.
std::string FinishedSetMessage(const std::filesystem::path& folder, const FinishedSet& finished);

// Makes `folder` safe to read before a run uses it: removes work files that
// no writer holds, and when a set is interrupted there, finishes it if the
// folder's lock can be had at once, telling the set notice listener what it
// did. Throws Error naming the set while another run holds the lock with its
// record in place (the set is being written), and when the set cannot be
// finished; the folder must then not be used.
void SettleFileSet(const std::filesystem::path& folder);

// The same for a run that holds the folder's lock already and is about to
// write into it: finishes what an earlier run left and tells the listener.
void SettleFileSetLocked(const std::filesystem::path& folder);

// Who hears what SettleFileSet did: vestrel-cli says it as a note, the
// application in a message. While none is set, nobody does.
using SetNoticeListener = std::function<void(const std::string&)>;

// Sets the listener for as long as the object lives, then gives the earlier
// one back.
class ScopedSetNotices {
public:
    explicit ScopedSetNotices(SetNoticeListener listener);
    ~ScopedSetNotices();
    ScopedSetNotices(const ScopedSetNotices&) = delete;
    ScopedSetNotices& operator=(const ScopedSetNotices&) = delete;

private:
    SetNoticeListener earlier_;
};

}  // namespace vestrel
