#include "platform/file_set.h"

#include "platform/error.h"
#include "platform/folder_lock.h"
#include "platform/output_file.h"
#include "platform/result.h"
#include "platform/sha256.h"
#include "platform/text.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <utility>

namespace vestrel {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kRecordHeading = "vestrel file set 1";
constexpr std::string_view kNewMark = ".vestrel-new-";
constexpr std::string_view kOldMark = ".vestrel-old-";
// Project files are small; a record names a few of them.
constexpr std::size_t kMaxSetFileBytes = std::size_t{256} << 20;
constexpr std::size_t kMaxRecordBytes = std::size_t{64} << 10;

std::mutex seamMutex;
std::function<int(SetStep, std::size_t)> stepHook;
SetNoticeListener noticeListener;

int StepSeam(SetStep step, std::size_t file) {
    std::function<int(SetStep, std::size_t)> hook;
    {
        std::lock_guard lock(seamMutex);
        hook = stepHook;
    }
    return hook ? hook(step, file) : 0;
}

void Notify(const std::string& text) {
    SetNoticeListener listener;
    {
        std::lock_guard lock(seamMutex);
        listener = noticeListener;
    }
    if (listener) listener(text);
}

// One file of a set as its record names it: `name` in the set's folder, the
// file that writing it replaces (`target`, where a link leads), and the
// hidden names beside the target of the new file and of the old one (`kept`
// is empty when there was no old file).
struct Entry {
    std::string name;
    fs::path target;
    std::string fresh, kept;
    std::string digest;

    fs::path Fresh() const { return target.parent_path() / fresh; }
    fs::path Kept() const { return target.parent_path() / kept; }
};

struct Record {
    std::string run;
    std::vector<Entry> entries;
};

// Paths and the run's name on one line each: a per cent sign and line
// breaks are written as %25, %0A and %0D.
std::string Encoded(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '%' || c == '\n' || c == '\r') {
            out += '%';
            out += UpperHexDigit(static_cast<unsigned char>(c) >> 4);
            out += UpperHexDigit(static_cast<unsigned char>(c));
        } else {
            out += c;
        }
    }
    return out;
}

Result<std::string> Decoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || HexDigitValue(text[i + 1]) < 0 || HexDigitValue(text[i + 2]) < 0)
            return Failure{"a '%' is not followed by two hexadecimal digits"};
        out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
        i += 2;
    }
    return out;
}

// A file of the folder by its name, one elsewhere by its path.
std::string TargetText(const fs::path& folder, const fs::path& target) {
    return target.parent_path() == folder ? target.filename().string() : target.string();
}

// Files are named as they stand in the set's folder, so that a folder moved
// as a whole keeps a record that still holds, and so that no record can name
// a file that the folder does not lead to.
std::string RecordText(const Record& record) {
    std::string text = std::string(kRecordHeading) + "\nrun " + Encoded(record.run) + "\n";
    for (const Entry& e : record.entries) {
        text += "target " + Encoded(e.name) + "\n";
        text += "new " + Encoded(e.fresh) + "\n";
        if (!e.kept.empty()) text += "old " + Encoded(e.kept) + "\n";
        text += "sha256 " + e.digest + "\n";
    }
    return text;
}

bool IsDigest(std::string_view text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), IsLowerHexDigit);
}

// A name the record may give a file: no folder, nothing that climbs.
bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The hidden name of a new or an old file of a set: nothing else is ever
// renamed or removed because a record says so.
bool IsSetFileName(const std::string& name, std::string_view mark) {
    return IsPlainName(name) && name[0] == '.' && name.find(mark) != std::string::npos;
}

