#include "compiler/bank_files.h"
#include "platform/sha256.h"
#include "compiler/bank_map.h"

#include "compiler/project_builder.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "support/kill_at_step.h"
#include "support/unprivileged.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <map>
#include <set>

namespace vestrel {
namespace {

using namespace test;
namespace fs = std::filesystem;

std::string BankText(const BankImages& banks, int number) {
    auto bank = banks.Bank(number);
    return {reinterpret_cast<const char*>(bank.data()), bank.size()};
}

// A project with something in each table, CAN 2.0A, no receive frames, so
// that bank 1 starts with 0xFF.
void WriteSampleProject(const fs::path& dir) {
    WritePargen(dir, With(DefaultSettings(), "TimeOut_Ser", "0xABCD"));
    WriteRows(dir / "TCobDef.xml", "COBID", {R"(CobID="0x7EF" Dimensin="8" RTR="Y")"});
    WriteRows(dir / "RInfoCob.xml", "RInfoCob", MappingRows(300));
    WriteRows(dir / "TInfoCob.xml", "TInfoCob", MappingRows(20));
}

std::set<std::string> FileNames(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

// The lines of a text whose every line ends with CR LF; fails the test on a
// lone CR or LF or a missing final line end.
std::vector<std::string> CrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "last line has no CR LF";
            break;
        }
        std::string line = text.substr(start, end - start);
        if (line.find_first_of("\r\n") != std::string::npos) ADD_FAILURE() << "lone CR or LF in line " << lines.size() + 1;
        lines.push_back(std::move(line));
        start = end + 2;
    }
    return lines;
}

// The sixteen byte values of one array line, in the exact form " 0xHH," (the
// last value of the bank ends "};" instead).
std::vector<std::uint8_t> LineValues(std::string_view values, bool lastOfBank) {
    std::vector<std::uint8_t> bytes;
    const std::string_view digits = "0123456789ABCDEF";
    for (int i = 0; i < 16; ++i) {
        std::string_view item = values.substr(0, 6);
        bool last = lastOfBank && i == 15;
        if (item.substr(0, 3) != " 0x" || digits.find(item[3]) == std::string_view::npos ||
            digits.find(item[4]) == std::string_view::npos) {
            ADD_FAILURE() << "bad value '" << item << "'";
            return bytes;
        }
        bytes.push_back(static_cast<std::uint8_t>(digits.find(item[3]) * 16 + digits.find(item[4])));
        if (last) {
            EXPECT_EQ(values.substr(5), "};");
            return bytes;
        }
        EXPECT_EQ(item[5], ',');
        values.remove_prefix(6);
    }
    EXPECT_TRUE(values.empty()) << "trailing '" << values << "'";
    return bytes;
}

TEST(BankFiles, EachBankFileHoldsItsBankExactlyAndBinIsCreated) {
    TempDir dir;
    const fs::path project = dir / "nested/project";  // neither folder exists yet
    fs::create_directories(project);
    WriteSampleProject(project);
    fs::remove_all(project / "bin");
    BankCompiler compiler;
    compiler.BuildBankImages(project, kStamp);
    // An older, longer file is replaced as a whole.
    WriteBankFiles(project, compiler.Banks());
    WriteFile(project / "bin/bank2.bin", std::string(20000, 'x'));
    WriteBankFiles(project, compiler.Banks());

    for (int n = 1; n <= 5; ++n) {
        std::string file = ReadFile(project / "bin" / ("bank" + std::to_string(n) + ".bin"));
        ASSERT_EQ(file.size(), kBankSize) << n;
        EXPECT_TRUE(file == BankText(compiler.Banks(), n)) << "bank " << n;
        if (n >= 3) {
            EXPECT_EQ(file, std::string(kBankSize, '\0')) << n;
        }
    }
    EXPECT_EQ(FileNames(project / "bin"), (std::set<std::string>{"bank1.bin", "bank2.bin", "bank3.bin", "bank4.bin",
                                                                 "bank5.bin", "bankg.c", "banks.sha256"}));

    // A project folder that does not exist yet gets bin with its parents.
    const fs::path fresh = dir / "a/b/c";
    WriteBankFiles(fresh, compiler.Banks());
    EXPECT_EQ(ReadFile(fresh / "bin/bank1.bin"), BankText(compiler.Banks(), 1));
}

