#include "cli/cli.h"

#include "platform/file_util.h"
#include "project/project_xml.h"

#include "support/srecord_text.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

using Result = test::CliRun;
Result RunCliWith(const std::vector<std::string>& args, bool terminal = false) { return test::Cli(args, terminal); }

// A small image with code below the banks, one record in each selected bank
// range, and an S9 end record.
std::string BaseImage(bool withBank1 = true, bool withBank2 = true) {
    std::string image = test::SRecord('0', 0, 2, "demo");
    image += test::SRecord('2', 0x380000, 3, std::string(32, '\x11'));
    if (withBank1) image += test::SRecord('2', 0x388000, 3, std::string(32, '\x22'));
    if (withBank2) image += test::SRecord('2', 0x398000, 3, std::string(32, '\x33'));
    image += test::SRecord('9', 0, 2, "");
    return image;
}

TEST(Cli, HelpAndVersionGoToStdout) {
    Result help = RunCliWith({"--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_NE(help.out.find("vestrel-cli merge BASE_IMAGE BIN_DIR OUT_IMAGE [--banks 1,2]"), std::string::npos);
    EXPECT_NE(help.out.find("vestrel-cli check PROJECT_DIR"), std::string::npos);
    EXPECT_NE(help.out.find("vestrel-cli decode (IMAGE.sx | BIN_DIR) [--out PROJECT_DIR]"), std::string::npos);
    EXPECT_EQ(help.err, "");
    Result version = RunCliWith({"--version"});
    EXPECT_EQ(version.status, kExitOk);
    EXPECT_EQ(version.out.rfind("vestrel-cli 1.504", 0), 0u) << version.out;
}

TEST(Cli, CommandLinesThatAreNotUnderstoodExitWithTwo) {
    TempDir dir;
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {}, {"flash"}, {"build"}, {"build", "a", "b"}, {"merge", "a", "b"}, {"merge", "a", "b", "c", "--banks"},
             {"merge", "a", "b", "c", "--banks", "1,6"}, {"merge", "a", "b", "c", "--banks", "1,1"},
             {"merge", "a", "b", "c", "--banks", "1,"}, {"build", dir.path().string(), "--banks", "1"},
             {"build", "--force", dir.path().string()}, {"check"}, {"check", "a", "b"}, {"decode"},
             {"decode", "a", "--out"}, {"decode", "a", "--out="}, {"build", "a", "--out", "b"}}) {
        Result r = RunCliWith(args);
        EXPECT_EQ(r.status, kExitUsage) << ::testing::PrintToString(args);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("vestrel-cli --help"), std::string::npos);
    }
}

const std::string kPargen =
    "<GeneralParameter><BaudRateCAN>4</BaudRateCAN><CANType>0</CANType><Baud_Ser>3</Baud_Ser><Par_Ser>0</Par_Ser>"
    "<IDDev_Ser>1</IDDev_Ser><TimeOut_Ser>1000</TimeOut_Ser><TO_ModReg>1</TO_ModReg></GeneralParameter>";

