#include "editors/mapping_csv.h"

#include "platform/error.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

FrameList ThreeFrames() {
    FrameList frames;
    frames.emplace_back("0x181", 1);
    frames.emplace_back("385", 2);
    frames.emplace_back("$7FF", 3);
    return frames;
}

TEST(MappingCsv, ExportFollowsTheFramesAndImportGivesTheSameRegistersBack) {
    TempDir dir;
    FrameList frames = ThreeFrames();
    frames[0].Registers = {{"0x10", "18"}, {"5", "0"}};
    frames[2].Registers = {{"$20", "136"}, {"7", "abc"}};
    ExportMappingsCsv(dir.path(), FrameDirection::Transmit, frames);

    EXPECT_EQ(ReadFile(dir / "TInfoCob.csv"),
              "Index MODBUS;Index CAN Frame;High Byte;Low Byte;\r\n"
              "0x10;1;1;2;\r\n"
              "5;1;0;0;\r\n"
              "$20;3;8;8;\r\n"
              "7;3;0;0;\r\n");

    FrameList back = ThreeFrames();
    back[1].Registers = {{"99", "0"}};
    ImportMappingsCsv(dir / "TInfoCob.csv", back);
    // Hexadecimal numbers come back in decimal; a PosComp that was not a
    // number comes back as 0.
    EXPECT_EQ(back[0].Registers, (std::vector<TClIndMB>{{"16", "18"}, {"5", "0"}}));
    EXPECT_TRUE(back[1].Registers.empty());
    EXPECT_EQ(back[2].Registers, (std::vector<TClIndMB>{{"32", "136"}, {"7", "0"}}));

    // An Index that a spreadsheet would take for a formula is disarmed, and
    // still read as the number it is.
    frames[0].Registers = {{"-0x10", "18"}, {"=1+1", "0"}};
    ExportMappingsCsv(dir.path(), FrameDirection::Transmit, frames);
    EXPECT_EQ(ReadFile(dir / "TInfoCob.csv"),
              "Index MODBUS;Index CAN Frame;High Byte;Low Byte;\r\n'-0x10;1;1;2;\r\n'=1+1;1;0;0;\r\n$20;3;8;8;\r\n"
              "7;3;0;0;\r\n");
    ImportMappingsCsv(dir / "TInfoCob.csv", back);
    EXPECT_EQ(back[0].Registers, (std::vector<TClIndMB>{{"-16", "18"}, {"0", "0"}}));
}

TEST(MappingCsv, ExportWithoutRegistersWritesTheHeaderAlone) {
    TempDir dir;
    ExportMappingsCsv(dir.path(), FrameDirection::Receive, ThreeFrames());
    EXPECT_EQ(ReadFile(dir / "RInfoCob.csv"), "Index MODBUS;Index CAN Frame;High Byte;Low Byte;\r\n");
    ExportMappingsCsv(dir.path(), FrameDirection::Receive, FrameList{});
    EXPECT_EQ(ReadFile(dir / "RInfoCob.csv"), "Index MODBUS;Index CAN Frame;High Byte;Low Byte;\r\n");
}

TEST(MappingCsv, ExportIntoAMissingFolderFailsWithTheFileError) {
    TempDir dir;
    try {
        ExportMappingsCsv(dir / "gone", FrameDirection::Receive, ThreeFrames());
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("RInfoCob.csv"), std::string::npos) << e.what();
    }
}

TEST(MappingCsv, MalformedLinesCountAsZeroOrAreSkipped) {
    const std::string text =
        "100;1;0;0;\n"    // the first line is never a register
        "100;2;1;3;\n"    // PosComp 16 + 3
        "5;1;20;3\n"      // high byte 20 keeps its low four bits: 4
        "5;1\n"           // one ";" only: the frame field is empty
        "abc;1;0;0;\n"    // register 0
        "7;4;0;0;\n"      // no frame 4
        "8;0;0;0;\n"      // no frame 0
        "  9 ; 3 ; 2 ; 1 ; extra\r\n"
        "-1;3;-1;15;\n"   // low four bits of -1: 15
        "\n"
        "0x20;$3;x1;0X2;";
    auto registers = ParseMappingsCsv(text, 3);
    ASSERT_EQ(registers.size(), 3u);
    EXPECT_EQ(registers[0], (std::vector<TClIndMB>{{"5", "67"}, {"0", "0"}}));
    EXPECT_EQ(registers[1], (std::vector<TClIndMB>{{"100", "19"}}));
    EXPECT_EQ(registers[2], (std::vector<TClIndMB>{{"9", "33"}, {"-1", "255"}, {"32", "18"}}));
}

TEST(MappingCsv, LinesEndInCrLfLfOrCr) {
    auto registers = ParseMappingsCsv("h\r1;1;0;1;\r\n2;1;0;2;\n3;1;0;3;", 1);
    EXPECT_EQ(registers[0], (std::vector<TClIndMB>{{"1", "1"}, {"2", "2"}, {"3", "3"}}));
}

TEST(MappingCsv, AnEmptyFileOrAHeaderAloneLeavesEveryFrameWithoutRegisters) {
    TempDir dir;
    for (const char* text : {"", "Index MODBUS;Index CAN Frame;High Byte;Low Byte;\r\n"}) {
        WriteFile(dir / "in.csv", text);
        FrameList frames = ThreeFrames();
        frames[0].Registers = {{"1", "0"}};
        frames[2].Registers = {{"2", "0"}};
        ImportMappingsCsv(dir / "in.csv", frames);
        for (const TClPdo& frame : frames) EXPECT_TRUE(frame.Registers.empty());
    }
}

TEST(MappingCsv, AFileThatCannotBeReadLeavesEveryRegister) {
    TempDir dir;
    FrameList frames = ThreeFrames();
    frames[1].Registers = {{"0x10", "18"}};
    EXPECT_THROW(ImportMappingsCsv(dir / "missing.csv", frames), Error);
    EXPECT_THROW(ImportMappingsCsv(dir.path(), frames), Error);  // a folder
    EXPECT_EQ(frames[1].Registers, (std::vector<TClIndMB>{{"0x10", "18"}}));
}

// A folder opens but cannot be read: that is a read error, not "Cannot open".
TEST(MappingCsv, AReadErrorIsToldFromAFileThatCannotBeOpened) {
    TempDir dir;
    FrameList frames = ThreeFrames();
    try {
        ImportMappingsCsv(dir.path(), frames);
        ADD_FAILURE() << "a folder was imported";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot read file \"" + dir.path().string() + "\". Is a directory");
    }
}

// Lines break anywhere between the pieces the file is read in.
TEST(MappingCsv, AFileLongerThanOnePieceImportsWhole) {
    TempDir dir;
    std::string text = "Index MODBUS;Index CAN Frame;High Byte;Low Byte;\r\n";
    for (int i = 0; i < 20000; ++i) text += std::to_string(i) + ";" + std::to_string(1 + i % 3) + ";1;2;" + (i % 2 ? "\r\n" : "\n");
    ASSERT_GT(text.size(), 3 * 65536u);
    WriteFile(dir / "in.csv", text);
    FrameList frames = ThreeFrames();
    ImportMappingsCsv(dir / "in.csv", frames);
    EXPECT_EQ(frames[0].Registers.size() + frames[1].Registers.size() + frames[2].Registers.size(), 20000u);
    EXPECT_EQ(frames[1].Registers.at(6666), (TClIndMB{"19999", "18"}));
    auto parsed = ParseMappingsCsv(text, 3);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(parsed[i], frames[i].Registers);
}

}  // namespace
}  // namespace vestrel
