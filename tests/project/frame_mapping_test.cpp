#include "project/frame_mapping.h"

#include "platform/error.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr const char* kThreeFrames =
    R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic=""/><row CobID="385" Dimensin="8" Mnemonic=""/>)"
    R"(<row CobID="$7FF" Dimensin="2" Mnemonic=""/></COBID>)";

std::vector<std::string> Indexes(const TClPdo& frame) {
    std::vector<std::string> out;
    for (const auto& r : frame.Registers) out.push_back(r.Index);
    return out;
}

TEST(FrameMapping, FramesAreListedByPositionWithTheirCobIdText) {
    TempDir dir;
    EXPECT_TRUE(LoadFrameList(dir.path(), FrameDirection::Receive).frames.empty());
    WriteFile(dir / "rcobdef.xml", kThreeFrames);
    FrameListRead read = LoadFrameList(dir.path(), FrameDirection::Receive);
    EXPECT_FALSE(read.error);
    ASSERT_EQ(read.frames.size(), 3u);
    EXPECT_EQ(read.frames[0].CobID, "0x181");
    EXPECT_EQ(read.frames[2].CobID, "$7FF");
    EXPECT_EQ(read.frames[2].NrPdo, 3);
    EXPECT_TRUE(LoadFrameList(dir.path(), FrameDirection::Transmit).frames.empty());
}

TEST(FrameMapping, FrameFileFailuresKeepTheFramesReadSoFar) {
    TempDir dir;
    WriteFile(dir / "TCobDef.xml", R"(<x><row CobID="1"/><row Dimensin="1"/><row CobID="3"/></x>)");
    FrameListRead read = LoadFrameList(dir.path(), FrameDirection::Transmit);
    EXPECT_EQ(read.error, "Error in reading file PDO XML");
    EXPECT_EQ(read.frames.size(), 1u);

    WriteFile(dir / "TCobDef.xml", "<x>");
    read = LoadFrameList(dir.path(), FrameDirection::Transmit);
    EXPECT_EQ(read.error, "Error in reading file PDO XML");
    EXPECT_TRUE(read.frames.empty());
}

TEST(FrameMapping, RowsPastTheLastFrameAreDroppedAndSavingLeavesThemOut) {
    TempDir dir;
    WriteFile(dir / "RCobDef.xml", kThreeFrames);
    WriteFile(dir / "RInfoCob.xml",
              R"(<RInfoCob><row Index="1" NrPdo="1" PosComp="18"/><row Index="2" NrPdo="3" PosComp="0"/>)"
              R"(<row Index="3" NrPdo="4" PosComp="1"/></RInfoCob>)");
    FrameList frames = LoadFrameList(dir.path(), FrameDirection::Receive).frames;
    EXPECT_TRUE(LoadMappings(dir.path(), FrameDirection::Receive, frames));
    EXPECT_EQ(frames[0].Registers, (std::vector<TClIndMB>{{"1", "18"}}));
    EXPECT_TRUE(frames[1].Registers.empty());
    EXPECT_EQ(frames[2].Registers, (std::vector<TClIndMB>{{"2", "0"}}));

    SaveMappings(dir.path(), FrameDirection::Receive, frames);
    EXPECT_EQ(ReadFile(dir / "RInfoCob.xml"),
              R"(<RInfoCob><row Index="1" NrPdo="1" PosComp="18"/><row Index="2" NrPdo="3" PosComp="0"/></RInfoCob>)");
}

TEST(FrameMapping, BadMappingRowsStopTheReadAndKeepTheRowsBefore) {
    TempDir dir;
    WriteFile(dir / "RCobDef.xml", kThreeFrames);
    const char* stoppers[] = {
        R"(<row Index="9" NrPdo="0" PosComp="1"/>)",
        R"(<row Index="9" NrPdo="-1" PosComp="1"/>)",
        R"(<row Index="9" NrPdo="one" PosComp="1"/>)",
        R"(<row Index="9" PosComp="1"/>)",
        R"(<row NrPdo="2" PosComp="1"/>)",
        R"(<row Index="9" NrPdo="2"/>)",
    };
    for (const char* stopper : stoppers) {
        WriteFile(dir / "RInfoCob.xml", std::string(R"(<RInfoCob><row Index="1" NrPdo="1" PosComp="18"/>)") + stopper +
                                            R"(<row Index="3" NrPdo="1" PosComp="1"/></RInfoCob>)");
        FrameList frames = LoadFrameList(dir.path(), FrameDirection::Receive).frames;
        EXPECT_EQ(LoadMappings(dir.path(), FrameDirection::Receive, frames).Why(), "Error in reading file SDOPDO XML") << stopper;
        EXPECT_EQ(Indexes(frames[0]), std::vector<std::string>{"1"}) << stopper;
    }
    WriteFile(dir / "RInfoCob.xml", "");
    FrameList frames = LoadFrameList(dir.path(), FrameDirection::Receive).frames;
    EXPECT_EQ(LoadMappings(dir.path(), FrameDirection::Receive, frames).Why(), "Error in reading file SDOPDO XML");
}