TEST(Cli, BuildWritesTheBankFilesAndSaysWhereInOneSafeLine) {
    TempDir dir;
    WriteFile(dir / "pargen.xml", kPargen);
    Result r = RunCliWith({"build", dir.path().string()});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Wrote the banks and bankg.c to " + (dir / "bin").string() + "\n");
    for (const char* name : {"bank1.bin", "bank2.bin", "bank3.bin", "bank4.bin", "bank5.bin"})
        EXPECT_EQ(fs::file_size(dir / "bin" / name), 16384u) << name;
    EXPECT_EQ(fs::file_size(dir / "bin" / "bankg.c"), 235593u);

    // A folder name's escape sequences reach no terminal: check, build,
    // update and a merge on a terminal each say what they did on one line.
    const fs::path odd = dir / "P\x1b]0;owned\x07\nx";
    const std::string shown = (dir / "P\\x1B]0;owned\\x07; x").string();
    fs::create_directory(odd);
    WriteFile(odd / "pargen.xml", kPargen);
    WriteFile(dir / "base.sx", BaseImage());
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"check", odd.string()}, "Checked " + shown + ": no errors, no warnings; it compiles\n"},
        {{"build", odd.string()}, "Wrote the banks and bankg.c to " + shown + "/bin\n"},
        {{"update", odd.string(), (dir / "base.sx").string()},
         "Wrote the banks and bankg.c to " + shown + "/bin and the new image to " + shown + "/New_base.sx\n"},
    };
    for (const auto& [args, said] : cases) {
        r = RunCliWith(args);
        EXPECT_EQ(r.status, kExitOk) << r.err;
        EXPECT_EQ(r.err, said);
    }
    r = RunCliWith({"merge", (dir / "base.sx").string(), (odd / "bin").string(), (odd / "out.sx").string()}, true);
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_NE(r.err.find("Wrote " + shown + "/out.sx\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
}

TEST(Cli, BuildAndUpdatePrintTheChecksFindings) {
    TempDir dir;
    WriteFile(dir / "RCobDef.xml", "<COBID/>");
    // Without pargen.xml a fresh process compiles an all-zero parameter block.
    const std::string noPargen =
        "vestrel-cli: warning: pargen.xml: the file does not exist: the banks get an all-zero parameter block (no "
        "CAN bit rate, serial settings or device address, and frame and mapping counts of 0), so the device "
        "handles no frames\n";
    Result warned = RunCliWith({"build", dir.path().string()});
    EXPECT_EQ(warned.status, kExitOk);
    const std::string wrote = "Wrote the banks and bankg.c to " + (dir / "bin").string();
    EXPECT_EQ(warned.err, noPargen + wrote + "\n");
    WriteFile(dir / "base.sx", BaseImage());
    Result updated = RunCliWith({"update", dir.path().string(), (dir / "base.sx").string()});
    EXPECT_EQ(updated.status, kExitOk);
    EXPECT_EQ(updated.err, noPargen + wrote + " and the new image to " + (dir / "New_base.sx").string() + "\n");

    // --strict makes a warning fatal, before anything is written.
    fs::remove_all(dir / "bin");
    fs::remove(dir / "New_base.sx");
    Result strict = RunCliWith({"build", dir.path().string(), "--strict"});
    EXPECT_EQ(strict.status, kExitFailed);
    EXPECT_EQ(strict.err, noPargen + "vestrel-cli: --strict: the project has warnings; nothing was written\n");
    EXPECT_FALSE(fs::exists(dir / "bin"));
    Result strictUpdate = RunCliWith({"update", dir.path().string(), (dir / "base.sx").string(), "--strict"});
    EXPECT_EQ(strictUpdate.status, kExitFailed);
    EXPECT_FALSE(fs::exists(dir / "New_base.sx"));

    // Errors are listed, each once and labelled, and stop the build.
    WriteFile(dir / "pargen.xml", kPargen);
    WriteFile(dir / "RCobDef.xml", R"(<COBID><row CobID="abc" Dimensin="8" Mnemonic=""/><row CobID="4000" Dimensin="8" Mnemonic=""/></COBID>)");
    Result bad = RunCliWith({"build", dir.path().string()});
    EXPECT_EQ(bad.status, kExitFailed);
    EXPECT_EQ(bad.err,
              "vestrel-cli: error: RCobDef.xml: row 1: CobID: 'abc' is not a valid integer value\n"
              "vestrel-cli: error: RCobDef.xml: row 2: The CobID 4000 is outside 0 to 2047, the range of CAN 2.0A\n"
              "vestrel-cli: the project cannot be compiled as it stands; nothing was written\n");
    EXPECT_FALSE(fs::exists(dir / "bin" / "bank1.bin"));

    Result missing = RunCliWith({"build", (dir / "none").string()});
    EXPECT_EQ(missing.status, kExitFailed);
    EXPECT_NE(missing.err.find("not found"), std::string::npos) << missing.err;
}

TEST(Cli, AProjectFileThatIsThereButCannotBeReadIsAnError) {
    // Only a file that does not exist is absent: anything else in its place
    // stops the build instead of compiling a project without it.
    TempDir dir;
    WriteFile(dir / "pargen.xml", kPargen);
    const fs::path frames = dir / "RCobDef.xml";
    struct Case {
        std::function<void()> make;
        std::string reason;
    };
    const std::vector<Case> cases{
        {[&] { fs::create_symlink(dir / "gone.xml", frames); }, "is a link to"},
        {[&] { fs::create_directory(frames); }, "it is a folder, not a file"},
        {[&] { ::mkfifo(frames.c_str(), 0644); }, "it is a named pipe, not a file"},
        {[&] { fs::create_symlink("/dev/zero", frames); }, "it is a device, not a file"},
        {[&] { WriteFile(frames, std::string(kMaxProjectFileBytes + 1, ' ')); }, "is larger than 1048576 bytes"},
        {[&] {
             std::string crowded = "<COBID><row CobID=\"1\" Dimensin=\"8\" Mnemonic=\"\"";
             for (int i = 0; i < 50000; ++i) crowded += " a" + std::to_string(i) + "=\"1\"";
             WriteFile(frames, crowded + "/></COBID>");
         },
         "has an element with more than 64 attributes in line 1"},
    };
    for (const Case& c : cases) {
        c.make();
        for (const char* command : {"build", "check"}) {
            Result r = RunCliWith({command, dir.path().string()});
            EXPECT_EQ(r.status, kExitFailed) << command << " " << c.reason;
            EXPECT_NE((r.err + r.out).find(c.reason), std::string::npos) << r.err << r.out;
        }
        EXPECT_FALSE(fs::exists(dir / "bin" / "bank1.bin"));
        fs::remove(frames);
    }
}

TEST(Cli, EveryMessageIsOneSafeLine) {
    // A parse error quotes the file: here a terminal escape that would
    // retitle the terminal and a line break in a file name.
    TempDir dir;
    WriteFile(dir / "pargen.xml", kPargen);
    WriteFile(dir / "RCobDef.xml", "<COBID>\x1b]0;owned\x07<row</COBID>");
    Result r = RunCliWith({"build", dir.path().string()});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x07'), std::string::npos);
    EXPECT_NE(r.err.find("\\x1B]0;owned\\x07"), std::string::npos) << r.err;
    for (std::size_t at = 0; (at = r.err.find('\n', at)) != std::string::npos; ++at)
        EXPECT_EQ(r.err.compare(at + 1, 12, at + 1 < r.err.size() ? "vestrel-cli:" : ""), 0) << r.err;

    Result named = RunCliWith({"check", (dir / "a\nb\x1b[2J").string()});
    EXPECT_EQ(named.err, "vestrel-cli: Project folder \"" + dir.path().string() + "/a; b\\x1B[2J\" not found\n");
}

TEST(Cli, OptionsAreGivenOnceAndDoubleDashEndsThem) {
    TempDir dir;
    WriteFile(dir / "pargen.xml", kPargen);
    ASSERT_EQ(RunCliWith({"build", dir.path().string()}).status, kExitOk);
    WriteFile(dir / "-base.sx", BaseImage());
    Result twice = RunCliWith({"merge", "a", "b", "c", "--banks", "1", "--banks", "2"});
    EXPECT_EQ(twice.status, kExitUsage);
    EXPECT_NE(twice.err.find("--banks is given twice"), std::string::npos) << twice.err;
    Result dashed = RunCliWith({"merge", "--banks=1", "--", (dir / "-base.sx").string(), (dir / "bin").string(),
                                (dir / "out.sx").string()});
    EXPECT_EQ(dashed.status, kExitOk) << dashed.err;
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    Result relative = RunCliWith({"merge", "--", "-base.sx", "bin", "-out.sx"});
    fs::current_path(before);
    EXPECT_EQ(relative.status, kExitOk) << relative.err;
    EXPECT_TRUE(fs::exists(dir / "-out.sx"));
}

TEST(Cli, SourceDateEpochMakesBuildsReproducible) {
    TempDir a, b;
    WriteFile(a / "pargen.xml", kPargen);
    WriteFile(b / "pargen.xml", kPargen);
    ::setenv("SOURCE_DATE_EPOCH", "1733661931", 1);
    EXPECT_EQ(RunCliWith({"build", a.path().string()}).status, kExitOk);
    EXPECT_EQ(RunCliWith({"build", b.path().string()}).status, kExitOk);
    ::unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_EQ(ReadFile(a / "bin" / "bankg.c"), ReadFile(b / "bin" / "bankg.c"));
    EXPECT_EQ(ReadFile(a / "bin" / "bank1.bin"), ReadFile(b / "bin" / "bank1.bin"));
}

TEST(Cli, MergeSplicesTheDefaultBanksAndReportsOnlyOnATerminal) {
    TempDir dir;
    WriteFile(dir / "pargen.xml", kPargen);
    ASSERT_EQ(RunCliWith({"build", dir.path().string()}).status, kExitOk);
    WriteFile(dir / "base.sx", BaseImage());
    Result quiet = RunCliWith({"merge", (dir / "base.sx").string(), (dir / "bin").string(), (dir / "out.sx").string()});
    EXPECT_EQ(quiet.status, kExitOk) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");
    std::string merged = ReadFile(dir / "out.sx");
    EXPECT_NE(merged.find("S224388000"), std::string::npos);
    EXPECT_NE(merged.find("S224398000"), std::string::npos);
    EXPECT_NE(merged.find("S22438BFE0"), std::string::npos);

    Result shown = RunCliWith({"merge", (dir / "base.sx").string(), (dir / "bin").string(), (dir / "out2.sx").string()}, true);
    EXPECT_EQ(shown.status, kExitOk);
    EXPECT_EQ(shown.out, "");
    EXPECT_NE(shown.err.find("100%"), std::string::npos) << shown.err;
    EXPECT_EQ(ReadFile(dir / "out2.sx"), merged);
}

TEST(Cli, MergeExitsNonZeroUnlessEverySelectedBankWasSplicedIn) {
    TempDir dir;
    WriteFile(dir / "pargen.xml", kPargen);
    ASSERT_EQ(RunCliWith({"build", dir.path().string()}).status, kExitOk);
    WriteFile(dir / "no2.sx", BaseImage(true, false));
    Result missingRange = RunCliWith({"merge", (dir / "no2.sx").string(), (dir / "bin").string(), (dir / "out.sx").string()});
    EXPECT_EQ(missingRange.status, kExitFailed);
    EXPECT_EQ(missingRange.err,
              "vestrel-cli: Bank 2 address range 0x398000-0x39BFFF not found in no2.sx,Abort Procedure; "
              "No new image was written.\n");
    EXPECT_FALSE(fs::exists(dir / "out.sx"));

    Result onlyBank1 = RunCliWith({"merge", (dir / "no2.sx").string(), (dir / "bin").string(), (dir / "out1.sx").string(),
                            "--banks", "1"});
    EXPECT_EQ(onlyBank1.status, kExitOk) << onlyBank1.err;

    fs::remove(dir / "bin" / "bank2.bin");
    WriteFile(dir / "base.sx", BaseImage());
    Result noBankFile = RunCliWith({"merge", (dir / "base.sx").string(), (dir / "bin").string(), (dir / "out3.sx").string()});
    EXPECT_EQ(noBankFile.status, kExitFailed);
    EXPECT_NE(noBankFile.err.find("File bank2.bin Not Found,Abort Procedure"), std::string::npos) << noBankFile.err;

    WriteFile(dir / "noend.sx", test::SRecord('2', 0x388000, 3, std::string(32, 'a')));
    Result noEnd = RunCliWith({"merge", (dir / "noend.sx").string(), (dir / "bin").string(), (dir / "out4.sx").string(),
                        "--banks", "1"});
    EXPECT_EQ(noEnd.status, kExitFailed);
    EXPECT_NE(noEnd.err, "");
}

TEST(Cli, UpdateBuildsAndMergesIntoTheProjectFolder) {
    TempDir dir;
    fs::create_directory(dir / "Plant1");
    WriteFile(dir / "Plant1" / "RCobDef.xml", R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic=""/></COBID>)");
    WriteFile(dir / "SX58316.sx", BaseImage());
    Result r = RunCliWith({"update", (dir / "Plant1").string(), (dir / "SX58316.sx").string()});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, "First update: nothing to compare with\nThere is no New_SX58316.sx in the project folder yet.\n");
    ASSERT_TRUE(fs::exists(dir / "Plant1" / "New_SX58316.sx"));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir / "Plant1")) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"New_SX58316.sx", "RCobDef.xml", "bin"})) << "no stage files are left";

    Result noBase = RunCliWith({"update", (dir / "Plant1").string(), (dir / "missing.sx").string()});
    EXPECT_EQ(noBase.status, kExitFailed);
}

