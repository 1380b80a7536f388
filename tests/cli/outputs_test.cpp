// What every writing command promises about its outputs: never one of its
// inputs, never anything from a folder that is not a project, written where
// a link leads, and under the lock of the folder it goes to.
#include "cli/cli.h"

#include "platform/file_set.h"
#include "platform/folder_lock.h"

#include "support/kill_at_step.h"

#include "support/cli_run.h"
#include "support/temp_dir.h"

#include <csignal>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

using Result = test::CliRun;
using test::Cli;

const fs::path kExamples = VESTREL_EXAMPLES_DIR;

// Every file under `dir` with its bytes: what a refused run must leave as it was.
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        files[fs::relative(e.path(), dir).string()] =
            e.is_symlink() ? "-> " + fs::read_symlink(e.path()).string() : e.is_regular_file() ? ReadFile(e.path()) : "/";
    return files;
}

// The demo workspace, built and updated once, with a log beside it.
class CliOutputs : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(kExamples / "workspace", ws.path(), fs::copy_options::recursive);
        fs::copy_file(kExamples / "demo-bus.log", ws / "bus.log");
        ASSERT_EQ(Cli({"update", Demo().string(), Base().string()}).status, kExitOk);
    }
    fs::path Demo() const { return ws / "PROJECTS" / "Demo"; }
    fs::path Base() const { return ws / "MASTER" / "SX58316.sx"; }
    std::string S(const fs::path& p) const { return p.string(); }

    TempDir ws;
};

TEST_F(CliOutputs, NoCommandWritesOverOneOfItsInputs) {
    const fs::path bin = Demo() / "bin";
    const fs::path image = Demo() / "New_SX58316.sx";
    fs::create_hard_link(ws / "bus.log", ws / "hard.log");
    fs::create_hard_link(ws / "bus.log", ws / "hard.html");
    fs::create_symlink("pargen.xml", Demo() / "settings.xml");
    fs::create_symlink("pargen.xml", Demo() / "settings.svg");
    // What the imported registers mean is an input too, under every name.
    fs::copy_file(kExamples / "demo-drive.dbc", ws / "drive.dbc");
    ASSERT_EQ(Cli({"import-signals", S(Demo()), S(ws / "drive.dbc"), "--receive", "DriveDiagnostics"}).status, kExitOk);
    fs::create_symlink("signals.xml", Demo() / "meaning.xml");
    fs::create_hard_link(Demo() / "signals.xml", ws / "meaning.xml");
    // ... and so is the database an import reads.
    fs::create_directories(ws / "P3");
    fs::copy(Demo() / "pargen.xml", ws / "P3" / "pargen.xml");
    fs::create_hard_link(ws / "drive.dbc", ws / "P3" / "signals.xml");
    const std::vector<std::vector<std::string>> refused{
        {"replay", S(Demo()), S(ws / "bus.log"), "--out", S(ws / "bus.log")},
        {"replay", S(Demo()), S(ws / "bus.log"), "--out", S(ws / "." / "bus.log")},
        {"replay", S(Demo()), S(ws / "bus.log"), "--out", S(ws / "hard.log")},
        {"report", S(image), "--out", S(image)},
        {"report", S(Demo()), "--format", "csv", "--out", S(Demo() / "pargen.xml")},
        {"report", S(Demo()), "--format", "csv", "--out", S(Demo() / "RInfoCob.XML")},
        {"report", S(Demo()), "--format", "csv", "--out", S(Demo() / "settings.xml")},
        {"report", S(bin), "--out", S(bin / "banks.sha256")},
        {"report", S(Demo()), "--out", S(Demo() / "signals.xml")},
        {"report", S(Demo()), "--out", S(Demo() / "Signals.XML")},
        {"report", S(Demo()), "--out", S(Demo() / "meaning.xml")},
        {"report", S(Demo()), "--out", S(ws / "meaning.xml")},
        {"replay", S(Demo()), S(ws / "bus.log"), "--out", S(Demo() / "signals.xml")},
        {"plot", S(Demo()), S(ws / "bus.log"), "--out", S(ws / "hard.html")},
        {"plot", S(Demo()), S(ws / "bus.log"), "--out", S(Demo() / "settings.svg")},
        {"import-signals", S(ws / "P3"), S(ws / "drive.dbc"), "--receive", "DriveStatus"},
        {"merge", S(Base()), S(bin), S(bin / "bankg.c")},
        {"merge", S(Base()), S(bin), S(bin / "bank5.bin")},
        {"update", S(Demo()), S(bin / "bank1.bin")},
    };
    for (const auto& args : refused) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const auto before = Snapshot(ws.path());
        const Result r = Cli(args);
        EXPECT_EQ(r.status, kExitFailed);
        EXPECT_NE(r.err.find("the run reads"), std::string::npos) << r.err;
        EXPECT_TRUE(Snapshot(ws.path()) == before) << "a refused run wrote something";
    }
    // An output file that links to an input, and a build whose bank file is
    // a hard link to a project file, are refused the same way.
    fs::remove(bin / "bankg.c");
    fs::create_symlink(fs::absolute(Base()), bin / "bankg.c");
    fs::create_directories(ws / "P2");
    fs::copy(Demo() / "RCobDef.xml", ws / "P2" / "RCobDef.xml");
    fs::create_directories(ws / "P2" / "bin");
    fs::create_hard_link(ws / "P2" / "RCobDef.xml", ws / "P2" / "bin" / "bank1.bin");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"update", S(Demo()), S(Base())}, {"build", S(ws / "P2")}}) {
        const auto before = Snapshot(ws.path());
        const Result r = Cli(args);
        EXPECT_EQ(r.status, kExitFailed) << args[0];
        EXPECT_NE(r.err.find("which the run reads; nothing was written"), std::string::npos) << r.err;
        EXPECT_TRUE(Snapshot(ws.path()) == before) << args[0] << " wrote something";
    }
}

