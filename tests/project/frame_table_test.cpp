#include "project/frame_table.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

FrameTable Table(FrameDirection d, std::vector<FrameRow> rows) { return FrameTable{d, std::move(rows)}; }

TEST(FrameTable, WritesEachDirectionsAttributesInOrderAndTextsUnchanged) {
    TempDir dir;
    WriteFrameTable(dir.path(), Table(FrameDirection::Transmit, {{"0x181", "8", "N", "Speed"}, {"1025", "2", "Y", ""}}));
    EXPECT_EQ(ReadFile(dir / "TCobDef.xml"),
              R"(<COBID><row CobID="0x181" Dimensin="8" RTR="N" Mnemonic="Speed"/>)"
              R"(<row CobID="1025" Dimensin="2" RTR="Y" Mnemonic=""/></COBID>)");

    WriteFrameTable(dir.path(), Table(FrameDirection::Receive, {{" +385", "8", "ignored", "a&b<c\"d"}}));
    EXPECT_EQ(ReadFile(dir / "RCobDef.xml"),
              R"(<COBID><row CobID=" +385" Dimensin="8" Mnemonic="a&amp;b&lt;c&quot;d"/></COBID>)");
    FrameTableRead read = ReadFrameTable(dir.path(), FrameDirection::Receive);
    EXPECT_FALSE(read.error);
    ASSERT_EQ(read.table.rows.size(), 1u);
    EXPECT_EQ(read.table.rows[0], (FrameRow{" +385", "8", "", "a&b<c\"d"}));
}

TEST(FrameTable, EmptyTableIsTheEmptyDocumentElement) {
    TempDir dir;
    WriteFrameTable(dir.path(), Table(FrameDirection::Receive, {}));
    EXPECT_EQ(ReadFile(dir / "RCobDef.xml"), "<COBID/>");
    FrameTableRead read = ReadFrameTable(dir.path(), FrameDirection::Receive);
    EXPECT_FALSE(read.error);
    EXPECT_TRUE(read.table.rows.empty());
}

TEST(FrameTable, AbsentRtrReadsAsNAndEmptyRtrStaysEmpty) {
    TempDir dir;
    WriteFile(dir / "TCobDef.xml", R"(<COBID><row CobID="1" Dimensin="1" Mnemonic="a"/><row CobID="2" Dimensin="1" RTR="" Mnemonic="b"/></COBID>)");
    FrameTableRead read = ReadFrameTable(dir.path(), FrameDirection::Transmit);
    ASSERT_EQ(read.table.rows.size(), 2u);
    EXPECT_EQ(read.table.rows[0].RTR, "N");
    EXPECT_EQ(read.table.rows[1].RTR, "");
}

TEST(FrameTable, ReadFailuresKeepWhatWasReadBefore) {
    TempDir dir;
    EXPECT_FALSE(ReadFrameTable(dir.path(), FrameDirection::Receive).error) << "a missing file is an empty table";

    WriteFile(dir / "RCobDef.xml",
              R"(<COBID><row CobID="1" Dimensin="8" Mnemonic="a"/><row CobID="2" Dimensin="7"/><row CobID="3" Dimensin="1" Mnemonic="c"/></COBID>)");
    FrameTableRead missing = ReadFrameTable(dir.path(), FrameDirection::Receive);
    EXPECT_EQ(missing.error, "Could not convert variant of type (Null) into type (String)");
    ASSERT_EQ(missing.table.rows.size(), 2u);
    EXPECT_EQ(missing.table.rows[1], (FrameRow{"2", "7", "", ""}));

    WriteFile(dir / "RCobDef.xml", R"(<COBID><row Dimensin="8" Mnemonic="a"/></COBID>)");
    FrameTableRead noCobId = ReadFrameTable(dir.path(), FrameDirection::Receive);
    EXPECT_TRUE(noCobId.error);
    ASSERT_EQ(noCobId.table.rows.size(), 1u);
    EXPECT_EQ(noCobId.table.rows[0], FrameRow{});

    WriteFile(dir / "RCobDef.xml", R"(<RInfoCob><row CobID="1" Dimensin="8" Mnemonic="a"/></RInfoCob>)");
    FrameTableRead foreign = ReadFrameTable(dir.path(), FrameDirection::Receive);
    EXPECT_TRUE(foreign.error);
    EXPECT_TRUE(foreign.table.rows.empty());

    WriteFile(dir / "RCobDef.xml", R"(<COBID><row CobID="1" Dimensin="8" Mnemonic="a"/>)");
    FrameTableRead broken = ReadFrameTable(dir.path(), FrameDirection::Receive);
    ASSERT_TRUE(broken.error);
    EXPECT_NE(broken.error->find("Line: 1"), std::string::npos);
    EXPECT_TRUE(broken.table.rows.empty());
}