TEST(Cli, CheckListsProblemsOnStdoutAndFailsOnlyOnErrors) {
    TempDir dir;
    WriteFile(dir / "pargen.xml",
              "<GeneralParameter><BaudRateCAN>4</BaudRateCAN><CANType>0</CANType><Baud_Ser>3</Baud_Ser><Par_Ser>0</Par_Ser>"
              "<IDDev_Ser>1</IDDev_Ser><TimeOut_Ser>1000</TimeOut_Ser><TO_ModReg>1</TO_ModReg></GeneralParameter>");
    WriteFile(dir / "RCobDef.xml", R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic=""/></COBID>)");
    Result clean = RunCliWith({"check", dir.path().string()});
    EXPECT_EQ(clean.status, kExitOk);
    EXPECT_EQ(clean.out, "");
    EXPECT_EQ(clean.err, "Checked " + dir.path().string() + ": no errors, no warnings; it compiles\n");

    WriteFile(dir / "RInfoCob.xml", R"(<RInfoCob><row Index="1" NrPdo="2" PosComp="1"/></RInfoCob>)");
    Result warned = RunCliWith({"check", dir.path().string()});
    EXPECT_EQ(warned.status, kExitOk);
    EXPECT_EQ(warned.out, "warning: RInfoCob.xml: row 1: NrPdo 2 names no frame: RCobDef.xml has 1 frame\n");
    EXPECT_EQ(warned.err, "Checked " + dir.path().string() + ": no errors, 1 warning; it compiles\n");

    WriteFile(dir / "TCobDef.xml", R"(<COBID><row CobID="abc" Dimensin="8" RTR="N"/></COBID>)");
    Result failed = RunCliWith({"check", dir.path().string()});
    EXPECT_EQ(failed.status, kExitFailed);
    EXPECT_EQ(failed.out,
              "error: TCobDef.xml: row 1: CobID: 'abc' is not a valid integer value\n"
              "warning: RInfoCob.xml: row 1: NrPdo 2 names no frame: RCobDef.xml has 1 frame\n");
    EXPECT_EQ(failed.err, "");
    EXPECT_EQ(RunCliWith({"build", dir.path().string()}).status, kExitFailed) << "check and build agree";

    Result missing = RunCliWith({"check", (dir / "none").string()});
    EXPECT_EQ(missing.status, kExitFailed);
    EXPECT_EQ(missing.err, "vestrel-cli: Project folder \"" + (dir / "none").string() + "\" not found\n");
}

