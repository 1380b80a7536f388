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

// Every name a project folder can have comes back as it was written: blanks
// at either end, quotes, "=" and ";" inside, bytes that are not UTF-8.
TEST(IniFile, EveryValueWithoutALineBreakComesBackExactly) {
    TempDir dir;
    for (const std::string& value :
         {std::string("/Plant1 "), std::string("/Plant 1\t"), std::string(" /lead"), std::string("/\"quoted\""),
          std::string("\"x\""), std::string("\""), std::string("/a=b;c #d"), std::string("/caf\xe9"),
          std::string("/<<<EOF"), std::string("/x\x01y")}) {
        WriteIniString(dir / "a.ini", "lastproj", "projectname", value);
        EXPECT_EQ(ReadIniString(dir / "a.ini", "lastproj", "projectname"), value) << ReadFile(dir / "a.ini");
    }
    // A plain value is written plain, as other programs expect it.
    WriteIniString(dir / "a.ini", "lastproj", "projectname", "/Plant1");
    EXPECT_EQ(ReadFile(dir / "a.ini"), "[lastproj]\nprojectname=/Plant1\n");
    EXPECT_THROW(WriteIniString(dir / "a.ini", "lastproj", "projectname", "/a\nb"), Error);
    EXPECT_EQ(ReadIniString(dir / "a.ini", "lastproj", "projectname"), "/Plant1");
}

// The write changes the value's bytes and nothing else.
TEST(IniFile, WritingAValueLeavesEveryOtherByteAsItWas) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"CR LF, a line without \"=\" and two of the key",
         "\xEF\xBB\xBF; kept\r\n[window]\r\nleft=10\r\nloose line\r\n\r\n[LastProj]\r\n"
         "projectname=/First\r\n  ProjectName  =  /Second  \r\nother=1\r\n",
         "\xEF\xBB\xBF; kept\r\n[window]\r\nleft=10\r\nloose line\r\n\r\n[LastProj]\r\n"
         "projectname=/First\r\n  ProjectName  =  /Plant1\r\nother=1\r\n"},
        {"the section without the key",
         "[lastproj]\r\nother=1\r\n[next]\r\n",
         "[lastproj]\r\nprojectname=/Plant1\r\nother=1\r\n[next]\r\n"},
        {"the section last, without a line break",
         "a=1\n[lastproj]",
         "a=1\n[lastproj]\nprojectname=/Plant1\n"},
        {"no section", "[window]\r\nleft=10", "[window]\r\nleft=10\r\n[lastproj]\r\nprojectname=/Plant1\r\n"},
        {"a key of another section", "[other]\nprojectname=/x\n[lastproj\nprojectname=/y\n",
         "[other]\nprojectname=/x\n[lastproj\nprojectname=/y\n[lastproj]\nprojectname=/Plant1\n"},
    };
    for (const Case& c : cases) {
        WriteFile(dir / "a.ini", c.before);
        WriteIniString(dir / "a.ini", "lastproj", "projectname", "/Plant1");
        EXPECT_EQ(ReadFile(dir / "a.ini"), c.after) << c.name;
        EXPECT_EQ(ReadIniString(dir / "a.ini", "lastproj", "projectname"), "/Plant1") << c.name;
    }
}

}  // namespace
}  // namespace vestrel
