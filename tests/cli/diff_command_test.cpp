#include "cli/cli.h"

#include "support/cli_run.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using namespace test;
namespace fs = std::filesystem;

using Result = test::CliRun;
using test::Cli;

const fs::path kExamples = VESTREL_EXAMPLES_DIR;
const fs::path kDemo = kExamples / "workspace/PROJECTS/Demo";
const std::string kBase = (kExamples / "workspace/MASTER/SX58316.sx").string();

fs::path DemoCopy(const TempDir& dir, const std::string& name) {
    fs::copy(kDemo, dir / name, fs::copy_options::recursive);
    return dir / name;
}

void Replace(const fs::path& file, const std::string& from, const std::string& to) {
    std::string text = ReadFile(file);
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    WriteFile(file, text.replace(at, from.size(), to));
}

// Lines of `text` after the two of the head, without the last (the count).
std::vector<std::string> ChangeLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (lines.size() < 3) return {};
    return {lines.begin() + 2, lines.end() - 1};
}

// As diff(1): 0 the same, 1 different, 2 trouble, the command line
// included; the side that could not be read is named.
TEST(CliDiff, ExitsAsDiffDoes) {
    TempDir dir;
    const fs::path changed = DemoCopy(dir, "Changed");
    Replace(changed / "pargen.xml", "<IDDev_Ser>1", "<IDDev_Ser>2");
    const std::string demo = kDemo.string();

    Result r = Cli({"diff", demo, demo});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("old: project folder " + demo + ", SHA-256 ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(" of the sha256sum lines of pargen.xml RCobDef.xml TCobDef.xml RInfoCob.xml TInfoCob.xml\n"),
              std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - 11), "No changes\n");

    r = Cli({"diff", demo, changed.string(), "--old-label", "v1", "--new-label", "v2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("old: project folder v1, SHA-256 ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nnew: project folder v2, SHA-256 "), std::string::npos);
    EXPECT_EQ(ChangeLines(r.out), std::vector<std::string>{"Modbus device address: 1 -> 2"});
    EXPECT_EQ(r.err, "");

    r = Cli({"diff", demo, (dir / "none").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vestrel-cli: new: Project folder \"" + (dir / "none").string() + "\" not found\n");
    Replace(changed / "RCobDef.xml", R"(Dimensin="8")", R"(Dimensin="eight")");
    r = Cli({"diff", changed.string(), demo});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("vestrel-cli: old: RCobDef.xml: row 1: Dimensin: 'eight' is not a valid integer value", 0), 0u)
        << r.err;
    // A bank set that a build left half written is refused.
    const fs::path bin = DemoCopy(dir, "Built") / "bin";
    ASSERT_EQ(Cli({"build", bin.parent_path().string()}).status, 0);
    std::string bank1 = ReadFile(bin / "bank1.bin");
    bank1[5000] ^= 1;
    WriteFile(bin / "bank1.bin", bank1);
    r = Cli({"diff", demo, bin.string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("do not come from one compile: bank1.bin is not the file banks.sha256 lists"),
              std::string::npos)
        << r.err;
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"diff", demo}, {"diff", demo, demo, demo}, {"diff", demo, demo, "--format", "pdf"}})
        EXPECT_EQ(Cli(args).status, 2) << ::testing::PrintToString(args);
}