// A stream that tells a waiting thread whenever something is written to it.
class WatchedStream : public std::ostream {
public:
    WatchedStream() : std::ostream(&buffer_) {}

    // Waits until the text holds `part`. No clock: the other thread writes it.
    void WaitFor(const std::string& part) {
        std::unique_lock lock(buffer_.mutex);
        buffer_.changed.wait(lock, [&] { return buffer_.text.find(part) != std::string::npos; });
    }
    std::string Text() {
        std::lock_guard lock(buffer_.mutex);
        return buffer_.text;
    }

private:
    struct Buffer : std::streambuf {
        std::mutex mutex;
        std::condition_variable changed;
        std::string text;
        std::streamsize xsputn(const char* s, std::streamsize n) override {
            {
                std::lock_guard lock(mutex);
                text.append(s, static_cast<std::size_t>(n));
            }
            changed.notify_all();
            return n;
        }
        int_type overflow(int_type c) override {
            if (c != traits_type::eof()) {
                char ch = static_cast<char>(c);
                xsputn(&ch, 1);
            }
            return c;
        }
    } buffer_;
};

// Two updates of one project with two base images, the second started while
// the first is half-way through its merge.
class CliOverlap : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir / "pargen.xml", kPargen);
        WriteFile(dir / "RCobDef.xml", R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic=""/></COBID>)");
        WriteFile(dir / "A.sx", Image('\x41'));
        WriteFile(dir / "B.sx", Image('\x42'));
    }
    // A base image told apart by the code below the banks.
    static std::string Image(char code) {
        std::string image = test::SRecord('0', 0, 2, "demo");
        image += test::SRecord('2', 0x380000, 3, std::string(32, code));
        image += test::SRecord('2', 0x388000, 3, std::string(32, '\x22'));
        image += test::SRecord('2', 0x398000, 3, std::string(32, '\x33'));
        return image + test::SRecord('9', 0, 2, "");
    }
    static bool Holds(const std::string& image, char code) {
        return image.find(test::SRecord('2', 0x380000, 3, std::string(32, code))) != std::string::npos;
    }
    std::vector<std::string> Update(const char* base, bool wait = true) {
        std::vector<std::string> args{"update", dir.path().string(), (dir / base).string()};
        if (!wait) args.push_back("--no-wait");
        return args;
    }

    TempDir dir;
};