TEST(BankFiles, BankSourceLayout) {
    TempDir dir;
    WriteSampleProject(dir.path());
    BankCompiler compiler;
    CompileProject(compiler, dir.path());
    const BankImages& banks = compiler.Banks();

    const std::string text = ReadFile(dir / "bin/bankg.c");
    EXPECT_EQ(text.size(), 235593u);
    const std::vector<std::string> lines = CrLfLines(text);
    ASSERT_EQ(lines.size(), 2052u);

    std::string ffLine, zeroLastLine(17, ' ');
    for (int i = 0; i < 16; ++i) ffLine += " 0xFF,";
    for (int i = 0; i < 15; ++i) zeroLastLine += " 0x00,";
    zeroLastLine += " 0x00};";

    EXPECT_EQ(lines[0], "#pragma CONST_SEG SEGMENT0");
    EXPECT_EQ(lines[1], "const char Bank1 [] = {" + ffLine);
    EXPECT_EQ(lines[2], std::string(17, ' ') + ffLine);
    EXPECT_EQ(lines[1024], zeroLastLine);  // line 1025: the end of bank 1
    EXPECT_EQ(lines[1025], "");
    EXPECT_EQ(lines[1026].substr(0, 23), "const char Bank2 [] = {");
    EXPECT_EQ(lines[2049], zeroLastLine);  // the end of bank 2
    EXPECT_EQ(lines[2050], "");
    EXPECT_EQ(lines[2051], "#pragma CONST_SEG DEFAULT");

    // Every value of both arrays, in order, upper-case, read back equal to the banks.
    for (int n = 1; n <= 2; ++n) {
        SCOPED_TRACE("bank " + std::to_string(n));
        std::vector<std::uint8_t> values;
        const std::size_t first = n == 1 ? 1 : 1026;
        for (std::size_t l = 0; l < 1024; ++l) {
            std::string_view line = lines[first + l];
            const std::string prefix = l == 0 ? "const char Bank" + std::to_string(n) + " [] = {" : std::string(17, ' ');
            ASSERT_EQ(line.substr(0, prefix.size()), prefix) << "line " << first + l + 1;
            auto part = LineValues(line.substr(prefix.size()), l == 1023);
            values.insert(values.end(), part.begin(), part.end());
        }
        EXPECT_TRUE(std::ranges::equal(values, banks.Bank(n)));
    }
    // The sample's TimeOut_Ser 0xABCD shows the hexadecimal digits' case.
    EXPECT_NE(lines[1 + 16000 / 16].find(" 0xCD, 0xAB,"), std::string::npos);
}

TEST(BankFiles, TheListHoldsTheSha256OfEachFileAsSha256sumWritesIt) {
    TempDir dir;
    WriteSampleProject(dir.path());
    BankCompiler compiler;
    CompileProject(compiler, dir.path());
    const std::string list = ReadFile(dir / "bin/banks.sha256");
    // bank3.bin to bank5.bin are 16384 zero bytes: a digest known from elsewhere.
    EXPECT_NE(list.find("4fe7b59af6de3b665b67788cc2f99892ab827efae3a467342b3bb4e3bc8e5bfe  bank3.bin\n"),
              std::string::npos)
        << list;
    for (const char* name : {"bank1.bin", "bank2.bin", "bank4.bin", "bank5.bin", "bankg.c"}) {
        const std::string line = Sha256Hex(ReadFile(dir / "bin" / name)) + "  " + name + "\n";
        EXPECT_NE(list.find(line), std::string::npos) << name;
    }
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 6);

    const auto read = BankSetList::Read(dir / "bin");
    ASSERT_TRUE(read);
    EXPECT_NO_THROW(read->Require("bank2.bin", ReadFile(dir / "bin/bank2.bin")));
    EXPECT_THROW(read->Require("bank2.bin", ReadFile(dir / "bin/bank1.bin")), Error);
    EXPECT_THROW(read->Require("bank6.bin", ""), Error);
    fs::remove(dir / "bin/banks.sha256");
    EXPECT_FALSE(BankSetList::Read(dir / "bin")) << "bank files without a list are not refused";
}

