#include "project/project_xml.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(ProjectXml, WritesTheDocumentElementAloneWithAttributesInTheOrderFirstSet) {
    TempDir dir;
    ProjectXml xml;
    auto root = xml.AddDocumentElement("COBID");
    auto row = xml.AppendChild(root, "row");
    xml.SetAttribute(row, "CobID", "0x181");
    xml.SetAttribute(row, "Dimensin", "8");
    xml.SetAttribute(row, "Mnemonic", "");
    xml.SetAttribute(row, "CobID", "385");  // replaced in place, not moved to the end
    xml.AppendChild(root, "row");
    xml.SaveToFile(dir / "t.xml");
    EXPECT_EQ(ReadFile(dir / "t.xml"), R"(<COBID><row CobID="385" Dimensin="8" Mnemonic=""/><row/></COBID>)");
}

TEST(ProjectXml, EscapesOnWriteAndUnescapesOnRead) {
    TempDir dir;
    const std::string tricky = "a&b<c>\"d' \xC3\xA9\xE2\x82\xAC";  // é and € as UTF-8
    ProjectXml xml;
    auto root = xml.AddDocumentElement("GeneralParameter");
    xml.SetText(xml.AppendChild(root, "IDDev_Ser"), tricky);
    xml.SetAttribute(xml.AppendChild(root, "row"), "Mnemonic", tricky);
    xml.SaveToFile(dir / "t.xml");
    std::string bytes = ReadFile(dir / "t.xml");
    EXPECT_NE(bytes.find("\xC3\xA9\xE2\x82\xAC"), std::string::npos) << "UTF-8 written as is: " << bytes;
    EXPECT_EQ(bytes.find("<?xml"), std::string::npos);

    ProjectXml read;
    read.LoadFromFile(dir / "t.xml");
    auto doc = read.DocumentElement();
    EXPECT_EQ(read.Text(read.FindChild(doc, "IDDev_Ser")), tricky);
    EXPECT_EQ(read.Attribute(read.FindChild(doc, "row"), "Mnemonic"), tricky);
}

TEST(ProjectXml, RefusesTextThatNoXmlFileCanCarry) {
    ProjectXml xml;
    auto root = xml.AddDocumentElement("COBID");
    auto row = xml.AppendChild(root, "row");
    EXPECT_THROW(xml.SetAttribute(row, "Mnemonic", std::string("a\x01") + "b"), Error);
    EXPECT_THROW(xml.SetAttribute(row, "Mnemonic", "\xFF\xFE"), Error);
    EXPECT_NO_THROW(xml.SetAttribute(row, "Mnemonic", "tab\there"));
}

TEST(ProjectXml, IndentedFileWithDeclarationReadsLikeTheCompactForm) {
    TempDir dir;
    WriteFile(dir / "compact.xml", R"(<COBID><row CobID="1" Dimensin="2" Mnemonic="x"/><row CobID="3" Dimensin="4" Mnemonic=""/></COBID>)");
    WriteFile(dir / "indented.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- kept by hand -->\r\n<COBID>\r\n"
              "  <row CobID=\"1\" Dimensin=\"2\" Mnemonic=\"x\"/>\r\n  <!-- a comment is not a row -->\r\n"
              "\t<row CobID=\"3\" Dimensin=\"4\" Mnemonic=\"\"/>\r\n</COBID>\r\n");
    for (const char* name : {"compact.xml", "indented.xml"}) {
        ProjectXml xml;
        xml.LoadFromFile(dir / name);
        auto root = xml.FindTopLevelElement("COBID");
        ASSERT_TRUE(root) << name;
        EXPECT_EQ(root, xml.DocumentElement());
        ASSERT_EQ(xml.ChildCount(root), 2) << name;
        EXPECT_EQ(xml.Attribute(xml.Child(root, 1), "CobID"), "3");
        EXPECT_FALSE(xml.Child(root, 2));
        EXPECT_FALSE(xml.Child(root, -1));
    }
}

TEST(ProjectXml, EmptyAttributeAndAbsentAttributeStayDistinct) {
    TempDir dir;
    WriteFile(dir / "t.xml", R"(<TCobDef><row CobID="" /></TCobDef>)");
    ProjectXml xml;
    xml.LoadFromFile(dir / "t.xml");
    auto row = xml.Child(xml.DocumentElement(), 0);
    EXPECT_EQ(xml.Attribute(row, "CobID"), std::optional<std::string>(""));
    EXPECT_EQ(xml.Attribute(row, "RTR"), std::nullopt);
    EXPECT_FALSE(xml.FindTopLevelElement("COBID"));
    EXPECT_FALSE(xml.FindChild(xml.DocumentElement(), "row2"));
    EXPECT_EQ(xml.Text(xml.FindChild(xml.DocumentElement(), "row")), "");
}