TEST_F(CliOverlap, ASecondRunWaitsForTheFirstAndEachGetsItsOwnImage) {
    WatchedStream secondErr;
    std::ostringstream secondOut, out, err;
    int secondStatus = -1;
    std::thread second;
    CliContext first{out, err, false, [&](MergeStep step) {
                         if (step != MergeStep::BankSpliced || second.joinable()) return;
                         second = std::thread([&] {
                             CliContext cli{secondOut, secondErr, false, {}, {}, {}};
                             secondStatus = RunCli(Update("B.sx"), cli);
                         });
                         secondErr.WaitFor("waiting for another run in");
                     },
                     {},
                     {}};
    EXPECT_EQ(RunCli(Update("A.sx"), first), kExitOk) << err.str();
    // The first run's image is complete before the second one writes anything.
    const std::string a = ReadFile(dir / "New_A.sx");
    second.join();
    EXPECT_EQ(secondStatus, kExitOk) << secondErr.Text();
    const std::string b = ReadFile(dir / "New_B.sx");
    EXPECT_TRUE(Holds(a, '\x41') && !Holds(a, '\x42'));
    EXPECT_TRUE(Holds(b, '\x42') && !Holds(b, '\x41'));
    EXPECT_EQ(ReadFile(dir / "New_A.sx"), a);
}