Result<Record> ParseRecord(const fs::path& folder, std::string_view text) {
    Record record;
    std::size_t lineNumber = 0;
    bool headed = false;
    for (std::string_view rest = text; !rest.empty();) {
        const std::size_t end = rest.find('\n');
        if (end == std::string_view::npos) return Failure{"it ends within a line"};
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        ++lineNumber;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (!headed) {
            if (line != kRecordHeading) return Failure{where + "it is not a record of a set of files this tool reads"};
            headed = true;
            continue;
        }
        const std::size_t blank = line.find(' ');
        const std::string_view key = line.substr(0, blank);
        const Result<std::string> value = Decoded(blank == std::string_view::npos ? "" : line.substr(blank + 1));
        if (!value) return Failure{where + value.Why()};
        if (key == "run") {
            record.run = *value;
        } else if (key == "target") {
            if (!IsPlainName(*value)) return Failure{where + "'" + *value + "' is not the name of a file"};
            try {
                record.entries.push_back({*value, OutputTarget(folder / *value), {}, {}, {}});
            } catch (const Error& e) {
                return Failure{where + e.what()};
            }
        } else if (record.entries.empty()) {
            return Failure{where + "'" + std::string(key) + "' before the first target"};
        } else if (key == "new" || key == "old") {
            if (!IsSetFileName(*value, key == "new" ? kNewMark : kOldMark))
                return Failure{where + "'" + *value + "' is not the name of a file of a set"};
            (key == "new" ? record.entries.back().fresh : record.entries.back().kept) = *value;
        } else if (key == "sha256") {
            if (!IsDigest(*value)) return Failure{where + "not a SHA-256 in lower-case hexadecimal digits"};
            record.entries.back().digest = *value;
        } else {
            return Failure{where + "unknown key '" + std::string(key) + "'"};
        }
    }
    if (!headed) return Failure{"it is empty"};
    for (const Entry& e : record.entries)
        if (e.fresh.empty() || e.digest.empty())
            return Failure{"the target " + QuotedPath(e.target) + " has no new file or no SHA-256"};
    return record;
}

fs::path RecordPath(const fs::path& folder) { return folder / std::string(kFileSetRecord); }

bool Exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::optional<Record> ReadRecord(const fs::path& folder) {
    const fs::path path = RecordPath(folder);
    if (!Exists(path)) return std::nullopt;
    Result<Record> record = ParseRecord(folder, ReadRegularFile(path, kMaxRecordBytes));
    if (!record) throw Error("The record of a set of files " + QuotedPath(path) + " cannot be read: " + record.Why());
    return std::move(*record);
}

// Whether the file at `path` holds the content of that digest.
bool Holds(const fs::path& path, const std::string& digest) {
    if (!Exists(path)) return false;
    return Sha256Hex(ReadRegularFile(path, kMaxSetFileBytes)) == digest;
}

void Rename(const fs::path& from, const fs::path& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) throw Error(CannotCreateMessage(to, errno));
    // Two links to one file: rename leaves both, so the spare one goes.
    if (Exists(from)) ::unlink(from.c_str());
}

void Remove(const fs::path& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        throw Error("Cannot remove file " + QuotedPath(path) + ". " + SystemMessage(errno));
}

void SyncFolders(const fs::path& folder, const std::vector<Entry>& entries) {
    std::set<fs::path> folders{folder};
    for (const Entry& e : entries) folders.insert(e.target.parent_path());
    for (const fs::path& f : folders) SyncFolder(f);
}

std::string FileNames(const fs::path& folder, const std::vector<fs::path>& files) {
    std::vector<std::string> names;
    for (const fs::path& file : files) names.push_back(TargetText(folder, file));
    return JoinedWithAnd(names);
}

InterruptedSet Described(const fs::path& folder, const Record& record) {
    InterruptedSet set{record.run, {}};
    for (const Entry& e : record.entries) set.files.push_back(folder / e.name);
    return set;
}

// Why the set cannot be completed, or nothing when every new file is there
// whole (still beside its place, or in it already).
std::optional<std::string> MissingPart(const Record& record) {
    for (const Entry& e : record.entries) {
        const bool beside = Exists(e.Fresh());
        if (beside ? Holds(e.Fresh(), e.digest) : Holds(e.target, e.digest)) continue;
        return "the new " + e.name + " is " + (beside ? "damaged" : "missing");
    }
    return std::nullopt;
}

void Complete(const fs::path& folder, const Record& record) {
    for (const Entry& e : record.entries)
        if (Exists(e.Fresh())) Rename(e.Fresh(), e.target);
    SyncFolders(folder, record.entries);
    Remove(RecordPath(folder));
    SyncFolder(folder);
    for (const Entry& e : record.entries)
        if (!e.kept.empty()) Remove(e.Kept());
}