TEST(FrameMapping, WithoutFramesEveryRowIsSkipped) {
    TempDir dir;
    WriteFile(dir / "TInfoCob.xml", R"(<TInfoCob><row Index="1" NrPdo="1" PosComp="1"/></TInfoCob>)");
    FrameList frames;
    EXPECT_TRUE(LoadMappings(dir.path(), FrameDirection::Transmit, frames));
    SaveMappings(dir.path(), FrameDirection::Transmit, frames);
    EXPECT_EQ(ReadFile(dir / "TInfoCob.xml"), "<TInfoCob/>");
}

TEST(FrameMapping, SaveOrdersByValueWithTextsUnchangedAndLaterEqualsFirst) {
    TempDir dir;
    FrameList frames{TClPdo("1", 1), TClPdo("2", 2)};
    frames[0].Registers = {{"0x10", "1"}, {"5", "2"}, {"7", "3"}};
    frames[1].Registers = {{"$20", "4"}, {"7", "5"}, {"16777216", "6"}, {"-3", "7"}};
    SaveMappings(dir.path(), FrameDirection::Receive, frames);
    EXPECT_EQ(ReadFile(dir / "RInfoCob.xml"),
              "<RInfoCob>"
              R"(<row Index="-3" NrPdo="2" PosComp="7"/>)"
              R"(<row Index="5" NrPdo="1" PosComp="2"/>)"
              R"(<row Index="7" NrPdo="2" PosComp="5"/>)"
              R"(<row Index="7" NrPdo="1" PosComp="3"/>)"
              R"(<row Index="0x10" NrPdo="1" PosComp="1"/>)"
              R"(<row Index="$20" NrPdo="2" PosComp="4"/>)"
              R"(<row Index="16777216" NrPdo="2" PosComp="6"/>)"
              "</RInfoCob>");

    // Loaded back, each frame's registers come out in ascending order.
    WriteFile(dir / "RCobDef.xml", R"(<COBID><row CobID="1"/><row CobID="2"/></COBID>)");
    FrameList back = LoadFrameList(dir.path(), FrameDirection::Receive).frames;
    EXPECT_TRUE(LoadMappings(dir.path(), FrameDirection::Receive, back));
    EXPECT_EQ(Indexes(back[1]), (std::vector<std::string>{"-3", "7", "$20", "16777216"}));
}

TEST(FrameMapping, AnIndexThatIsNotIntegerTextStopsTheSaveBeforeWriting) {
    TempDir dir;
    WriteFile(dir / "TInfoCob.xml", "<TInfoCob/>");
    FrameList frames{TClPdo("1", 1)};
    frames[0].Registers = {{"5", "1"}, {"five", "2"}};
    try {
        SaveMappings(dir.path(), FrameDirection::Transmit, frames);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "'five' is not a valid integer value");
    }
    EXPECT_EQ(ReadFile(dir / "TInfoCob.xml"), "<TInfoCob/>");
}

TEST(FrameMapping, ReferencesFollowPositionsNotCobIds) {
    TempDir dir;
    WriteFile(dir / "RInfoCob.xml", R"(<RInfoCob><row Index="1" NrPdo="1" PosComp="1"/></RInfoCob>)");
    WriteFile(dir / "RCobDef.xml", R"(<COBID><row CobID="0x200"/><row CobID="0x100"/></COBID>)");
    FrameList frames = LoadFrameList(dir.path(), FrameDirection::Receive).frames;
    (void)LoadMappings(dir.path(), FrameDirection::Receive, frames);
    EXPECT_EQ(frames[0].CobID, "0x200");
    EXPECT_EQ(frames[0].Registers.size(), 1u);
}

}  // namespace
}  // namespace vestrel