TEST_F(CliOverlap, NoWaitRefusesWhileAnotherRunWritesTheFolder) {
    std::ostringstream out, err;
    Result refused{-1, "", ""};
    CliContext first{out, err, false, [&](MergeStep step) {
                         if (step == MergeStep::LinesCounted) refused = RunCliWith(Update("B.sx", false));
                     },
                     {},
                     {}};
    EXPECT_EQ(RunCli(Update("A.sx"), first), kExitOk) << err.str();
    EXPECT_EQ(refused.status, kExitFailed);
    EXPECT_EQ(refused.err, "vestrel-cli: Another run is writing into the folder \"" + dir.path().string() +
                               "\"; try again when it has finished\n");
    EXPECT_FALSE(fs::exists(dir / "New_B.sx"));
    EXPECT_TRUE(Holds(ReadFile(dir / "New_A.sx"), '\x41'));
}

TEST(Cli, ADecodeThatCannotWriteTheWholeProjectWritesNone) {
    TempDir dir;
    WriteFile(dir / "pargen.xml", kPargen);
    WriteFile(dir / "RCobDef.xml", R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic=""/></COBID>)");
    WriteFile(dir / "RInfoCob.xml", R"(<RInfoCob><row Index="1" NrPdo="1" PosComp="18"/></RInfoCob>)");
    ASSERT_EQ(RunCliWith({"build", dir.path().string()}).status, kExitOk);
    fs::create_directory(dir / "Back");
    for (int failing = 0; failing < 5; ++failing) {
        int seen = 0;
        SetSaveStepHookForTesting([&](SaveStep step) {
            return step == SaveStep::Write && seen++ == 5 + failing ? ENOSPC : 0;  // the first five are the scratch copy
        });
        Result r = RunCliWith({"decode", (dir / "bin").string(), "--out", (dir / "Back").string()});
        SetSaveStepHookForTesting({});
        EXPECT_EQ(r.status, kExitFailed);
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
        EXPECT_TRUE(fs::is_empty(dir / "Back")) << "failing write " << failing;
    }
    EXPECT_EQ(RunCliWith({"decode", (dir / "bin").string(), "--out", (dir / "Back").string()}).status, kExitOk);
}