TEST(ProjectXml, FollowsTheDeclaredEncoding) {
    TempDir dir;
    WriteFile(dir / "t.xml", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r><row Mnemonic=\"\xE9\x80\"/></r>");
    ProjectXml xml;
    xml.LoadFromFile(dir / "t.xml");
    EXPECT_EQ(xml.Attribute(xml.Child(xml.DocumentElement(), 0), "Mnemonic"), "\xC3\xA9\xE2\x82\xAC");
}

XmlParseError ParseErrorOf(const std::string& content) {
    TempDir dir;
    WriteFile(dir / "bad.xml", content);
    ProjectXml xml;
    try {
        xml.LoadFromFile(dir / "bad.xml");
    } catch (const XmlParseError& e) {
        return e;
    }
    ADD_FAILURE() << "parsed: " << content;
    return XmlParseError("", 0, "");
}

TEST(ProjectXml, ParseErrorsNameTheReasonTheLineAndTheSource) {
    XmlParseError twoRoots = ParseErrorOf("<COBID/>\n<COBID/>");
    EXPECT_EQ(twoRoots.Line(), 2);
    EXPECT_EQ(twoRoots.Source(), "<COBID/>");
    EXPECT_EQ(twoRoots.Column(), 1);
    EXPECT_EQ(std::string(twoRoots.what()), twoRoots.Reason() + "\nLine: 2, column 1\n<COBID/>");
    EXPECT_FALSE(twoRoots.Reason().empty());
    EXPECT_NE(twoRoots.Reason().back(), '\n');

    XmlParseError rawLess = ParseErrorOf("<r>\n<row a=\"<\"/>\n</r>");
    EXPECT_EQ(rawLess.Line(), 2);

    XmlParseError undefinedEntity = ParseErrorOf("<r a=\"&nbsp;\"/>");
    EXPECT_EQ(undefinedEntity.Line(), 1);

    XmlParseError empty = ParseErrorOf("");
    EXPECT_EQ(empty.Line(), 1);
    EXPECT_FALSE(empty.Reason().empty());
}

TEST(ProjectXml, AParseErrorQuotesOnlyAFileOfItsOwnFolder) {
    // A project file that is a link to a file elsewhere (/etc/shadow,
    // /proc/self/environ) is named with its line and column, its text never shown.
    TempDir dir, elsewhere;
    WriteFile(elsewhere / "secret", "SECRET=hunter2\n");
    WriteFile(dir / "broken.xml", "SECRET=local\n");
    std::filesystem::create_symlink(elsewhere / "secret", dir / "outside.xml");
    std::filesystem::create_symlink("broken.xml", dir / "inside.xml");
    std::filesystem::create_symlink("/proc/self/environ", dir / "environ.xml");
    const std::pair<const char*, bool> cases[] = {
        {"broken.xml", true}, {"inside.xml", true}, {"outside.xml", false}, {"environ.xml", false}};
    for (const auto& [name, quoted] : cases) {
        ProjectXml xml;
        try {
            xml.LoadFromFile(dir / name);
            ADD_FAILURE() << name << " parsed";
        } catch (const XmlParseError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find("\nLine: 1, column 1\n"), std::string::npos) << what;
            EXPECT_EQ(what.find("SECRET=") != std::string::npos, quoted) << name << ": " << what;
            if (!quoted) {
                EXPECT_EQ(e.Source(), "(the text is not shown: the file lies outside its folder)");
            }
        } catch (const Error& e) {
            ADD_FAILURE() << name << ": " << e.what();
        }
    }
}

TEST(ProjectXml, ParseErrorSourceIsAtMostFortyCharacters) {
    std::string longLine = "<r>" + std::string(100, 'a') + "&bad;" + std::string(100, 'b') + "</r>";
    XmlParseError e = ParseErrorOf(longLine);
    EXPECT_LE(e.Source().size(), 40u);
    EXPECT_FALSE(e.Source().empty());
}

TEST(ProjectXml, MissingFileIsAnErrorWithThePlatformsReason) {
    TempDir dir;
    ProjectXml xml;
    try {
        xml.LoadFromFile(dir / "none.xml");
        FAIL();
    } catch (const XmlParseError&) {
        FAIL() << "not a parse error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("No such file"), std::string::npos) << e.what();
    }
}

TEST(ProjectXml, LoadingAgainReplacesTheDocument) {
    TempDir dir;
    WriteFile(dir / "a.xml", "<a><x/></a>");
    WriteFile(dir / "b.xml", "<b/>");
    ProjectXml xml;
    xml.LoadFromFile(dir / "a.xml");
    EXPECT_EQ(xml.ChildCount(xml.DocumentElement()), 1);
    xml.LoadFromFile(dir / "b.xml");
    EXPECT_TRUE(xml.FindTopLevelElement("b"));
    EXPECT_EQ(xml.ChildCount(xml.DocumentElement()), 0);
    xml.Clear();
    EXPECT_FALSE(xml.DocumentElement());
}

}  // namespace
}  // namespace vestrel
