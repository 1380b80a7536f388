#include "platform/file_util.h"

#include "platform/error.h"
#include "platform/output_file.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ReadFile;
using test::FileSizeLimit;
using test::TempDir;
using test::WriteFile;

std::size_t EntryCount(const std::filesystem::path& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(FindFileNoCase, MatchesIgnoringCaseAndPrefersTheExactName) {
    TempDir dir;
    EXPECT_EQ(FindFileNoCase(dir.path(), "pargen.xml"), std::nullopt);
    WriteFile(dir / "Pargen.XML", "a");
    EXPECT_EQ(FindFileNoCase(dir.path(), "pargen.xml"), dir / "Pargen.XML");
    EXPECT_EQ(PathForWriteNoCase(dir.path(), "PARGEN.xml"), dir / "Pargen.XML");
    EXPECT_EQ(PathForWriteNoCase(dir.path(), "RCobDef.xml"), dir / "RCobDef.xml");
    WriteFile(dir / "pargen.xml", "b");
    EXPECT_EQ(FindFileNoCase(dir.path(), "pargen.xml"), dir / "pargen.xml");
    std::filesystem::create_directory(dir / "rcobdef.xml");
    EXPECT_EQ(FindFileNoCase(dir.path(), "RCobDef.xml"), std::nullopt) << "a folder is not a file";
    EXPECT_EQ(FindFileNoCase(dir / "missing", "x"), std::nullopt);
}

TEST(WriteFileAtomic, ReplacesTheFileAndLeavesNoTemporaryFile) {
    TempDir dir;
    WriteFile(dir / "f.xml", "old");
    ::chmod((dir / "f.xml").c_str(), 0640);
    WriteFileAtomic(dir / "f.xml", "new content");
    EXPECT_EQ(ReadFile(dir / "f.xml"), "new content");
    EXPECT_EQ(EntryCount(dir.path()), 1u);
    struct stat st {};
    ::stat((dir / "f.xml").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the replaced file's permissions are kept";
}

TEST(WriteFileAtomic, AFullDiskLeavesTheOldFileByteForByte) {
    TempDir dir;
    WriteFile(dir / "f.xml", "the old file");
    {
        FileSizeLimit limit(64);
        try {
            WriteFileAtomic(dir / "f.xml", std::string(100000, 'x'));
            FAIL() << "the write succeeded";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find("Cannot write file"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find((dir / "f.xml").string()), std::string::npos);
        }
    }
    EXPECT_EQ(ReadFile(dir / "f.xml"), "the old file");
    EXPECT_EQ(EntryCount(dir.path()), 1u);
}

TEST(WriteFileAtomic, AMissingFolderIsReportedWithThePlatformsReason) {
    TempDir dir;
    try {
        WriteFileAtomic(dir / "bin" / "bank1.bin", "x");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + (dir / "bin" / "bank1.bin").string() + "\". No such file or directory");
    }
}

TEST(WriteFileAtomic, AReadOnlyFolderKeepsTheOldFile) {
    TempDir dir;
    WriteFile(dir / "f.xml", "old");
    test::OpenToEveryone(dir.path());
    ::chmod(dir.path().c_str(), 0555);
    EXPECT_TRUE(test::RunUnprivileged([&]() -> std::string {
        try {
            WriteFileAtomic(dir / "f.xml", "new");
            return "the write into a read-only folder succeeded";
        } catch (const Error& e) {
            if (std::string(e.what()).find("Permission denied") == std::string::npos) return e.what();
        }
        return ReadFile(dir / "f.xml") == "old" ? "" : "the old file changed";
    }));
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(ReadFile(dir / "f.xml"), "old");
    EXPECT_EQ(EntryCount(dir.path()), 1u);
}

TEST(AtomicFileWriter, NothingIsVisibleUntilCommitAndDiscardRemovesTheTemporaryFile) {
    TempDir dir;
    WriteFile(dir / "out.sx", "old");
    {
        AtomicFileWriter writer(dir / "out.sx");
        writer.Write(std::string(1 << 20, 'a'));  // more than one buffer
        writer.Write("b");
        EXPECT_EQ(ReadFile(dir / "out.sx"), "old");
    }
    EXPECT_EQ(ReadFile(dir / "out.sx"), "old");
    EXPECT_EQ(EntryCount(dir.path()), 1u);

    AtomicFileWriter writer(dir / "out.sx");
    writer.Write(std::string(1 << 20, 'a'));
    writer.Write("b");
    writer.Commit();
    std::string written = ReadFile(dir / "out.sx");
    EXPECT_EQ(written.size(), (1u << 20) + 1);
    EXPECT_EQ(written.back(), 'b');
    EXPECT_EQ(EntryCount(dir.path()), 1u);
}

std::vector<std::string> Names(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicFileWriter, AWorkFileIsRemovedByItsLockNotByItsProcessId) {
    TempDir dir;
    SetSaveStepHookForTesting([](SaveStep s) { return s == SaveStep::Create ? EOPNOTSUPP : 0; });
    // Left by a kill on another host or before a reboot: its process id may
    // well be in use again, here this very process.
    const std::string stale = ".New.sx.vestrel-" + std::to_string(::getpid()) + "-a1b2c3";
    WriteFile(dir / stale, "stale");
    WriteFile(dir / ".notes.vestrel-keep", "not a work file");
    AtomicFileWriter writing(dir / "New.sx");
    writing.Write("being written");
    const auto names = Names(dir.path());
    EXPECT_EQ(names.size(), 2u) << "the live work file beside the notes";
    EXPECT_EQ(std::count(names.begin(), names.end(), stale), 0) << "the stale work file is kept";
    WriteFileAtomic(dir / "other.csv", "x");  // does not touch a work file in use
    writing.Commit();
    SetSaveStepHookForTesting({});
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{".notes.vestrel-keep", "New.sx", "other.csv"}));
    EXPECT_EQ(ReadFile(dir / "New.sx"), "being written");
}

