#include "cli/cli.h"

#include "support/srecord_text.h"
#include "support/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result RunCliWith(std::vector<std::string> args, bool terminal = false) {
    std::ostringstream out, err;
    int status = RunCli(args, out, err, terminal);
    return {status, out.str(), err.str()};
}

// A small image with code below the banks, one record in each selected bank
// range, and an S9 end record.
std::string BaseImage(bool withBank1 = true, bool withBank2 = true) {
    std::string image = test::SRecord('0', 0, 2, "demo");
    image += test::SRecord('2', 0x380000, 3, std::string(32, '\x11'));
    if (withBank1) image += test::SRecord('2', 0x388000, 3, std::string(32, '\x22'));
    if (withBank2) image += test::SRecord('2', 0x398000, 3, std::string(32, '\x33'));
    image += test::SRecord('9', 0, 2, "");
    return image;
}

TEST(Cli, HelpAndVersionGoToStdout) {
    Result help = RunCliWith({"--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_NE(help.out.find("vestrel-cli merge BASE_IMAGE BIN_DIR OUT_IMAGE [--banks 1,2]"), std::string::npos);
    EXPECT_NE(help.out.find("vestrel-cli check PROJECT_DIR"), std::string::npos);
    EXPECT_NE(help.out.find("vestrel-cli decode (IMAGE.sx | BIN_DIR) [--out PROJECT_DIR]"), std::string::npos);
    EXPECT_EQ(help.err, "");
    Result version = RunCliWith({"--version"});
    EXPECT_EQ(version.status, kExitOk);
    EXPECT_EQ(version.out.rfind("vestrel-cli 1.504", 0), 0u) << version.out;
}

TEST(Cli, CommandLinesThatAreNotUnderstoodExitWithTwo) {
    TempDir dir;
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {}, {"flash"}, {"build"}, {"build", "a", "b"}, {"merge", "a", "b"}, {"merge", "a", "b", "c", "--banks"},
             {"merge", "a", "b", "c", "--banks", "1,6"}, {"merge", "a", "b", "c", "--banks", "1,1"},
             {"merge", "a", "b", "c", "--banks", "1,"}, {"build", dir.path().string(), "--banks", "1"},
             {"build", "--force", dir.path().string()}, {"check"}, {"check", "a", "b"}, {"decode"},
             {"decode", "a", "--out"}, {"decode", "a", "--out="}, {"build", "a", "--out", "b"}}) {
        Result r = RunCliWith(args);
        EXPECT_EQ(r.status, kExitUsage) << ::testing::PrintToString(args);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("vestrel-cli --help"), std::string::npos);
    }
}

TEST(Cli, BuildWritesTheBankFilesAndPrintsNothing) {
    TempDir dir;
    Result r = RunCliWith({"build", dir.path().string()});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    for (const char* name : {"bank1.bin", "bank2.bin", "bank3.bin", "bank4.bin", "bank5.bin"})
        EXPECT_EQ(fs::file_size(dir / "bin" / name), 16384u) << name;
    EXPECT_EQ(fs::file_size(dir / "bin" / "bankg.c"), 235593u);
}

TEST(Cli, BuildFailuresCarryTheCompilersMessage) {
    TempDir dir;
    Result missing = RunCliWith({"build", (dir / "none").string()});
    EXPECT_EQ(missing.status, kExitFailed);
    EXPECT_NE(missing.err.find("not found"), std::string::npos) << missing.err;

    WriteFile(dir / "RCobDef.xml", R"(<COBID><row CobID="abc" Dimensin="8" Mnemonic=""/></COBID>)");
    Result bad = RunCliWith({"build", dir.path().string()});
    EXPECT_EQ(bad.status, kExitFailed);
    EXPECT_EQ(bad.err, "vestrel-cli: 'abc' is not a valid integer value\n");
    EXPECT_FALSE(fs::exists(dir / "bin" / "bank1.bin"));
}

TEST(Cli, SourceDateEpochMakesBuildsReproducible) {
    TempDir a, b;
    ::setenv("SOURCE_DATE_EPOCH", "1733661931", 1);
    EXPECT_EQ(RunCliWith({"build", a.path().string()}).status, kExitOk);
    EXPECT_EQ(RunCliWith({"build", b.path().string()}).status, kExitOk);
    ::unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_EQ(ReadFile(a / "bin" / "bankg.c"), ReadFile(b / "bin" / "bankg.c"));
    EXPECT_EQ(ReadFile(a / "bin" / "bank1.bin"), ReadFile(b / "bin" / "bank1.bin"));
}

