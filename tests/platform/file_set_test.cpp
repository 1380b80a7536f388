#include "platform/file_set.h"

#include "platform/error.h"
#include "platform/folder_lock.h"
#include "platform/scratch_folder.h"
#include "support/kill_at_step.h"
#include "support/temp_dir.h"

#include <cerrno>
#include <csignal>
#include <map>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

using Files = std::map<std::string, std::string>;

Files Listed(const fs::path& dir) {
    Files files;
    for (const auto& entry : fs::directory_iterator(dir)) files[entry.path().filename().string()] = ReadFile(entry.path());
    return files;
}

const Files kBefore = {{"a.xml", "old a"}, {"b.xml", "old b"}};
const Files kAfter = {{"a.xml", "new a"}, {"b.xml", "new b"}, {"c.xml", "new c"}};

// Two files that stand there and one that the set adds.
std::vector<FileContent> NewSet(const fs::path& dir) {
    return {{dir / "a.xml", "new a"}, {dir / "b.xml", "new b"}, {dir / "c.xml", "new c"}};
}

void Lay(const fs::path& dir) {
    for (const auto& [name, text] : kBefore) WriteFile(dir / name, text);
}

struct Step {
    SetStep step;
    std::size_t file;
    bool recorded;  // the record is in place when the step is reached
};

// Every step of a commit of the set above, in order (c.xml has no old file
// to keep).
const Step kSteps[] = {
    {SetStep::Stage, 0, false}, {SetStep::Stage, 1, false}, {SetStep::Stage, 2, false},
    {SetStep::Keep, 0, false},  {SetStep::Keep, 1, false},  {SetStep::Record, 0, false},
    {SetStep::Place, 0, true},  {SetStep::Place, 1, true},  {SetStep::Place, 2, true},
    {SetStep::Clear, 0, true},  {SetStep::Tidy, 0, false},  {SetStep::Tidy, 1, false},
};

std::string Named(const Step& s) {
    static const char* names[] = {"Stage", "Keep", "Record", "Place", "Clear", "Tidy"};
    return std::string(names[static_cast<int>(s.step)]) + " " + std::to_string(s.file);
}

class SeamOff {
public:
    ~SeamOff() { SetFileSetStepHookForTesting({}); }
};

// Killed before any step, the folder holds the old set or, once the record
// is in place, the new one after the next run has finished it; nothing of
// the commit is left. Refused at any step, it is the old set at once, or the
// new one where the failure comes when every file is in place.
TEST(FileSet, AKillOrAFailureAtAnyStepLeavesTheOldSetOrTheNewOne) {
    SeamOff off;
    for (const Step& s : kSteps) {
        TempDir dir;
        Lay(dir.path());
        const int signal = test::RunInChildEndedBy(SIGKILL, [&](const std::function<void()>& die) {
            SetFileSetStepHookForTesting([&](SetStep step, std::size_t file) {
                if (step == s.step && file == s.file) die();
                return 0;
            });
            CommitFileSet(dir.path(), "import of signals", NewSet(dir.path()));
        });
        ASSERT_EQ(signal, SIGKILL) << Named(s);
        EXPECT_EQ(FindInterruptedSet(dir.path()).has_value(), s.recorded) << Named(s);
        const std::optional<FinishedSet> finished = FinishInterruptedSet(dir.path());
        const bool after = s.recorded || s.step == SetStep::Tidy;
        EXPECT_EQ(Listed(dir.path()), after ? kAfter : kBefore) << "killed at " << Named(s);
        if (s.recorded) {
            ASSERT_TRUE(finished) << Named(s);
            EXPECT_EQ(finished->outcome, FinishedSet::Outcome::Completed) << Named(s);
            EXPECT_EQ(finished->set.run, "import of signals");
        } else if (s.step == SetStep::Stage && s.file == 0) {
            EXPECT_FALSE(finished) << "nothing was laid down yet";
        } else {
            ASSERT_TRUE(finished) << "the hidden files of " << Named(s) << " are removed";
            EXPECT_EQ(finished->outcome, FinishedSet::Outcome::Tidied) << Named(s);
        }
        EXPECT_FALSE(FinishInterruptedSet(dir.path())) << "nothing is left after " << Named(s);

        TempDir refused;
        Lay(refused.path());
        SetFileSetStepHookForTesting([&](SetStep step, std::size_t file) {
            return step == s.step && file == s.file ? EIO : 0;
        });
        const bool throws = s.step != SetStep::Clear && s.step != SetStep::Tidy;
        if (throws)
            EXPECT_THROW(CommitFileSet(refused.path(), "import of signals", NewSet(refused.path())), Error) << Named(s);
        else
            EXPECT_NO_THROW(CommitFileSet(refused.path(), "import of signals", NewSet(refused.path()))) << Named(s);
        SetFileSetStepHookForTesting({});
        (void)FinishInterruptedSet(refused.path());
        EXPECT_EQ(Listed(refused.path()), throws ? kBefore : kAfter) << "refused at " << Named(s);
    }
}

// The hidden name of the new file `name` that a killed commit left.
fs::path LaidBeside(const fs::path& dir, const std::string& name) {
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind("." + name + ".vestrel-new-", 0) == 0) return entry.path();
    return {};
}

