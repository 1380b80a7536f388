#include "gateway/register_report.h"

#include "gateway_test_support.h"
#include "project/project_xml.h"

#include <regex>

#include <gtest/gtest.h>

namespace vestrel::gateway {
namespace {

using namespace test;

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A project whose mnemonics carry markup, quotes, '|' and control characters.
ProjectModel NastyProject(const TempDir& dir) {
    WriteProject(dir.path(), "0", {{"0x181", 2, "a|b &lt;script&gt;alert(1)&lt;/script&gt; &quot;q&quot;&#9;"}},
                 {{7, 1, 0x21}, {8, 1, 0x3A}}, {{"0x201", 4, "Set, &amp; go"}}, {{100, 1, 0x12}});
    return LoadProjectModel(dir.path());
}

ReportInput Input(const ProjectModel& loaded) {
    ReportInput input;
    input.model = &loaded.model;
    input.problems = loaded.problems;
    input.sourceName = "Plant <1>";
    return input;
}

TEST(RegisterReport, TablesListTheRegistersInOrderWithTheBytesThatFeedThem) {
    TempDir dir;
    const ProjectModel loaded = NastyProject(dir);
    EXPECT_EQ(RegisterMapCsv(Input(loaded)),
              "direction,register,frame,cob_id,mnemonic,high_byte,low_byte\n"
              "receive,7,1,0x181,\"a|b <script>alert(1)</script> \"\"q\"\"\\x09\",B2,B1\n"
              "receive,8,1,0x181,\"a|b <script>alert(1)</script> \"\"q\"\"\\x09\",B3 (past Dimensin 2),code 10 (no "
              "data byte)\n"
              "transmit,100,1,0x201,\"Set, & go\",B1,B2\n");
    const std::string md = RegisterMapMarkdown(Input(loaded));
    EXPECT_NE(md.find("| 7 | 1 | 0x181 | a\\|b &lt;script&gt;alert(1)&lt;/script&gt; \"q\"\\\\x09 | B2 | B1 |\n"),
              std::string::npos)
        << md;
    EXPECT_NE(md.find("| 7 low | 7 high | 8 high (past Dimensin) | past Dimensin | past Dimensin | past Dimensin | "
                      "past Dimensin | past Dimensin |\n"),
              std::string::npos)
        << md;
    EXPECT_NE(md.find("- Receive: Record 2 (register 8): the high byte comes from B3, but frame 1 (COB-ID 0x181) "
                      "has Dimensin 2; that half is never fed\n"),
              std::string::npos)
        << md;
}

TEST(RegisterReport, NoCellBecomesAFormulaALinkOrAnImage) {
    TempDir dir;
    WriteProject(dir.path(), "0",
                 {{"0x181", 2, "=HYPERLINK(&quot;http://evil/x&quot;,&quot;Speed&quot;)"},
                  {"0x281", 2, "[t](http://evil/x) ![i](http://evil/i.png) C:\\dir\\*new*"}},
                 {{1, 1, 0x12}, {2, 2, 0x12}}, {{"0x201", 2, "-1+cmd|' /C calc'!A0"}}, {{100, 1, 0x12}});
    const ProjectModel loaded = LoadProjectModel(dir.path());
    const std::string csv = RegisterMapCsv(Input(loaded));
    EXPECT_NE(csv.find("receive,1,1,0x181,\"'=HYPERLINK(\"\"http://evil/x\"\",\"\"Speed\"\")\",B1,B2\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("transmit,100,1,0x201,'-1+cmd|' /C calc'!A0,B1,B2\n"), std::string::npos) << csv;
    const std::string md = RegisterMapMarkdown(Input(loaded));
    EXPECT_NE(md.find("| 2 | 2 | 0x281 | \\[t\\](http\\://evil/x) !\\[i\\](http\\://evil/i.png) C:\\\\dir\\\\\\*new\\* |"),
              std::string::npos)
        << md;
}

TEST(RegisterReport, TheHtmlIsOneWellFormedPageWithEverythingEscaped) {
    TempDir dir;
    const ProjectModel loaded = NastyProject(dir);
    const std::string html = RegisterMapHtml(Input(loaded));
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find('\t'), std::string::npos);
    EXPECT_NE(html.find("<title>Register map: Plant &lt;1&gt;</title>"), std::string::npos);
    EXPECT_NE(html.find("<td>a|b &lt;script&gt;alert(1)&lt;/script&gt; &quot;q&quot;\\x09</td>"), std::string::npos);
    // Nothing it needs lies outside the file.
    EXPECT_EQ(html.find("src="), std::string::npos);
    EXPECT_EQ(html.find("href="), std::string::npos);
    EXPECT_EQ(html.find("url("), std::string::npos);
    EXPECT_EQ(Count(html, "<svg "), 2u);
    // An XML parser takes it: no markup from the project leaked through.
    WriteFile(dir / "report.html", html);
    ProjectXml xml;
    EXPECT_NO_THROW(xml.LoadFromFile(dir / "report.html"));
}

TEST(RegisterReport, FramePicturesDrawAnArrowForEachByteThatFeedsARegisterHalf) {
    TempDir dir;
    WriteProject(dir.path(), "0", {{"0x181", 8}, {"0x281", 2}, {"0x381", 1}},
                 {{1, 1, 0x12}, {2, 1, 0x80}, {3, 2, 0x13}, {4, 2, 0xB0}},
                 {{"0x201", 2}}, {{100, 1, 0x21}});
    const GatewayModel model = LoadProjectModel(dir.path()).model;
    const struct {
        FrameDirection direction;
        int frame;
        std::size_t arrows, dashedArrows, greyBytes;
        std::vector<std::string> texts;  // that must appear
    } cases[] = {
        {FrameDirection::Receive, 0, 3, 0, 0, {"register 1", "register 2", ">none<"}},
        {FrameDirection::Receive, 1, 2, 1, 6, {"register 3", "register 4", ">code 11<"}},
        {FrameDirection::Receive, 2, 0, 0, 7, {}},
        {FrameDirection::Transmit, 0, 2, 0, 6, {"register 100"}},
    };
    for (const auto& c : cases) {
        const std::string svg = FramePictureSvg(model, c.direction, c.frame);
        EXPECT_EQ(Count(svg, "<polygon"), c.arrows) << svg;
        EXPECT_EQ(Count(svg, "<line"), c.arrows) << svg;
        EXPECT_EQ(Count(svg, "stroke-dasharray=\"4,3\"/><polygon"), c.dashedArrows) << svg;
        EXPECT_EQ(Count(svg, "fill=\"#eeeeee\""), c.greyBytes) << svg;
        for (const std::string& text : c.texts) EXPECT_NE(svg.find(text), std::string::npos) << text;
    }
    // A receive arrow points down at the register, a transmit one up at the byte.
    const std::regex firstLine("<line x1=\"[0-9.]+\" y1=\"([0-9.]+)\" x2=\"[0-9.]+\" y2=\"([0-9.]+)\"");
    std::smatch m;
    const std::string receive = FramePictureSvg(model, FrameDirection::Receive, 0);
    const std::string transmit = FramePictureSvg(model, FrameDirection::Transmit, 0);
    ASSERT_TRUE(std::regex_search(receive, m, firstLine));
    EXPECT_LT(std::stod(m[1]), std::stod(m[2]));
    ASSERT_TRUE(std::regex_search(transmit, m, firstLine));
    EXPECT_GT(std::stod(m[1]), std::stod(m[2]));
}

TEST(RegisterReport, SettingsInWordsLeaveOutTheStampOfAScratchCompile) {
    TempDir dir;
    WriteProject(dir.path(), "0", {}, {});
    const ProjectModel loaded = LoadProjectModel(dir.path());
    ReportInput input = Input(loaded);
    std::vector<std::string> names;
    for (const auto& [name, value] : SettingsInWords(input)) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"CAN bit rate", "CAN mode", "Serial bit rate", "Parity",
                                               "Serial interface", "Modbus device address", "Serial time-out",
                                               "Data time-out", "Time-out Modbus register", "Cancel data after read",
                                               "No cancel if read Input Reg."}));
    input.fromProject = false;
    EXPECT_EQ(SettingsInWords(input).back().first, "Compile stamp");
}

}  // namespace
}  // namespace vestrel::gateway