TEST(BankFiles, AFailedWriteLeavesThePreviousSetWhole) {
    TempDir dir;
    WriteSampleProject(dir.path());
    BankCompiler first;
    first.BuildBankImages(dir.path(), kStamp);
    WriteBankFiles(dir.path(), first.Banks());
    std::map<std::string, std::string> before;
    for (const auto& name : FileNames(dir / "bin")) before[name] = ReadFile(dir / "bin" / name);

    // A different project, and each step of each file's save failing in turn.
    WriteRows(dir / "RInfoCob.xml", "RInfoCob", MappingRows(5));
    BankCompiler second;
    second.BuildBankImages(dir.path(), kStamp);
    for (SaveStep step : {SaveStep::Create, SaveStep::Write, SaveStep::Sync}) {
        for (int failing = 0; failing < 7; ++failing) {
            int seen = 0;
            SetSaveStepHookForTesting([&](SaveStep s) { return s == step && seen++ == failing ? ENOSPC : 0; });
            EXPECT_THROW(WriteBankFiles(dir.path(), second.Banks()), Error);
            SetSaveStepHookForTesting({});
            for (const auto& [name, data] : before)
                ASSERT_EQ(ReadFile(dir / "bin" / name), data) << name << " after a failure of save " << failing;
            ASSERT_EQ(FileNames(dir / "bin").size(), before.size()) << "a file was left behind";
        }
    }
    WriteBankFiles(dir.path(), second.Banks());
    EXPECT_EQ(ReadFile(dir / "bin/bank1.bin"), BankText(second.Banks(), 1));
}

TEST(BankFiles, AKillWhileTheSetTakesItsPlaceNeverLeavesTheNewListBesideAnOldFile) {
    TempDir dir;
    WriteSampleProject(dir.path());
    BankCompiler first, second;
    first.BuildBankImages(dir.path(), kStamp);
    WriteRows(dir / "RInfoCob.xml", "RInfoCob", MappingRows(5));
    second.BuildBankImages(dir.path(), kStamp);
    const fs::path bin = dir / "bin";
    // Killed as each of the seven files takes its place: either every file
    // is the one the list names, or the list is the old one and some file is
    // not, which every reader refuses.
    for (int killedAt = 0; killedAt < 7; ++killedAt) {
        SCOPED_TRACE(killedAt);
        fs::remove_all(bin);
        WriteBankFiles(dir.path(), first.Banks());
        const std::string oldList = ReadFile(bin / kBankSetFile);
        const int ended = test::RunInChildEndedBy(SIGKILL, [&](const std::function<void()>& die) {
            int seen = 0;
            SetSaveStepHookForTesting([&](SaveStep s) {
                if (s == SaveStep::Replace && seen++ == killedAt) die();
                return 0;
            });
            WriteBankFiles(dir.path(), second.Banks());
        });
        ASSERT_EQ(ended, SIGKILL);
        const auto list = BankSetList::Read(bin);
        ASSERT_TRUE(list);
        bool whole = true;
        for (const char* name : {"bank1.bin", "bank2.bin", "bank3.bin", "bank4.bin", "bank5.bin", kBankSourceFile}) {
            try {
                list->Require(name, ReadFile(bin / name));
            } catch (const Error&) {
                whole = false;
            }
        }
        EXPECT_TRUE(whole || ReadFile(bin / kBankSetFile) == oldList) << "a new list beside an old file";
    }
}

TEST(BankFiles, AFolderInTheWayStopsTheBuildBeforeAnyFileIsReplaced) {
    TempDir dir;
    WriteSampleProject(dir.path());
    fs::create_directories(dir / "bin/bank3.bin");  // a folder in the way
    BankCompiler compiler;
    try {
        CompileProject(compiler, dir.path());
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + (dir / "bin/bank3.bin").string() + "\". Is a directory");
    }
    EXPECT_EQ(FileNames(dir / "bin"), (std::set<std::string>{"bank3.bin"}));
}

// The folder that cannot be made is named with the system's reason, not the
// first file that could not go into it.
TEST(BankFiles, ABinFolderThatCannotBeMadeIsNamedWithItsReason) {
    TempDir dir;
    WriteFile(dir / "bin", "not a folder");
    BankCompiler compiler;
    try {
        WriteBankFiles(dir.path(), compiler.Banks());
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create folder \"" + (dir / "bin").string() + "\". Not a directory");
    }
    TempDir readOnly;
    test::OpenToEveryone(readOnly.path());
    ::chmod(readOnly.path().c_str(), 0555);
    EXPECT_TRUE(test::RunUnprivileged([&]() -> std::string {
        try {
            WriteBankFiles(readOnly.path(), compiler.Banks());
            return "bin was made in a read-only folder";
        } catch (const Error& e) {
            const std::string want = "Cannot create folder \"" + (readOnly / "bin").string() + "\". Permission denied";
            return e.what() == want ? "" : e.what();
        }
    }));
    ::chmod(readOnly.path().c_str(), 0755);
}

TEST(BankFiles, AFailedBuildWritesNoFiles) {
    TempDir dir;
    WriteFile(dir / "pargen.xml", "<GeneralParameter>");
    BankCompiler compiler;
    EXPECT_THROW(CompileProject(compiler, dir.path()), Error);
    EXPECT_FALSE(fs::exists(dir / "bin"));
}

}  // namespace
}  // namespace vestrel