// A project that a killed import left half written is never used as it
// stands: while the writer's lock is held every command refuses it, naming
// the set; the next command that can have the lock completes it and says so.
// A work file that a killed save left goes too.
TEST_F(CliOutputs, NoCommandUsesAProjectThatAKilledRunLeftHalfWritten) {
    fs::copy_file(kExamples / "demo-drive.dbc", ws / "drive.dbc");
    const std::vector<std::string> import{"import-signals", S(Demo()), S(ws / "drive.dbc"), "--receive",
                                          "DriveDiagnostics,DriveParameters"};
    const int ended = test::RunInChildEndedBy(SIGKILL, [&](const std::function<void()>& die) {
        SetFileSetStepHookForTesting([&](SetStep step, std::size_t file) {
            if (step == SetStep::Place && file == 1) die();
            return 0;
        });
        Cli(import);
    });
    ASSERT_EQ(ended, SIGKILL);
    WriteFile(Demo() / ".RCobDef.xml.vestrel-999999-0L", "<COBID/>");
    const std::string set = "import of signals: RCobDef.xml, RInfoCob.xml and signals.xml";
    {
        const FolderLocks writer({Demo()}, FolderLocks::Wait::No);
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"check", S(Demo())},
                 {"build", S(Demo()), "--no-wait"},
                 {"preview", S(Demo()), "181#11"},
                 {"report", S(Demo())},
                 {"replay", S(Demo()), S(ws / "bus.log")},
                 {"import-signals", S(Demo()), S(ws / "drive.dbc"), "--receive", "DriveStatus", "--no-wait"},
                 {"remove-signals", S(Demo()), "DriveDiagnostics", "--no-wait"}}) {
            const Result r = Cli(args);
            EXPECT_EQ(r.status, kExitFailed) << args[0];
            EXPECT_NE(r.err.find("is being written by another run (" + set + "); nothing was read from it"),
                      std::string::npos)
                << args[0] << ": " << r.err;
        }
    }
    const Result checked = Cli({"check", S(Demo())});
    EXPECT_EQ(checked.status, kExitOk) << checked.err;
    EXPECT_NE(checked.err.find("vestrel-cli: note: The folder \"" + S(Demo()) +
                               "\" held an interrupted import of signals; it is now complete: RCobDef.xml, "
                               "RInfoCob.xml and signals.xml are as that run wrote them\n"),
              std::string::npos)
        << checked.err;
    EXPECT_FALSE(fs::exists(Demo() / ".RCobDef.xml.vestrel-999999-0L")) << "no one holds that work file";
    for (const auto& entry : fs::directory_iterator(Demo()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    const Result removed = Cli({"remove-signals", S(Demo()), "DriveDiagnostics", "DriveParameters"});
    EXPECT_EQ(removed.status, kExitOk) << "the completed import is removed whole: " << removed.err;
    std::string demoFrames = ReadFile(kExamples / "workspace/PROJECTS/Demo/RCobDef.xml");
    demoFrames.pop_back();  // the table is written without the example's last line break
    EXPECT_EQ(ReadFile(Demo() / "RCobDef.xml"), demoFrames);
}

TEST_F(CliOutputs, AFolderWithoutProjectFilesIsNoProjectForAnyCommand) {
    const fs::path projects = ws / "PROJECTS";
    const std::string message = "vestrel-cli: The folder \"" + S(projects) +
                                "\" is not a project: it holds none of pargen.xml, RCobDef.xml, TCobDef.xml, "
                                "RInfoCob.xml and TInfoCob.xml\n";
    const auto before = Snapshot(ws.path());
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"build", S(projects)},
             {"update", S(projects), S(Base())},
             {"check", S(projects)},
             {"report", S(projects), "--out", S(ws / "map.html")},
             {"replay", S(projects), S(ws / "bus.log")},
             {"preview", S(projects), "181#11"}}) {
        const Result r = Cli(args);
        EXPECT_EQ(r.status, kExitFailed) << args[0];
        EXPECT_EQ(r.err, message) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
    }
    EXPECT_TRUE(Snapshot(ws.path()) == before) << "something was written";
}