void Undo(const fs::path& folder, const Record& record) {
    for (const Entry& e : record.entries) {
        if (!e.kept.empty()) {
            if (!Exists(e.Kept()))
                throw Error("The old " + e.name + " of an interrupted " + record.run +
                            " is missing: " + QuotedPath(e.Kept()));
            Rename(e.Kept(), e.target);
        } else if (Holds(e.target, e.digest)) {
            Remove(e.target);  // the run made it; there was none before
        }
        Remove(e.Fresh());
    }
    SyncFolders(folder, record.entries);
    Remove(RecordPath(folder));
    SyncFolder(folder);
}

bool IsSetFileName(const std::string& name) { return IsSetFileName(name, kNewMark) || IsSetFileName(name, kOldMark); }

// Removes the hidden files of sets in `folder` that no record names; true
// when there were any.
bool RemoveStrays(const fs::path& folder) {
    bool any = false;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        if (!IsSetFileName(entry.path().filename().string())) continue;
        Remove(entry.path());
        any = true;
    }
    return any;
}

bool HasStrays(const fs::path& folder) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
        if (IsSetFileName(entry.path().filename().string())) return true;
    return false;
}

// A hidden name beside `target` for the new or the old file, one that is
// not taken.
fs::path FreeName(const fs::path& target, std::string_view mark) {
    const std::string stem = "." + target.filename().string() + std::string(mark) + std::to_string(::getpid()) + "-";
    for (int n = 0;; ++n) {
        fs::path candidate = target.parent_path() / (stem + std::to_string(n));
        if (!Exists(candidate)) return candidate;
    }
}

// Gives the old file a second name; where the file system has no hard
// links, a copy.
void Keep(const fs::path& target, const fs::path& kept) {
    if (::link(target.c_str(), kept.c_str()) == 0) return;
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK) throw Error(CannotCreateMessage(kept, errno));
    AtomicFileWriter copy(target);
    copy.Write(ReadRegularFile(target, kMaxSetFileBytes));
    copy.CommitAs(kept);
}

void Fail(SetStep step, std::size_t file, const fs::path& path) {
    if (int fault = StepSeam(step, file)) throw Error(CannotCreateMessage(path, fault));
}

// Removes what a commit laid down before its record; the old files stand.
void Abandon(const std::vector<Entry>& entries) noexcept {
    for (const Entry& e : entries) {
        if (!e.fresh.empty()) ::unlink(e.Fresh().c_str());
        if (!e.kept.empty()) ::unlink(e.Kept().c_str());
    }
}

}  // namespace

void SetFileSetStepHookForTesting(std::function<int(SetStep, std::size_t)> hook) {
    std::lock_guard lock(seamMutex);
    stepHook = std::move(hook);
}

ScopedSetNotices::ScopedSetNotices(SetNoticeListener listener) {
    std::lock_guard lock(seamMutex);
    earlier_ = std::exchange(noticeListener, std::move(listener));
}

ScopedSetNotices::~ScopedSetNotices() {
    std::lock_guard lock(seamMutex);
    noticeListener = std::move(earlier_);
}

std::optional<InterruptedSet> FindInterruptedSet(const fs::path& folder) {
    const std::optional<Record> record = ReadRecord(folder);
    if (!record) return std::nullopt;
    return Described(folder, *record);
}

std::optional<FinishedSet> FinishInterruptedSet(const fs::path& folder) {
    std::optional<FinishedSet> finished;
    if (const std::optional<Record> record = ReadRecord(folder)) {
        finished = FinishedSet{FinishedSet::Outcome::Completed, Described(folder, *record), {}};
        if (const std::optional<std::string> missing = MissingPart(*record)) {
            Undo(folder, *record);
            finished->outcome = FinishedSet::Outcome::Undone;
            finished->why = *missing;
        } else {
            Complete(folder, *record);
        }
    }
    if (RemoveStrays(folder) && !finished) finished = FinishedSet{FinishedSet::Outcome::Tidied, {}, {}};
    return finished;
}

std::string FinishedSetMessage(const fs::path& folder, const FinishedSet& f) {
    const std::string where = "The folder " + QuotedPath(folder);
    const std::string files = FileNames(folder, f.set.files);
    switch (f.outcome) {
        case FinishedSet::Outcome::Completed:
            return where + " held an interrupted " + f.set.run + "; it is now complete: " + files +
                   (f.set.files.size() == 1 ? " is" : " are") + " as that run wrote them";
        case FinishedSet::Outcome::Undone:
            return where + " held an interrupted " + f.set.run + " that could not be completed (" + f.why +
                   "); it is undone: " + files + (f.set.files.size() == 1 ? " is" : " are") + " as before it";
        case FinishedSet::Outcome::Tidied:
            break;
    }
    return where + " held the files of a run that stopped before any of them took its place; they are removed, "
                   "and the folder is as before that run";
}