TEST(Cli, MergeSplicesTheDefaultBanksAndReportsOnlyOnATerminal) {
    TempDir dir;
    ASSERT_EQ(RunCliWith({"build", dir.path().string()}).status, kExitOk);
    WriteFile(dir / "base.sx", BaseImage());
    Result quiet = RunCliWith({"merge", (dir / "base.sx").string(), (dir / "bin").string(), (dir / "out.sx").string()});
    EXPECT_EQ(quiet.status, kExitOk) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");
    std::string merged = ReadFile(dir / "out.sx");
    EXPECT_NE(merged.find("S224388000"), std::string::npos);
    EXPECT_NE(merged.find("S224398000"), std::string::npos);
    EXPECT_NE(merged.find("S22438BFE0"), std::string::npos);

    Result shown = RunCliWith({"merge", (dir / "base.sx").string(), (dir / "bin").string(), (dir / "out2.sx").string()}, true);
    EXPECT_EQ(shown.status, kExitOk);
    EXPECT_EQ(shown.out, "");
    EXPECT_NE(shown.err.find("100%"), std::string::npos) << shown.err;
    EXPECT_EQ(ReadFile(dir / "out2.sx"), merged);
}

TEST(Cli, MergeExitsNonZeroUnlessEverySelectedBankWasSplicedIn) {
    TempDir dir;
    ASSERT_EQ(RunCliWith({"build", dir.path().string()}).status, kExitOk);
    WriteFile(dir / "no2.sx", BaseImage(true, false));
    Result missingRange = RunCliWith({"merge", (dir / "no2.sx").string(), (dir / "bin").string(), (dir / "out.sx").string()});
    EXPECT_EQ(missingRange.status, kExitFailed);
    EXPECT_NE(missingRange.err.find("bank 2"), std::string::npos) << missingRange.err;

    Result onlyBank1 = RunCliWith({"merge", (dir / "no2.sx").string(), (dir / "bin").string(), (dir / "out1.sx").string(),
                            "--banks", "1"});
    EXPECT_EQ(onlyBank1.status, kExitOk) << onlyBank1.err;

    fs::remove(dir / "bin" / "bank2.bin");
    WriteFile(dir / "base.sx", BaseImage());
    Result noBankFile = RunCliWith({"merge", (dir / "base.sx").string(), (dir / "bin").string(), (dir / "out3.sx").string()});
    EXPECT_EQ(noBankFile.status, kExitFailed);
    EXPECT_NE(noBankFile.err.find("File bank2.bin Not Found,Abort Procedure"), std::string::npos) << noBankFile.err;

    WriteFile(dir / "noend.sx", test::SRecord('2', 0x388000, 3, std::string(32, 'a')));
    Result noEnd = RunCliWith({"merge", (dir / "noend.sx").string(), (dir / "bin").string(), (dir / "out4.sx").string(),
                        "--banks", "1"});
    EXPECT_EQ(noEnd.status, kExitFailed);
    EXPECT_NE(noEnd.err, "");
}

TEST(Cli, UpdateBuildsAndMergesIntoTheProjectFolder) {
    TempDir dir;
    fs::create_directory(dir / "Plant1");
    WriteFile(dir / "Plant1" / "RCobDef.xml", R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic=""/></COBID>)");
    WriteFile(dir / "SX58316.sx", BaseImage());
    Result r = RunCliWith({"update", (dir / "Plant1").string(), (dir / "SX58316.sx").string()});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out, "");
    ASSERT_TRUE(fs::exists(dir / "Plant1" / "New_SX58316.sx"));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir / "Plant1")) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"New_SX58316.sx", "RCobDef.xml", "bin"})) << "no stage files are left";

    Result noBase = RunCliWith({"update", (dir / "Plant1").string(), (dir / "missing.sx").string()});
    EXPECT_EQ(noBase.status, kExitFailed);
}