TEST_F(CliOutputs, EveryKindOfOutputThatIsALinkIsWrittenWhereItLeads) {
    // The links users make: the image to where the flasher looks, a bank file
    // and bankg.c to a firmware build, a report to a shared folder, the
    // decoded project's folder.
    const fs::path elsewhere = ws / "elsewhere";
    fs::create_directories(elsewhere / "project");
    const fs::path image = Demo() / "New_SX58316.sx";
    const std::string merged = ReadFile(image);
    fs::remove(image);
    fs::create_symlink(elsewhere / "flash.sx", image);
    fs::remove(Demo() / "bin" / "bankg.c");
    fs::create_symlink("../../../elsewhere/bankg.c", Demo() / "bin" / "bankg.c");
    fs::create_symlink(elsewhere / "map.csv", ws / "map.csv");
    fs::create_symlink(elsewhere / "project", ws / "Back");
    ::setenv("SOURCE_DATE_EPOCH", "1733661931", 1);
    EXPECT_EQ(Cli({"update", S(Demo()), S(Base())}).status, kExitOk);
    ::unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_EQ(Cli({"report", S(Demo()), "--format", "csv", "--out", S(ws / "map.csv")}).status, kExitOk);
    EXPECT_EQ(Cli({"decode", S(elsewhere / "flash.sx"), "--out", S(ws / "Back")}).status, kExitOk);
    for (const fs::path& link : {image, Demo() / "bin" / "bankg.c", ws / "map.csv", ws / "Back"})
        EXPECT_TRUE(fs::is_symlink(link)) << link;
    EXPECT_EQ(ReadFile(elsewhere / "flash.sx").size(), merged.size());
    EXPECT_EQ(ReadFile(elsewhere / "bankg.c").size(), 235593u);
    EXPECT_EQ(ReadFile(elsewhere / "map.csv"), Cli({"report", S(Demo()), "--format", "csv"}).out);
    EXPECT_TRUE(fs::exists(elsewhere / "project" / "pargen.xml"));
    EXPECT_EQ(Snapshot(elsewhere).size(), 9u) << "no work file is left beside a target";

    // The lock is the one of the folder the link leads to.
    FolderLocks held({elsewhere}, FolderLocks::Wait::No);
    const Result busy = Cli({"update", S(Demo()), S(Base()), "--no-wait"});
    EXPECT_EQ(busy.status, kExitFailed);
    EXPECT_EQ(busy.err, "vestrel-cli: Another run is writing into the folder \"" + S(elsewhere) +
                            "\"; try again when it has finished\n");
}

TEST_F(CliOutputs, ADecodeTakesTheLockOfItsFolder) {
    // Two decodes into one folder take turns, so that the second finds the
    // folder taken instead of mixing two images (waiting is update's, tested there).
    const fs::path out = ws / "Back";
    fs::create_directories(out);
    {
        FolderLocks held({out}, FolderLocks::Wait::No);
        const Result refused = Cli({"decode", S(Demo() / "bin"), "--out", S(out), "--no-wait"});
        EXPECT_EQ(refused.status, kExitFailed);
        EXPECT_EQ(refused.err, "vestrel-cli: Another run is writing into the folder \"" + S(out) +
                                   "\"; try again when it has finished\n");
        EXPECT_TRUE(fs::is_empty(out));
    }
    EXPECT_EQ(Cli({"decode", S(Demo() / "bin"), "--out", S(out), "--no-wait"}).status, kExitOk);
}

}  // namespace
}  // namespace vestrel
