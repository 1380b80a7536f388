#include "platform/file_util.h"

#include "platform/error.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

#include <sys/resource.h>
#include <sys/stat.h>

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

TEST(ReadWholeFile, ReadsBytesAndReportsMissingFiles) {
    TempDir dir;
    WriteFile(dir / "b", std::string("a\0b\r\n", 5));
    EXPECT_EQ(ReadWholeFile(dir / "b"), std::string("a\0b\r\n", 5));
    EXPECT_THROW(ReadWholeFile(dir / "none"), Error);
}

}  // namespace
}  // namespace vestrel