TEST(FileSet, ASetWhoseNewFileIsDamagedIsUndoneAndSaysWhy) {
    SeamOff off;
    TempDir dir;
    Lay(dir.path());
    ASSERT_EQ(test::RunInChildEndedBy(SIGKILL,
                                      [&](const std::function<void()>& die) {
                                          SetFileSetStepHookForTesting([&](SetStep step, std::size_t file) {
                                              if (step == SetStep::Place && file == 1) die();
                                              return 0;
                                          });
                                          CommitFileSet(dir.path(), "removal of signals", NewSet(dir.path()));
                                      }),
              SIGKILL);
    const fs::path c = LaidBeside(dir.path(), "c.xml");
    ASSERT_FALSE(c.empty());
    WriteFile(c, "new c, cut sho");
    const std::optional<FinishedSet> finished = FinishInterruptedSet(dir.path());
    ASSERT_TRUE(finished);
    EXPECT_EQ(finished->outcome, FinishedSet::Outcome::Undone);
    EXPECT_EQ(Listed(dir.path()), kBefore) << "a.xml, already in place, is put back";
    EXPECT_EQ(FinishedSetMessage(dir.path(), *finished),
              "The folder \"" + dir.path().string() +
                  "\" held an interrupted removal of signals that could not be completed (the new c.xml is "
                  "damaged); it is undone: a.xml, b.xml and c.xml are as before it");
}

// Only a run that can have the folder's lock at once finishes a set; while
// the writer holds it, the folder is refused, naming the set.
TEST(FileSet, SettlingFinishesASetOnlyWhenNoRunHoldsTheFolder) {
    SeamOff off;
    TempDir dir;
    Lay(dir.path());
    ASSERT_EQ(test::RunInChildEndedBy(SIGKILL,
                                      [&](const std::function<void()>& die) {
                                          SetFileSetStepHookForTesting([&](SetStep step, std::size_t) {
                                              if (step == SetStep::Place) die();
                                              return 0;
                                          });
                                          CommitFileSet(dir.path(), "import of signals", NewSet(dir.path()));
                                      }),
              SIGKILL);
    std::vector<std::string> heard;
    const ScopedSetNotices notices([&](const std::string& text) { heard.push_back(text); });
    {
        const FolderLocks writer({dir.path()}, FolderLocks::Wait::No);
        try {
            SettleFileSet(dir.path());
            ADD_FAILURE() << "a folder being written is refused";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), "The folder \"" + dir.path().string() +
                                                 "\" is being written by another run (import of signals: a.xml, "
                                                 "b.xml and c.xml); nothing was read from it. Try again when that "
                                                 "run has finished");
        }
        EXPECT_EQ(Listed(dir.path()).count("a.xml"), 1u);
        EXPECT_TRUE(heard.empty());
    }
    SettleFileSet(dir.path());
    EXPECT_EQ(Listed(dir.path()), kAfter);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], "The folder \"" + dir.path().string() +
                            "\" held an interrupted import of signals; it is now complete: a.xml, b.xml and c.xml "
                            "are as that run wrote them");
    SettleFileSet(dir.path());
    EXPECT_EQ(heard.size(), 1u) << "a whole folder says nothing";
}

TEST(FileSet, ARecordThatCannotBeReadStopsTheRun) {
    const struct {
        const char* text;
        const char* why;
    } cases[] = {
        {"", "it is empty"},
        // A record names nothing but the folder's own files and the hidden
        // files of sets: it cannot make a run remove or rename anything else.
        {"vestrel file set 1\nrun x\ntarget a.xml\nnew ../a\n", "line 4: '../a' is not the name of a file of a set"},
        {"vestrel file set 1\nrun x\ntarget a.xml\nnew notes.txt\n", "line 4: 'notes.txt' is not the name of a file of a set"},
        {"vestrel file set 1\nrun x\ntarget /home/x/.profile\n", "line 3: '/home/x/.profile' is not the name of a file"},
        {"vestrel file set 1\nrun x\ntarget ..\n", "line 3: '..' is not the name of a file"},
        {"vestrel file set 1\nrun x\nnew .a.vestrel-new-1\n", "line 3: 'new' before the first target"},
        {"vestrel file set 1\ntarget a.xml\nnew .a.vestrel-new-1\n", "the target"},
        {"vestrel file set 2\n", "line 1: it is not a record of a set of files this tool reads"},
        {"vestrel file set 1\nrun a%2", "it ends within a line"},
        {"vestrel file set 1\nrun a%zz\n", "line 2: a '%' is not followed by two hexadecimal digits"},
        {"vestrel file set 1\ntarget a.xml\nnew .a.vestrel-new-1\nsha256 ABC\n", "line 4: not a SHA-256"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteFile(dir / ".vestrel-set", c.text);
        try {
            SettleFileSet(dir.path());
            ADD_FAILURE() << c.text;
        } catch (const Error& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find("cannot be read: "), std::string::npos) << what;
            EXPECT_NE(what.find(c.why), std::string::npos) << what;
        }
    }
}

// A scratch folder goes with its run: at its end, on SIGTERM at once, and
// after SIGKILL with the next run that makes one.
TEST(ScratchFolder, NoRunLeavesItsFolderBehindForLong) {
    TempDir note;
    const auto leftBy = [&](int signal) {
        const int ended = test::RunInChildEndedBy(signal, [&](const std::function<void()>& die) {
            ScratchFolder scratch("vestrel-test-scratch-");
            scratch.Write("pargen.xml", "<GeneralParameter/>");
            WriteFile(note / "path", scratch.Path().string());
            die();
        });
        EXPECT_EQ(ended, signal);
        return fs::path(ReadFile(note / "path"));
    };
    const fs::path terminated = leftBy(SIGTERM);
    EXPECT_FALSE(fs::exists(terminated)) << terminated;
    const fs::path killed = leftBy(SIGKILL);
    EXPECT_TRUE(fs::exists(killed / "pargen.xml"));
    fs::path mine;
    {
        ScratchFolder next("vestrel-test-scratch-");
        mine = next.Path();
        EXPECT_FALSE(fs::exists(killed)) << "the next run removes what a killed one left";
        EXPECT_TRUE(fs::is_directory(mine));
    }
    EXPECT_FALSE(fs::exists(mine));
}

}  // namespace
}  // namespace vestrel