TEST(Cli, CheckListsProblemsOnStdoutAndFailsOnlyOnErrors) {
    TempDir dir;
    WriteFile(dir / "pargen.xml",
              "<GeneralParameter><BaudRateCAN>4</BaudRateCAN><CANType>0</CANType><Baud_Ser>3</Baud_Ser><Par_Ser>0</Par_Ser>"
              "<IDDev_Ser>1</IDDev_Ser><TimeOut_Ser>1000</TimeOut_Ser><TO_ModReg>1</TO_ModReg></GeneralParameter>");
    WriteFile(dir / "RCobDef.xml", R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic=""/></COBID>)");
    Result clean = RunCliWith({"check", dir.path().string()});
    EXPECT_EQ(clean.status, kExitOk);
    EXPECT_EQ(clean.out, "");
    EXPECT_EQ(clean.err, "");

    WriteFile(dir / "RInfoCob.xml", R"(<RInfoCob><row Index="1" NrPdo="2" PosComp="1"/></RInfoCob>)");
    Result warned = RunCliWith({"check", dir.path().string()});
    EXPECT_EQ(warned.status, kExitOk);
    EXPECT_EQ(warned.out, "RInfoCob.xml: row 1: NrPdo 2 names no frame: RCobDef.xml has 1 frame\n");
    EXPECT_EQ(warned.err, "");

    WriteFile(dir / "TCobDef.xml", R"(<COBID><row CobID="abc" Dimensin="8" RTR="N"/></COBID>)");
    Result failed = RunCliWith({"check", dir.path().string()});
    EXPECT_EQ(failed.status, kExitFailed);
    EXPECT_EQ(failed.out,
              "TCobDef.xml: row 1: CobID: 'abc' is not a valid integer value\n"
              "RInfoCob.xml: row 1: NrPdo 2 names no frame: RCobDef.xml has 1 frame\n");
    EXPECT_EQ(failed.err, "");
    EXPECT_EQ(RunCliWith({"build", dir.path().string()}).status, kExitFailed) << "check and build agree";

    Result missing = RunCliWith({"check", (dir / "none").string()});
    EXPECT_EQ(missing.status, kExitFailed);
    EXPECT_EQ(missing.err, "vestrel-cli: Project folder \"" + (dir / "none").string() + "\" not found\n");
}

// A project compiled and merged by update, then read back from the image.
class CliDecode : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir_ / "Plant1");
        WriteFile(dir_ / "Plant1" / "pargen.xml",
                  "<GeneralParameter><BaudRateCAN>6</BaudRateCAN><CANType>0</CANType><Baud_Ser>4</Baud_Ser>"
                  "<Par_Ser>1</Par_Ser><IDDev_Ser>17</IDDev_Ser><TimeOut_Ser>500</TimeOut_Ser><TimeOut_Data>9</TimeOut_Data>"
                  "<TO_ModReg>300</TO_ModReg><Serial>1</Serial><Cancel_Data>1</Cancel_Data><Can_Data_Inp_Reg>0</Can_Data_Inp_Reg>"
                  "</GeneralParameter>");
        WriteFile(dir_ / "Plant1" / "RCobDef.xml",
                  R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic="Speed"/><row CobID="0x281" Dimensin="2" Mnemonic=""/></COBID>)");
        WriteFile(dir_ / "Plant1" / "TCobDef.xml",
                  R"(<COBID><row CobID="0x201" Dimensin="4" RTR="Y" Mnemonic=""/><row CobID="0x202" Dimensin="8" RTR="N" Mnemonic=""/></COBID>)");
        WriteFile(dir_ / "Plant1" / "RInfoCob.xml",
                  R"(<RInfoCob><row Index="100" NrPdo="1" PosComp="18"/><row Index="101" NrPdo="2" PosComp="2"/></RInfoCob>)");
        WriteFile(dir_ / "Plant1" / "TInfoCob.xml", R"(<TInfoCob><row Index="200" NrPdo="2" PosComp="52"/></TInfoCob>)");
        WriteFile(dir_ / "SX58316.sx", BaseImage());
        Result update = RunCliWith({"update", (dir_ / "Plant1").string(), (dir_ / "SX58316.sx").string()});
        ASSERT_EQ(update.status, kExitOk) << update.err;
        image_ = dir_ / "Plant1" / "New_SX58316.sx";
    }

    static std::string WithoutStamp(std::string bank) {
        bank.replace(16020, 4, 4, '\0');
        return bank;
    }

    TempDir dir_;
    fs::path image_;
};

