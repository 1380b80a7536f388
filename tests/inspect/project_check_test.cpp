#include "inspect/project_check.h"

#include "compiler/bank_builder.h"
#include "compiler/project_builder.h"
#include "platform/error.h"
#include "project/project_xml.h"

#include "platform/printable_text.h"

#include <gtest/gtest.h>

#include <map>

namespace vestrel {
namespace {

using namespace test;
using Files = std::map<std::string, std::string>;

std::string Rows(const std::string& root, const std::vector<std::string>& rows) {
    std::string xml = "<" + root + ">";
    for (const auto& row : rows) xml += "<row " + row + "/>";
    return xml + "</" + root + ">";
}

void WriteProject(const TempDir& dir, const Files& files) {
    for (const auto& [name, content] : files) WriteFile(dir / name, content);
}

// The lines of the problems of one severity, without the label that says it.
std::vector<std::string> Lines(const std::vector<Problem>& problems, Severity only) {
    std::vector<std::string> lines;
    const std::string label = only == Severity::Error ? "error: " : "warning: ";
    for (const Problem& p : problems) {
        if (p.severity != only) continue;
        const std::string line = FormatProblem(p);
        EXPECT_EQ(line.rfind(label, 0), 0u) << line;
        lines.push_back(line.substr(label.size()));
    }
    return lines;
}

std::vector<std::string> Lines(const std::vector<Problem>& problems) {
    std::vector<std::string> lines;
    for (const Problem& p : problems) lines.push_back(FormatProblem(p));
    return lines;
}

std::optional<std::string> CompileError(const std::filesystem::path& dir) {
    auto compiler = std::make_unique<BankCompiler>();
    try {
        compiler->BuildBankImages(dir, kStamp);
    } catch (const Error& e) {
        return e.what();
    }
    return std::nullopt;
}

// A project the editors could have written, with something in every file.
Files CleanProject(const std::string& canType = "0") {
    return {{"pargen.xml", PargenXml(With(DefaultSettings(), "CANType", canType))},
            {"RCobDef.xml", Rows("COBID", {R"(CobID="0x181" Dimensin="8" Mnemonic="a")",
                                           R"(CobID="0x182" Dimensin="2" Mnemonic="")"})},
            {"TCobDef.xml", Rows("COBID", {R"(CobID="0x201" Dimensin="8" RTR="N" Mnemonic="")",
                                           R"(CobID="0x202" Dimensin="1" RTR="Y" Mnemonic="")"})},
            {"RInfoCob.xml", Rows("RInfoCob", {R"(Index="1" NrPdo="1" PosComp="18")", R"(Index="2" NrPdo="2" PosComp="2")"})},
            {"TInfoCob.xml", Rows("TInfoCob", {R"(Index="0x10" NrPdo="1" PosComp="136")"})}};
}

Files Replaced(Files files, const std::string& name, const std::string& content) {
    files[name] = content;
    return files;
}

TEST(ProjectCheck, ProjectsTheEditorsWriteHaveNoProblem) {
    for (const char* canType : {"0", "1"}) {
        TempDir dir;
        WriteProject(dir, CleanProject(canType));
        EXPECT_EQ(Lines(CheckProject(dir.path())), std::vector<std::string>{}) << canType;
    }
}

// Each case: the files that differ from the clean project, and every line
// the check gives. None of them stops a compile.
TEST(ProjectCheck, Warnings) {
    const Files clean = CleanProject();
    struct Case {
        Files files;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {Replaced(clean, "RCobDef.xml", Rows("COBID", {R"(CobID="0x181" Dimensin="8")", R"(CobID="0x100" Dimensin="8")",
                                                   R"(CobID="385" Dimensin="8")", R"(CobID="0x181" Dimensin="8")"})),
         {"RCobDef.xml: row 1: CobID 0x181 is also used by row 4; in CAN 2.0A only row 4 is reachable through the "
          "lookup table",
          "RCobDef.xml: row 3: CobID 385 is also used by row 4; in CAN 2.0A only row 4 is reachable through the "
          "lookup table"}},
        {Replaced(CleanProject("1"), "RCobDef.xml", Rows("COBID", {R"(CobID="0x12345" Dimensin="8")", R"(CobID="74565" Dimensin="8")"})),
         {"RCobDef.xml: row 1: CobID 0x12345 is also used by row 2"}},
        {Replaced(clean, "RInfoCob.xml", Rows("RInfoCob", {R"(Index="1" NrPdo="3" PosComp="1")", R"(Index="2" NrPdo="0" PosComp="1")",
                                                       R"(Index="3" NrPdo="257" PosComp="1")"})),
         {"RInfoCob.xml: row 1: NrPdo 3 names no frame: RCobDef.xml has 2 frames",
          "RInfoCob.xml: row 2: NrPdo 0 names no frame: frames are numbered from 1",
          "RInfoCob.xml: row 3: NrPdo 257 is above 255: only its low byte (1) reaches the device",
          "RInfoCob.xml: row 3: NrPdo 257 names no frame: RCobDef.xml has 2 frames"}},
        {Replaced(Replaced(clean, "TCobDef.xml", Rows("COBID", {})), "TInfoCob.xml", Rows("TInfoCob", {R"(Index="0x10" NrPdo="1" PosComp="1")"})),
         {"TInfoCob.xml: row 1: NrPdo 1 names no frame: TCobDef.xml has 0 frames"}},
        {[&] {
             Files f = clean;
             f.erase("RCobDef.xml");
             return f;
         }(),
         {"RInfoCob.xml: row 1: NrPdo 1 names no frame: there is no RCobDef.xml",
          "RInfoCob.xml: row 2: NrPdo 2 names no frame: there is no RCobDef.xml"}},
        {Replaced(clean, "RInfoCob.xml", Rows("RInfoCob", {R"(Index="1" NrPdo="2" PosComp="0x32")", R"(Index="2" NrPdo="2" PosComp="0x93")"})),
         {"RInfoCob.xml: row 1: PosComp 0x32: the high byte goes to B3, beyond Dimensin 2 of frame 2",
          "RInfoCob.xml: row 2: PosComp 0x93: the high byte goes to B9, beyond Dimensin 2 of frame 2",
          "RInfoCob.xml: row 2: PosComp 0x93: the low byte goes to B3, beyond Dimensin 2 of frame 2"}},
        {Replaced(Replaced(clean, "TCobDef.xml", Rows("COBID", {R"(CobID="1" Dimensin="8" RTR="y")"})), "TInfoCob.xml",
              Rows("TInfoCob", {R"(Index="0x10" NrPdo="1" PosComp="1")"})),
         {"TInfoCob.xml: row 1: NrPdo 1 names a remote frame (RTR Y), which carries no data"}},
        // One address read and written: both frames named, with what it means on the bench.
        {Replaced(clean, "TInfoCob.xml", Rows("TInfoCob", {R"(Index="0x10" NrPdo="1" PosComp="136")", R"(Index="2" NrPdo="1" PosComp="1")"})),
         {"TInfoCob.xml: row 2: register 2 (frame 0x201) is also a receive register (frame 0x182, row 2 of "
          "RInfoCob.xml): a Modbus master reads and writes the same address there; what the device does with such an "
          "address is not known, and the simulator keeps one value for both, so a received frame overwrites what the "
          "PLC wrote"}},
        {Replaced(clean, "RInfoCob.xml", Rows("RInfoCob", {R"(Index="5" NrPdo="1" PosComp="1")", R"(Index="0x5" NrPdo="2" PosComp="1")",
                                                       R"(Index="65541" NrPdo="1" PosComp="2")", R"(Index="-1" NrPdo="1" PosComp="3")"})),
         {"RInfoCob.xml: row 2: register 0x5 is also mapped in row 1",
          "RInfoCob.xml: row 3: Index 65541 is above 65535: only its low 16 bits (5) reach the device",
          "RInfoCob.xml: row 3: Index 65541 reaches the device as register 5, the same as row 1",
          "RInfoCob.xml: row 4: Index -1 is below 0: only its low 16 bits (65535) reach the device"}},
        {Replaced(clean, "pargen.xml", PargenXml(With(DefaultSettings(), "TO_ModReg", "300"))),
         {"pargen.xml: TO_ModReg 300 is above 255: only its low byte (44) reaches the device"}},
        // A transmit table saved under CAN 2.0B in a project now in CAN 2.0A, and a
        // value no CAN 2.0B table can hold.
        {Replaced(clean, "TCobDef.xml", Rows("COBID", {R"(CobID="0x12345" Dimensin="8" RTR="N")", R"(CobID="2048" Dimensin="8")"})),
         {"TCobDef.xml: row 1: CobID 0x12345 is outside 0 to 2047, the range of CAN 2.0A: only its low 16 bits "
          "(0x2345) reach the device",
          "TCobDef.xml: row 2: CobID 2048 is outside 0 to 2047, the range of CAN 2.0A: only its low 16 bits (0x800) "
          "reach the device"}},
        {Replaced(CleanProject("1"), "RCobDef.xml", Rows("COBID", {R"(CobID="$FFFFFFFF" Dimensin="8")", R"(CobID="0x1FFFFFFF" Dimensin="8")"})),
         {"RCobDef.xml: row 1: CobID $FFFFFFFF is outside 0 to 536870911, the range of CAN 2.0B"}},
        // Settings that compile into something other than what the dialog shows.
        {[&] {
             Files f = clean;
             f.erase("pargen.xml");
             return f;
         }(),
         {"pargen.xml: the file does not exist: the compile leaves the communication settings and the frame and mapping "
          "counts of the banks as they were"}},
        {Replaced(clean, "pargen.xml",
              PargenXml({{"BaudRateCAN", "-1"}, {"CANType", "1"}, {"Baud_Ser", "8"}, {"Par_Ser", "3"}, {"IDDev_Ser", "300"},
                         {"TimeOut_Ser", "70000"}, {"TimeOut_Data", "abc"}, {"Serial", "yes"}, {"Cancel_Data", "2"}})),
         {"pargen.xml: BaudRateCAN -1 is outside 0 to 8, the list of CAN bit rates",
          "pargen.xml: Baud_Ser 8 is outside 0 to 7, the list of serial bit rates",
          "pargen.xml: Par_Ser 3 is outside 0 to 2, the list of parities",
          "pargen.xml: IDDev_Ser 300 is above 255: only its low byte (44) reaches the device",
          "pargen.xml: TimeOut_Ser 70000 is above 65535: only its low 16 bits (4464) reach the device",
          "pargen.xml: TimeOut_Data 'abc' is not integer text: the compile uses 0",
          "pargen.xml: Serial 'yes' is not integer text: the compile uses 1",
          "pargen.xml: Cancel_Data 2 is neither 0 nor 1"}},
        {Replaced(clean, "TCobDef.xml", Rows("COBID", {R"(CobID="1" Dimensin="17" RTR="YES")", R"(CobID="2" Dimensin="0")"})),
         {"TCobDef.xml: row 1: Dimensin 17 is outside 1 to 8; the device gets 1",
          "TCobDef.xml: row 1: RTR \"YES\" is neither Y nor N: the frame is compiled as a data frame",
          "TCobDef.xml: row 2: Dimensin 0 is outside 1 to 8"}},
        {Replaced(clean, "TInfoCob.xml", Rows("TInfoCob", {R"(Index="0x10" NrPdo="1" PosComp="300")"})),
         {"TInfoCob.xml: row 1: PosComp 300 is above 255: only its low byte (44) reaches the device",
          "TInfoCob.xml: row 1: PosComp 300: the low byte goes to B12, beyond Dimensin 8 of frame 1"}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteProject(dir, c.files);
        const auto problems = CheckProject(dir.path());
        EXPECT_EQ(Lines(problems, Severity::Warning), c.lines);
        EXPECT_FALSE(HasErrors(problems));
        EXPECT_EQ(CompileError(dir.path()), std::nullopt);
    }
}

// Each case stops the compile: the check's first error carries the
// compiler's own message, and its place in the project.
TEST(ProjectCheck, ErrorsCarryTheCompilersMessage) {
    const Files clean = CleanProject();
    const std::string missing = "Could not convert variant of type (Null) into type (Integer)";
    struct Case {
        Files files;
        std::string line;
    };
    const std::vector<Case> cases = {
        {Replaced(clean, "pargen.xml", PargenXml(Without(DefaultSettings(), "CANType"))),
         "pargen.xml: The element \"CANType\" is missing"},
        {Replaced(clean, "pargen.xml", PargenXml(With(DefaultSettings(), "Par_Ser", ""))),
         "pargen.xml: Par_Ser: '' is not a valid integer value"},
        // The device takes CANType's low byte: a value that says otherwise is not guessed at.
        {Replaced(clean, "pargen.xml", PargenXml(With(DefaultSettings(), "CANType", "256"))),
         "pargen.xml: CANType: 256 means CAN 2.0B, 29-bit COB-IDs, but the device takes its low byte (0), which "
         "means CAN 2.0A, 11-bit COB-IDs: give 0 or 1"},
        {Replaced(clean, "pargen.xml", PargenXml(Without(DefaultSettings(), "TimeOut_Ser"))),
         "pargen.xml: The element \"TimeOut_Ser\" is missing"},
        {Replaced(clean, "RCobDef.xml", Rows("COBID", {R"(CobID="1" Dimensin="8")", R"(CobID="2")"})),
         "RCobDef.xml: row 2: Dimensin: " + missing},
        {Replaced(clean, "TCobDef.xml", Rows("COBID", {R"(CobID="0x" Dimensin="8")"})),
         "TCobDef.xml: row 1: CobID: '0x' is not a valid integer value"},
        {Replaced(clean, "RInfoCob.xml", Rows("RInfoCob", {R"(Index="1" NrPdo="1.0" PosComp="1")"})),
         "RInfoCob.xml: row 1: NrPdo: '1.0' is not a valid integer value"},
        {Replaced(clean, "TInfoCob.xml", Rows("TInfoCob", {R"(Index="1" NrPdo="1" PosComp="1")", R"(NrPdo="1" PosComp="1")"})),
         "TInfoCob.xml: row 2: Index: " + missing},
        {Replaced(clean, "RCobDef.xml", Rows("COBID", ManyRows(251, R"(CobID="1" Dimensin="1")"))),
         "RCobDef.xml: Too many frames: 251 rows, the limit is 250"},
        {Replaced(clean, "TInfoCob.xml", Rows("TInfoCob", MappingRows(kMaxTransmitMappings + 1))),
         "TInfoCob.xml: Too many mapping records: 3722 rows, the limit is 3721"},
        {Replaced(clean, "RInfoCob.xml", Rows("RInfoCob", MappingRows(kMaxReceiveMappings + 1))),
         "RInfoCob.xml: Too many mapping records: 2913 rows, the limit is 2912"},
        {Replaced(clean, "RCobDef.xml", Rows("COBID", {R"(CobID="1" Dimensin="1")", R"(CobID="0x12345" Dimensin="1")"})),
         "RCobDef.xml: row 2: The CobID 0x12345 is outside 0 to 2047, the range of CAN 2.0A"},
        {Replaced(clean, "RInfoCob.xml", "<RInfoCob><row Index=\"1\"></RInfoCob>"), ""},  // parse error, below
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteProject(dir, c.files);
        const auto problems = CheckProject(dir.path());
        const auto compileError = CompileError(dir.path());
        ASSERT_TRUE(compileError.has_value());
        ASSERT_FALSE(problems.empty());
        EXPECT_EQ(problems.front().severity, Severity::Error);
        // The compile's message names the place once; the check's line labels it.
        EXPECT_EQ(FormatProblem(problems.front()), "error: " + PrintableText(*compileError, LineBreaks::OneLine));
        EXPECT_EQ(std::count_if(problems.begin(), problems.end(),
                                [&](const Problem& p) { return p == problems.front(); }),
                  1);
        if (!c.line.empty()) {
            EXPECT_EQ(*compileError, c.line);
        } else {
            // The parse error keeps its line number on the one output line.
            EXPECT_EQ(problems.front().file, "RInfoCob.xml");
            EXPECT_EQ(FormatProblem(problems.front()).find('\n'), std::string::npos);
            EXPECT_NE(FormatProblem(problems.front()).find("; Line: 1, column 37; <RInfoCob>"), std::string::npos)
                << FormatProblem(problems.front());
        }
    }
}

TEST(ProjectCheck, ReportsIndependentErrorsAndPutsThemBeforeWarnings) {
    TempDir dir;
    WriteProject(dir, {{"pargen.xml", PargenXml(With(With(DefaultSettings(), "BaudRateCAN", "x"), "TO_ModReg", "256"))},
                       {"RCobDef.xml", Rows("COBID", {R"(CobID="1" Dimensin="8x")", R"(CobID="1" Dimensin="8")",
                                                      R"(CobID="4000")"})},
                       {"TInfoCob.xml", "<TInfoCob>"}});
    const auto problems = CheckProject(dir.path());
    const auto errors = Lines(problems, Severity::Error);
    ASSERT_EQ(errors.size(), 5u) << ::testing::PrintToString(Lines(problems));
    EXPECT_EQ(errors[0], "pargen.xml: BaudRateCAN: 'x' is not a valid integer value");
    EXPECT_EQ(errors[1], "RCobDef.xml: row 1: Dimensin: '8x' is not a valid integer value");
    EXPECT_EQ(errors[2], "RCobDef.xml: row 3: The CobID 4000 is outside 0 to 2047, the range of CAN 2.0A");
    EXPECT_EQ(errors[3], "RCobDef.xml: row 3: Dimensin: Could not convert variant of type (Null) into type (Integer)");
    EXPECT_EQ(errors[4].rfind("TInfoCob.xml: ", 0), 0u);
    EXPECT_EQ(Lines(problems, Severity::Warning),
              (std::vector<std::string>{
                  "pargen.xml: TO_ModReg 256 is above 255: only its low byte (0) reaches the device",
                  "RCobDef.xml: row 1: CobID 1 is also used by row 2; in CAN 2.0A only row 2 is reachable through "
                  "the lookup table"}));
    const auto all = Lines(problems);
    for (std::size_t i = 0; i < errors.size(); ++i) EXPECT_EQ(all[i], "error: " + errors[i]);
}

TEST(ProjectCheck, AnUnreadableModeSkipsTheChecksThatDependOnIt) {
    TempDir dir;
    WriteProject(dir, {{"pargen.xml", PargenXml(With(DefaultSettings(), "CANType", "B"))},
                       {"RCobDef.xml", Rows("COBID", {R"(CobID="0x12345" Dimensin="8")"})},
                       {"TCobDef.xml", Rows("COBID", {R"(CobID="0x12345" Dimensin="8")"})}});
    EXPECT_EQ(Lines(CheckProject(dir.path())),
              std::vector<std::string>{"error: pargen.xml: CANType: 'B' is not a valid integer value"});
}

TEST(ProjectCheck, FilesThatDifferOnlyInLetterCaseAreNamed) {
    TempDir dir;
    WriteProject(dir, CleanProject());
    WriteFile(dir / "Pargen.xml", PargenXml(With(DefaultSettings(), "IDDev_Ser", "2")));
    EXPECT_EQ(Lines(CheckProject(dir.path())),
              std::vector<std::string>{"warning: Pargen.xml: the compile reads this file, but pargen.xml differs from it only "
                                       "in letter case and may be the one an editor shows"});
    // Two names of one file, as a file system that ignores letter case shows
    // every project file: no twins.
    std::filesystem::remove(dir / "Pargen.xml");
    std::filesystem::create_hard_link(dir / "pargen.xml", dir / "Pargen.xml");
    std::filesystem::create_hard_link(dir / "RCobDef.xml", dir / "rcobdef.xml");
    EXPECT_EQ(Lines(CheckProject(dir.path())), std::vector<std::string>{});
}

TEST(ProjectCheck, AMissingFolderIsOneError) {
    TempDir dir;
    const auto problems = CheckProject(dir / "gone");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_TRUE(HasErrors(problems));
    EXPECT_EQ(FormatProblem(problems[0]), "error: Project folder \"" + (dir / "gone").string() + "\" not found");
}

}  // namespace
}  // namespace vestrel