TEST(FrameTable, MoreThanTwoHundredFiftyRowsAreCutAndReported) {
    TempDir dir;
    std::string xml = "<COBID>";
    for (int i = 0; i < 260; ++i) xml += "<row CobID=\"" + std::to_string(i) + "\" Dimensin=\"8\" Mnemonic=\"\"/>";
    WriteFile(dir / "RCobDef.xml", xml + "</COBID>");
    FrameTableRead read = ReadFrameTable(dir.path(), FrameDirection::Receive);
    EXPECT_EQ(read.table.rows.size(), 250u);
    EXPECT_EQ(read.table.rows.back().CobID, "249");
    ASSERT_TRUE(read.error);
    EXPECT_NE(read.error->find("10 were left out"), std::string::npos) << *read.error;
}

TEST(CheckFrameTable, CobIdLimitsDependOnTheCanMode) {
    auto check = [](std::string cobId, CanMode mode) {
        return CheckFrameTable(Table(FrameDirection::Receive, {{"1", "8", "", ""}, {cobId, "8", "", ""}}), mode);
    };
    EXPECT_FALSE(check("2047", CanMode::Can20A));
    EXPECT_FALSE(check("0x7FF", CanMode::Can20A));
    EXPECT_FALSE(check("0", CanMode::Can20A));
    auto tooBig = check("2048", CanMode::Can20A);
    ASSERT_TRUE(tooBig);
    EXPECT_EQ(tooBig->Message(), "Error in row 2!! The CobID in CAN 2.0A must between 0 and 2047");

    EXPECT_FALSE(check("0x1FFFFFFF", CanMode::Can20B));
    EXPECT_FALSE(check("2048", CanMode::Can20B));
    auto tooBigB = check("0x20000000", CanMode::Can20B);
    ASSERT_TRUE(tooBigB);
    EXPECT_EQ(tooBigB->text, "!! The CobID in CAN 2.0B 29bit");

    for (const char* bad : {"-1", "abc", "", "385 ", "12.0"}) {
        auto failure = check(bad, CanMode::Can20A);
        ASSERT_TRUE(failure) << bad;
        EXPECT_EQ(failure->row, 2);
    }
    EXPECT_FALSE(check(" 0x181", CanMode::Can20A));
    EXPECT_FALSE(check("+385", CanMode::Can20A));
}

TEST(CheckFrameTable, DimensionMustBeOneToEightAndCobIdIsReportedFirst) {
    auto check = [](std::string cobId, std::string dim) {
        return CheckFrameTable(Table(FrameDirection::Transmit, {{"1", "1", "", ""}, {"2", "8", "", ""}, {cobId, dim, "", ""}}),
                               CanMode::Can20A);
    };
    EXPECT_FALSE(check("3", "1"));
    EXPECT_FALSE(check("3", "$8"));
    for (const char* bad : {"0", "9", "", "abc", "-1"}) {
        auto failure = check("3", bad);
        ASSERT_TRUE(failure) << bad;
        EXPECT_EQ(failure->Message(), "Error in row 3!! The Dimension of CAN frame must between 1 and 8");
        EXPECT_EQ(failure->column, kDimensinColumn);
    }
    auto both = check("9999", "9");
    ASSERT_TRUE(both);
    EXPECT_EQ(both->text, "!! The CobID in CAN 2.0A must between 0 and 2047");
    EXPECT_EQ(both->column, kCobIdColumn);
}

}  // namespace
}  // namespace vestrel