TEST_F(CliDecode, AnImageThatUpdateWroteCompilesBackToTheSameBanks) {
    Result r = RunCliWith({"decode", image_.string(), "--out", (dir_ / "Back").string()});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    for (const char* line : {"CAN bit rate: 500 kbit/s (BaudRateCAN 6)\n", "Parity: odd (Par_Ser 1)\n",
                             "Time-out Modbus register: 44 (TO_ModReg, low byte)\n",
                             "Transmit frames: 2\n  row 1: CobID 0x201, Dimensin 4, RTR Y\n",
                             "Transmit mappings: 1\n  row 1: Index 200, NrPdo 2, PosComp 52 (high byte B3, low byte B4)\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\nin\n" << r.out;
    EXPECT_NE(r.err.find("vestrel-cli: note: the banks keep no mnemonics: the frames come back without them\n"),
              std::string::npos) << r.err;
    EXPECT_NE(r.err.find("vestrel-cli: note: the banks keep only the low byte of TO_ModReg"), std::string::npos);

    ASSERT_EQ(RunCliWith({"build", (dir_ / "Back").string()}).status, kExitOk);
    EXPECT_EQ(WithoutStamp(ReadFile(dir_ / "Back" / "bin" / "bank1.bin")),
              WithoutStamp(ReadFile(dir_ / "Plant1" / "bin" / "bank1.bin")));
    EXPECT_EQ(ReadFile(dir_ / "Back" / "bin" / "bank2.bin"), ReadFile(dir_ / "Plant1" / "bin" / "bank2.bin"));

    // The bank files say the same as the image.
    Result fromBin = RunCliWith({"decode", (dir_ / "Plant1" / "bin").string()});
    EXPECT_EQ(fromBin.status, kExitOk) << fromBin.err;
    EXPECT_EQ(fromBin.out, r.out);

    // A folder that already holds a project is not overwritten.
    const std::string before = ReadFile(dir_ / "Plant1" / "RCobDef.xml");
    Result onto = RunCliWith({"decode", image_.string(), "--out", (dir_ / "Plant1").string()});
    EXPECT_EQ(onto.status, kExitFailed);
    EXPECT_EQ(onto.out, "");
    EXPECT_NE(onto.err.find("already holds"), std::string::npos) << onto.err;
    EXPECT_EQ(ReadFile(dir_ / "Plant1" / "RCobDef.xml"), before);
}

TEST_F(CliDecode, BrokenImagesAreRefusedWithAMessage) {
    const std::string image = ReadFile(image_);
    const std::string name = (dir_ / "broken.sx").string();
    // The 20th line lies in bank 1: "S224" + address + 32 data bytes + checksum.
    std::size_t line20 = 0;
    for (int i = 0; i < 19; ++i) line20 = image.find("\r\n", line20) + 2;
    std::string badSum = image, badHex = image;
    badSum[line20 + 74] = badSum[line20 + 74] == '0' ? '1' : '0';
    badHex[line20 + 30] = 'x';
    const std::vector<std::pair<std::string, std::string>> cases = {
        {image.substr(0, image.size() / 2), "vestrel-cli: " + name + ": "},
        {image.substr(0, image.rfind("S9")), "vestrel-cli: " + name + ": no end record (S7, S8 or S9)"},
        {badSum, "vestrel-cli: " + name + ": line 20: checksum mismatch"},
        {badHex, "vestrel-cli: " + name + ": line 20: 'x' at column 31 is not a hexadecimal digit\n"},
        {BaseImage(), "vestrel-cli: " + name + ": bank 1 (0x388000-0x38BFFF) is incomplete: 16352 of its 16384 bytes "
                      "are missing, the first at 0x388020\n"},
    };
    for (const auto& [content, message] : cases) {
        WriteFile(dir_ / "broken.sx", content);
        Result r = RunCliWith({"decode", name, "--out", (dir_ / "Never").string()});
        EXPECT_EQ(r.status, kExitFailed);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.substr(0, message.size()), message);
        EXPECT_FALSE(fs::exists(dir_ / "Never"));
    }
}

}  // namespace
}  // namespace vestrel