// A Mnemonic shows as text in every format, and an output never replaces
// one of the sides' files.
TEST(CliDiff, EachFormatEscapesWhatTheFilesHold) {
    TempDir dir;
    const fs::path changed = DemoCopy(dir, "Changed");
    Replace(changed / "RCobDef.xml", R"(Mnemonic="Alarm word")", R"(Mnemonic="&lt;b&gt;*[x](y)*&#9;")");
    const std::string a = kDemo.string(), b = changed.string();
    const std::string line = "receive frame 3 (COB-ID 0x381): Mnemonic \"Alarm word\" -> ";
    EXPECT_NE(Cli({"diff", a, b}).out.find(line + "\"<b>*[x](y)*\\x09\""), std::string::npos);
    const Result md = Cli({"diff", a, b, "--format", "md"});
    EXPECT_EQ(md.out.rfind("# Configuration changes\n\n- old: project folder ", 0), 0u) << md.out;
    EXPECT_NE(md.out.find(R"(- receive frame 3 (COB-ID 0x381): Mnemonic "Alarm word" -&gt; "&lt;b&gt;\*\[x\](y)\*\\x09")"),
              std::string::npos)
        << md.out;
    const Result html = Cli({"diff", a, b, "--format", "html", "--out", (dir / "changes.html").string()});
    EXPECT_EQ(html.status, 1);
    EXPECT_EQ(html.out, "");
    const std::string page = ReadFile(dir / "changes.html");
    EXPECT_NE(page.find("<li class=\"off\">receive frame 3 (COB-ID 0x381): Mnemonic &quot;Alarm word&quot; -&gt; "
                        "&quot;&lt;b&gt;*[x](y)*\\x09&quot;"),
              std::string::npos)
        << page;

    const std::string before = ReadFile(changed / "RCobDef.xml");
    const Result refused = Cli({"diff", a, b, "--out", (changed / "rcobdef.XML").string()});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("rcobdef.XML"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(changed / "RCobDef.xml"), before);
}

// Two updates of one project give images that differ in their stamps only;
// a project against its decoded copy names only what the banks do not keep.
TEST(CliDiff, ImagesOfOneProjectAndItsDecodedCopy) {
    TempDir dir;
    const fs::path project = DemoCopy(dir, "Demo");
    const std::string image = (project / "New_SX58316.sx").string();
    ::setenv("TZ", "UTC0", 1);
    ::setenv("SOURCE_DATE_EPOCH", "1733661931", 1);
    Result r = Cli({"update", project.string(), kBase});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "First update: nothing to compare with\nThere is no New_SX58316.sx in the project folder yet.\n");
    fs::copy_file(image, dir / "first.sx");
    ::setenv("SOURCE_DATE_EPOCH", "1733748331", 1);
    r = Cli({"update", project.string(), kBase});
    ::unsetenv("SOURCE_DATE_EPOCH");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("No changes against the image in the project folder\nNew_SX58316.sx, written ", 0), 0u) << r.out;

    r = Cli({"diff", (dir / "first.sx").string(), image});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(ChangeLines(r.out), std::vector<std::string>{
                                      "note: the compile stamps differ, which counts as a change only with "
                                      "--stamps: Compile stamp: 08.12.24 12:45:30 (DD.MM.YY, seconds rounded down to "
                                      "even) -> 09.12.24 12:45:30 (DD.MM.YY, seconds rounded down to even)"});
    r = Cli({"diff", (dir / "first.sx").string(), image, "--stamps"});
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(ChangeLines(r.out).size(), 1u);
    EXPECT_EQ(ChangeLines(r.out)[0].rfind("Compile stamp: 08.12.24 12:45:30 ", 0), 0u);

    ASSERT_EQ(Cli({"decode", image, "--out", (dir / "Decoded").string()}).status, 0);
    r = Cli({"diff", project.string(), (dir / "Decoded").string()});
    EXPECT_EQ(r.status, 1);
    const std::vector<std::string> lines = ChangeLines(r.out);
    EXPECT_EQ(lines.size(), 5u) << r.out;
    for (const std::string& line : lines)
        EXPECT_NE(line.find(": Mnemonic \""), std::string::npos) << line;
    EXPECT_NE(r.out.find("\n5 changes, 5 of them never reach the device\n"), std::string::npos);
}

// What an imported signal means changed: its scaling and range, or its word
// order, which moves the bytes of its registers as well.
TEST(CliDiff, ImportedSignalsAreComparedThroughTheirFile) {
    TempDir dir;
    const fs::path a = DemoCopy(dir, "A"), b = DemoCopy(dir, "B");
    const std::string dbc = ReadFile(kExamples / "demo-drive.dbc");
    WriteFile(dir / "a.dbc", dbc);
    std::string scaled = dbc;
    const std::string from = "DCLinkVoltage : 4|12@1+ (0.1,0) [0|409.5]";
    ASSERT_NE(scaled.find(from), std::string::npos);
    WriteFile(dir / "b.dbc", scaled.replace(scaled.find(from), from.size(), "DCLinkVoltage : 4|12@1+ (0.2,0) [0|819]"));
    ASSERT_EQ(Cli({"import-signals", a.string(), (dir / "a.dbc").string(), "--receive", "DriveDiagnostics"}).status, 0);
    ASSERT_EQ(Cli({"import-signals", b.string(), (dir / "b.dbc").string(), "--receive", "DriveDiagnostics",
                   "--word-order", "low-first"})
                  .status,
              0);
    const Result r = Cli({"diff", a.string(), b.string()});
    EXPECT_EQ(r.status, 1);
    const std::string never = " (never reaches the device: signals.xml is not compiled into the banks)";
    EXPECT_EQ(ChangeLines(r.out),
              (std::vector<std::string>{
                  R"(receive register 23: high byte B8 -> B6, low byte B7 -> B5, of receive frame 4 "DriveDiagnostics" (COB-ID 0x481))",
                  R"(receive register 24: high byte B6 -> B8, low byte B5 -> B7, of receive frame 4 "DriveDiagnostics" (COB-ID 0x481))",
                  "receive signal DriveDiagnostics.DCLinkVoltage: scaling raw × 0.1 V -> raw × 0.2 V, range "
                  "0.0..409.5 -> 0.0..819.0" + never,
                  "receive signal DriveDiagnostics.OperatingHours: word order high word first -> low word first" + never}));
}

}  // namespace
}  // namespace vestrel