TEST(Cli, ALargeFileThatIsNoImageIsRefusedAtItsStart) {
    // Read as a stream: a file of 2 GB is refused at its first line without
    // being read into memory.
    TempDir dir;
    {
        std::ofstream big(dir / "big.sx", std::ios::binary);
        big.seekp((std::streamoff{1} << 31) - 1);
        big.put('\n');
    }
    Result r = RunCliWith({"decode", (dir / "big.sx").string()});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_EQ(r.err, "vestrel-cli: " + (dir / "big.sx").string() +
                         ": line 1: the line is longer than any S-record\n");
}

TEST(Cli, AFileSizeLimitGivesAMessageNotASignal) {
    // `ulimit -f` would end a process that does not ignore SIGXFSZ with exit
    // status 153 and no word; vestrel-cli says which file did not fit. 600
    // blocks of 512 bytes: bankg.c fits, the new image does not.
    TempDir dir;
    WriteFile(dir / "pargen.xml", kPargen);
    std::string image = BaseImage();
    for (std::uint32_t a = 0x100000; a < 0x100000 + 0x20 * 8000; a += 0x20)
        image.insert(0, test::SRecord('2', a, 3, std::string(32, 'x')));
    WriteFile(dir / "base.sx", image);
    const std::string command = "ulimit -f 600; '" + std::string(VESTREL_CLI_PATH) + "' update '" +
                                dir.path().string() + "' '" + (dir / "base.sx").string() + "' 2>'" +
                                (dir / "err.txt").string() + "'";
    const int status = std::system(("sh -c \"" + command + "\"").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kExitFailed);
    const std::string err = ReadFile(dir / "err.txt");
    EXPECT_NE(err.find("File New Sx Not Create,Abort Procedure; Cannot write file"), std::string::npos) << err;
    EXPECT_NE(err.find("File too large"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir / "New_base.sx"));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.path())) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"base.sx", "bin", "err.txt", "pargen.xml"}));
}

// A project compiled and merged by update, then read back from the image.
class CliDecode : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir_ / "Plant1");
        WriteFile(dir_ / "Plant1" / "pargen.xml",
                  "<GeneralParameter><BaudRateCAN>6</BaudRateCAN><CANType>0</CANType><Baud_Ser>4</Baud_Ser>"
                  "<Par_Ser>1</Par_Ser><IDDev_Ser>17</IDDev_Ser><TimeOut_Ser>500</TimeOut_Ser><TimeOut_Data>9</TimeOut_Data>"
                  "<TO_ModReg>300</TO_ModReg><Serial>1</Serial><Cancel_Data>1</Cancel_Data><Can_Data_Inp_Reg>0</Can_Data_Inp_Reg>"
                  "</GeneralParameter>");
        WriteFile(dir_ / "Plant1" / "RCobDef.xml",
                  R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic="Speed"/><row CobID="0x281" Dimensin="2" Mnemonic=""/></COBID>)");
        WriteFile(dir_ / "Plant1" / "TCobDef.xml",
                  R"(<COBID><row CobID="0x201" Dimensin="4" RTR="Y" Mnemonic=""/><row CobID="0x202" Dimensin="8" RTR="N" Mnemonic=""/></COBID>)");
        WriteFile(dir_ / "Plant1" / "RInfoCob.xml",
                  R"(<RInfoCob><row Index="100" NrPdo="1" PosComp="18"/><row Index="101" NrPdo="2" PosComp="2"/></RInfoCob>)");
        WriteFile(dir_ / "Plant1" / "TInfoCob.xml", R"(<TInfoCob><row Index="200" NrPdo="2" PosComp="52"/></TInfoCob>)");
        WriteFile(dir_ / "SX58316.sx", BaseImage());
        Result update = RunCliWith({"update", (dir_ / "Plant1").string(), (dir_ / "SX58316.sx").string()});
        ASSERT_EQ(update.status, kExitOk) << update.err;
        image_ = dir_ / "Plant1" / "New_SX58316.sx";
    }

    static std::string WithoutStamp(std::string bank) {
        bank.replace(16020, 4, 4, '\0');
        return bank;
    }

    TempDir dir_;
    fs::path image_;
};