void SettleFileSetLocked(const fs::path& folder) {
    if (const std::optional<FinishedSet> earlier = FinishInterruptedSet(folder))
        Notify(FinishedSetMessage(folder, *earlier));
}

void CommitFileSet(const fs::path& folder, std::string_view run, const std::vector<FileContent>& files) {
    SettleFileSetLocked(folder);
    Record record{std::string(run), {}};
    std::vector<std::unique_ptr<AtomicFileWriter>> writers;
    for (const FileContent& file : files) {
        writers.push_back(std::make_unique<AtomicFileWriter>(file.path));
        writers.back()->Write(file.data);
        writers.back()->Complete();
        if (file.path.parent_path() != folder)
            throw std::logic_error("a file of a set lies outside its folder: " + file.path.string());
        record.entries.push_back({file.path.filename().string(), writers.back()->Target(), {}, {}, Sha256Hex(file.data)});
    }
    try {
        for (std::size_t i = 0; i < writers.size(); ++i) {
            Entry& e = record.entries[i];
            const fs::path fresh = FreeName(e.target, kNewMark);
            Fail(SetStep::Stage, i, fresh);
            writers[i]->CommitAs(fresh);
            e.fresh = fresh.filename().string();
        }
        for (std::size_t i = 0; i < record.entries.size(); ++i) {
            Entry& e = record.entries[i];
            if (!Exists(e.target)) continue;
            const fs::path kept = FreeName(e.target, kOldMark);
            Fail(SetStep::Keep, i, kept);
            Keep(e.target, kept);
            e.kept = kept.filename().string();
        }
        SyncFolders(folder, record.entries);
        Fail(SetStep::Record, 0, RecordPath(folder));
        WriteFileAtomic(RecordPath(folder), RecordText(record));
    } catch (...) {
        Abandon(record.entries);
        throw;
    }
    // The set counts as written from here: a failure puts the old files back.
    try {
        for (std::size_t i = 0; i < record.entries.size(); ++i) {
            Fail(SetStep::Place, i, record.entries[i].target);
            Rename(record.entries[i].Fresh(), record.entries[i].target);
        }
    } catch (...) {
        try {
            Undo(folder, record);
        } catch (const Error&) {
            // The record stays: the next run that holds the lock finishes the set.
        }
        throw;
    }
    SyncFolders(folder, record.entries);
    if (StepSeam(SetStep::Clear, 0) != 0 || ::unlink(RecordPath(folder).c_str()) != 0)
        return;  // every file is in place; the next run finds the set complete
    SyncFolder(folder);
    for (std::size_t i = 0; i < record.entries.size(); ++i) {
        const Entry& e = record.entries[i];
        if (e.kept.empty() || StepSeam(SetStep::Tidy, i) != 0) continue;
        ::unlink(e.Kept().c_str());  // one left behind is removed by the next run
    }
}

void SettleFileSet(const fs::path& folder) {
    work_file::RemoveAbandoned(folder);
    const bool recorded = Exists(RecordPath(folder));
    if (!recorded && !HasStrays(folder)) return;
    std::optional<FinishedSet> finished;
    try {
        FolderLocks lock({folder}, FolderLocks::Wait::No);
        finished = FinishInterruptedSet(folder);
    } catch (const FolderBusy&) {
        if (!recorded) return;  // a run is laying its files beside their places; the old ones stand
        const std::optional<InterruptedSet> set = FindInterruptedSet(folder);
        throw Error("The folder " + QuotedPath(folder) + " is being written by another run" +
                    (set ? " (" + set->run + ": " + FileNames(folder, set->files) + ")" : std::string()) +
                    "; nothing was read from it. Try again when that run has finished");
    } catch (const Error& e) {
        throw Error("The folder " + QuotedPath(folder) +
                    " holds an interrupted set of files that this run cannot complete or undo: " + e.what() +
                    ". Nothing was read from it");
    }
    if (finished) Notify(FinishedSetMessage(folder, *finished));
}

}  // namespace vestrel