TEST(OutputFile, ALinkIsWrittenWhereItLeadsAndStaysALink) {
    TempDir dir;
    std::filesystem::create_directories(dir / "flasher");
    WriteFile(dir / "flasher" / "image.sx", "old");
    // A chain of links, relative and absolute, to a file in another folder.
    std::filesystem::create_symlink("flasher/image.sx", dir / "first");
    std::filesystem::create_symlink(dir / "first", dir / "New.sx");
    EXPECT_EQ(OutputTarget(dir / "New.sx"), dir / "flasher/image.sx");
    EXPECT_EQ(OutputFolder(dir / "New.sx"), dir / "flasher");
    WriteFileAtomic(dir / "New.sx", "new");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "New.sx"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "first"));
    EXPECT_EQ(ReadFile(dir / "flasher" / "image.sx"), "new");
    EXPECT_EQ(EntryCount(dir / "flasher"), 1u) << "no work file beside the target";
    EXPECT_EQ(EntryCount(dir.path()), 3u);

    // What no save can replace is refused with the reason, and left alone.
    std::filesystem::create_symlink("loop2", dir / "loop1");
    std::filesystem::create_symlink("loop1", dir / "loop2");
    std::filesystem::create_symlink("flasher", dir / "folder");
    std::filesystem::create_symlink("/dev/null", dir / "null");
    const std::pair<const char*, std::string> refused[] = {
        {"loop1", "Cannot create file \"" + (dir / "loop1").string() + "\". Too many levels of symbolic links"},
        {"folder", "Cannot create file \"" + (dir / "flasher").string() + "\". Is a directory"},
        {"null", "The file \"/dev/null\" cannot be written: it is a device, not a file"},
    };
    for (const auto& [name, message] : refused) {
        try {
            WriteFileAtomic(dir / name, "x");
            ADD_FAILURE() << name << " was written";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "null"));
}

TEST(ReadWholeFile, ReadsBytesAndReportsMissingFiles) {
    TempDir dir;
    WriteFile(dir / "b", std::string("a\0b\r\n", 5));
    EXPECT_EQ(ReadWholeFile(dir / "b"), std::string("a\0b\r\n", 5));
    EXPECT_THROW(ReadWholeFile(dir / "none"), Error);
}

}  // namespace
}  // namespace vestrel
