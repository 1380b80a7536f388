#include "gateway/model_loading.h"
#include "gateway/register_report.h"
#include "gateway/report_signals.h"

#include "gateway_test_support.h"
#include "support/comma_locale.h"
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
    EXPECT_NE(md.find("- warning: RInfoCob.xml: row 2: PosComp 58: the high byte goes to B3, beyond Dimensin 2 of "
                      "frame 1\n"),
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

// Register 1 mapped from two frames is one problem, said once; the
// registers of a frame the lookup never selects say so where they are
// listed; the byte columns say which way the byte goes.
TEST(RegisterReport, EachProblemOnceUnreachedFramesMarkedHeadingsTrueToTheDirection) {
    TempDir dir;
    WriteProject(dir.path(), "0", {{"0x181", 8}, {"0x281", 2}, {"0x181", 2}}, {{1, 1, 0x12}, {1, 2, 0x12}, {5, 3, 0x10}},
                 {{"0x201", 2}}, {{100, 1, 0x12}});
    const ProjectModel loaded = LoadProjectModel(dir.path());
    ReportInput fromBanks = Input(loaded);
    fromBanks.problems.clear();
    fromBanks.fromProject = false;
    const std::string unreached = "1 (never receives: the banks select frame 3 for COB-ID 0x181)";
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> present;
        std::size_t registerOneLines;  // lines of the findings that speak of register 1
    };
    const std::vector<Case> cases = {
        {"html", RegisterMapHtml(Input(loaded)),
         {"<th>High byte from</th><th>Low byte from</th>", "<th>High byte to</th><th>Low byte to</th>",
          "<td class=\"n\">" + unreached + "</td>",
          "<li class=\"warning\">warning: RInfoCob.xml: row 2: register 1 is also mapped in row 1</li>"},
         1},
        {"markdown", RegisterMapMarkdown(Input(loaded)),
         {"| Register | Frame | COB-ID | Mnemonic | High byte from | Low byte from |",
          "| Register | Frame | COB-ID | Mnemonic | High byte to | Low byte to |", "| 1 | " + unreached + " |"},
         1},
        {"csv", RegisterMapCsv(Input(loaded)), {"receive,1," + unreached + ",0x181,"}, 0},
        {"from the banks", RegisterMapHtml(fromBanks),
         {"<li>Receive: Register 1 is in records 1 and 2, fed from frames 1 and 2</li>"}, 1},
    };
    for (const Case& c : cases) {
        for (const std::string& text : c.present) EXPECT_NE(c.text.find(text), std::string::npos) << c.name << ": " << text;
        const std::string findings = c.text.substr(0, c.text.find("Communication settings"));
        EXPECT_EQ(Count(findings, "egister 1 ") + Count(findings, "egister 1,"), c.registerOneLines) << c.name << findings;
    }
}

// Register labels of five digits get the room they need: the slots under
// the bytes are at least as far apart as the widest label.
TEST(RegisterReport, FivedigitRegisterLabelsDoNotRunIntoEachOther) {
    TempDir dir;
    WriteProject(dir.path(), "0", {{"0x181", 8}}, {{65531, 1, 0x12}, {65532, 1, 0x34}, {65533, 1, 0x56}, {7, 1, 0x78}});
    const std::string svg = FramePictureSvg(LoadProjectModel(dir.path()).model, FrameDirection::Receive, 0);
    const std::regex label("<text x=\"([0-9.]+)\"[^>]*>register ([0-9]+)</text>");
    std::vector<double> centres;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), label); it != std::sregex_iterator(); ++it)
        centres.push_back(std::stod((*it)[1]));
    ASSERT_EQ(centres.size(), 4u);
    // "register 65531" is 99.5 px wide in bold 12 px DejaVu Sans.
    for (std::size_t i = 1; i < centres.size(); ++i) EXPECT_GE(centres[i] - centres[i - 1], 99.5 + 4) << svg;
}

// Numbers in the pictures are the same whatever locale the program runs
// in: a German one would write "26,0632" and break every arrow.
TEST(RegisterReport, NumbersDoNotDependOnTheLocale) {
    TempDir dir;
    WriteProject(dir.path(), "0", {{"0x181", 8}}, {{1, 1, 0x18}, {2, 1, 0x27}, {3, 1, 0x36}});
    const ProjectModel loaded = LoadProjectModel(dir.path());
    const std::string before = RegisterMapHtml(Input(loaded));
    CommaLocale german;
    if (!german.Active()) GTEST_SKIP() << german.Why();
    ASSERT_EQ(std::to_string(0.5), "0,500000");  // the locale is in force
    const std::string html = RegisterMapHtml(Input(loaded));
    EXPECT_EQ(html, before);
    const std::regex number(" (x|y|x1|y1|x2|y2|width|height)=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), number); it != std::sregex_iterator(); ++it)
        EXPECT_TRUE(std::regex_match((*it)[2].str(), std::regex("[0-9.]+"))) << (*it)[0];
    const std::regex points("points=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), points); it != std::sregex_iterator(); ++it)
        EXPECT_TRUE(std::regex_match((*it)[1].str(), std::regex("[0-9.]+,[0-9.]+ [0-9.]+,[0-9.]+ [0-9.]+,[0-9.]+")))
            << (*it)[0];
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

// The notation of masters that count from 1: five digits while they reach,
// then six, for the register the section names.
TEST(RegisterReport, RegisterNumbersInTheNotationOfMastersThatCountFromOne) {
    const struct {
        int function;
        std::uint16_t reg;
        const char* number;
    } cases[] = {
        {3, 0, "40001"},     {4, 0, "30001"},     {3, 10, "40011"},      {4, 10, "30011"},
        {3, 9998, "49999"},  {3, 9999, "410000"}, {4, 9999, "310000"},   {3, 65535, "465536"},
    };
    for (const auto& c : cases) EXPECT_EQ(ModiconNumber(c.function, c.reg), c.number) << c.function << " " << c.reg;
}

}  // namespace
}  // namespace vestrel::gateway
