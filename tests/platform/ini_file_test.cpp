#include "platform/ini_file.h"

#include "platform/error.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(IniFile, MissingFileSectionOrKeyGivesTheFallback) {
    TempDir dir;
    EXPECT_EQ(ReadIniString(dir / "a.ini", "lastproj", "projectname"), "");
    WriteFile(dir / "a.ini", "[other]\nprojectname=x\n");
    EXPECT_EQ(ReadIniString(dir / "a.ini", "lastproj", "projectname", "none"), "none");
}

TEST(IniFile, WritingOneValueKeepsTheRestOfTheFile) {
    TempDir dir;
    WriteFile(dir / "a.ini", "; kept comment\n[window]\nleft=10\n\n[lastproj]\nprojectname=/Old\n");
    WriteIniString(dir / "a.ini", "lastproj", "projectname", "/Plant1");
    std::string text = ReadFile(dir / "a.ini");
    EXPECT_NE(text.find("; kept comment"), std::string::npos) << text;
    EXPECT_NE(text.find("left=10"), std::string::npos) << text;
    EXPECT_NE(text.find("projectname=/Plant1"), std::string::npos) << text;
    EXPECT_EQ(text.find("/Old"), std::string::npos) << text;
    EXPECT_EQ(ReadIniString(dir / "a.ini", "lastproj", "projectname"), "/Plant1");
    EXPECT_EQ(ReadIniString(dir / "a.ini", "window", "left"), "10");
}

TEST(IniFile, CreatesTheFileAndStoresEmptyAndNestedNames) {
    TempDir dir;
    WriteIniString(dir / "a.ini", "lastproj", "projectname", "");
    EXPECT_EQ(ReadIniString(dir / "a.ini", "lastproj", "projectname", "x"), "");
    WriteIniString(dir / "a.ini", "lastproj", "projectname", "/Site A/Line 2");
    EXPECT_EQ(ReadIniString(dir / "a.ini", "lastproj", "projectname"), "/Site A/Line 2");
    EXPECT_THROW(WriteIniString(dir / "missing" / "a.ini", "s", "k", "v"), Error);
}

}  // namespace
}  // namespace vestrel