TEST_F(CliDecode, AnImageThatUpdateWroteCompilesBackToTheSameBanks) {
    Result r = RunCliWith({"decode", image_.string(), "--out", (dir_ / "Back").string()});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    for (const char* line : {"CAN bit rate: 500 kbit/s (BaudRateCAN 6)\n", "Parity: odd (Par_Ser 1)\n",
                             "Time-out Modbus register: 44 (TO_ModReg, low byte)\n",
                             "Transmit frames: 2\n  row 1: CobID 0x201, Dimensin 4, RTR Y\n",
                             "Transmit mappings: 1\n  row 1: Index 200, NrPdo 2, PosComp 52 (high byte B3, low byte B4)\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\nin\n" << r.out;
    EXPECT_NE(r.err.find("vestrel-cli: note: the banks keep no mnemonics: the frames come back without them\n"),
              std::string::npos) << r.err;
    EXPECT_NE(r.err.find("vestrel-cli: note: the banks keep only the low byte of TO_ModReg"), std::string::npos);

    ASSERT_EQ(RunCliWith({"build", (dir_ / "Back").string()}).status, kExitOk);
    EXPECT_EQ(WithoutStamp(ReadFile(dir_ / "Back" / "bin" / "bank1.bin")),
              WithoutStamp(ReadFile(dir_ / "Plant1" / "bin" / "bank1.bin")));
    EXPECT_EQ(ReadFile(dir_ / "Back" / "bin" / "bank2.bin"), ReadFile(dir_ / "Plant1" / "bin" / "bank2.bin"));

    // The bank files say the same as the image.
    Result fromBin = RunCliWith({"decode", (dir_ / "Plant1" / "bin").string()});
    EXPECT_EQ(fromBin.status, kExitOk) << fromBin.err;
    EXPECT_EQ(fromBin.out, r.out);

    // A folder that already holds a project is not overwritten.
    const std::string before = ReadFile(dir_ / "Plant1" / "RCobDef.xml");
    Result onto = RunCliWith({"decode", image_.string(), "--out", (dir_ / "Plant1").string()});
    EXPECT_EQ(onto.status, kExitFailed);
    EXPECT_EQ(onto.out, "");
    EXPECT_NE(onto.err.find("already holds"), std::string::npos) << onto.err;
    EXPECT_EQ(ReadFile(dir_ / "Plant1" / "RCobDef.xml"), before);
}

TEST_F(CliDecode, BrokenImagesAreRefusedWithAMessage) {
    const std::string image = ReadFile(image_);
    const std::string name = (dir_ / "broken.sx").string();
    // The 20th line lies in bank 1: "S224" + address + 32 data bytes + checksum.
    std::size_t line20 = 0;
    for (int i = 0; i < 19; ++i) line20 = image.find("\r\n", line20) + 2;
    std::string badSum = image, badHex = image;
    badSum[line20 + 74] = badSum[line20 + 74] == '0' ? '1' : '0';
    badHex[line20 + 30] = 'x';
    const std::vector<std::pair<std::string, std::string>> cases = {
        {image.substr(0, image.size() / 2), "vestrel-cli: " + name + ": "},
        {image.substr(0, image.rfind("S9")), "vestrel-cli: " + name + ": no end record (S7, S8 or S9)"},
        {badSum, "vestrel-cli: " + name + ": line 20: checksum mismatch"},
        {badHex, "vestrel-cli: " + name + ": line 20: 'x' at column 31 is not a hexadecimal digit\n"},
        {BaseImage(), "vestrel-cli: " + name + ": bank 1 (0x388000-0x38BFFF) is incomplete: 16352 of its 16384 bytes "
                      "are missing, the first at 0x388020\n"},
    };
    for (const auto& [content, message] : cases) {
        WriteFile(dir_ / "broken.sx", content);
        Result r = RunCliWith({"decode", name, "--out", (dir_ / "Never").string()});
        EXPECT_EQ(r.status, kExitFailed);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.substr(0, message.size()), message);
        EXPECT_FALSE(fs::exists(dir_ / "Never"));
    }
}

}  // namespace
}  // namespace vestrel
