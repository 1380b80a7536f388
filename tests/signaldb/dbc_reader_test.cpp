#include "signaldb/database_file.h"
#include "signaldb/dbc_reader.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace vestrel::signaldb {
namespace {

using namespace test;

constexpr const char* kHead = "VERSION \"\"\nNS_ :\n\tCM_\n\tBA_\nBS_:\nBU_: A B\n";

Database Read(const std::string& body) { return ReadDbc(kHead + body, "t.dbc"); }

TEST(DbcReader, FilesThatCannotBeReadAsAWholeNameTheLineAndTheReason) {
    const struct {
        std::string body;
        int line;  // of the whole file, kHead being lines 1-6
        const char* reason;
    } kCases[] = {
        {"BO_ 1 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" B\nBO_ 1 N: 8 A\n", 9,
         "message id 0x1 is defined twice: M on line 7 and N here"},
        {"BO_ 1 M: 8 A\nBO_ 2 M: 8 A\n", 8, "message name M is used twice: on line 7 and here"},
        {"BO_ 1 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" B\n SG_ S : 8|8@1+ (1,0) [0|0] \"\" B\n", 9,
         "signal S appears twice in message M: on line 8 and here"},
        {" SG_ S : 0|8@1+ (1,0) [0|0] \"\" B\n", 7, "SG_ before any BO_: the signal belongs to no message"},
        {"BO_ 1 M: 8 A\n SG_ S : 0|8@2+ (1,0) [0|0] \"\" B\n", 8, "the byte order after '@' is 0 (Motorola) or 1 (Intel)"},
        {"BO_ 1 M: 8 A\n SG_ S : 0 8@1+ (1,0) [0|0] \"\" B\n", 8, "expected '|' after the start bit, found '8@1+'"},
        {"BO_ 1 M: 8 A\n SG_ S : 0|8@1+ (1;0) [0|0] \"\" B\n", 8, "expected ',' after the factor, found ';0)'"},
        {"BO_ 1 M: 8 A\n SG_ S : 0|8@1+ (x,0) [0|0] \"\" B\n", 8, "expected the factor as a number, found 'x,0)'"},
        {"BO_ 1 M: 8 A\n SG_ S q7 : 0|8@1+ (1,0) [0|0] \"\" B\n", 8,
         "'q7' is not a multiplexing mark (M, or m followed by a number)"},
        {"BO_ 1 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"unit B\n", 8, "the quoted unit has no closing quote"},
        {"BO_ 1 M: 8 A\nCM_ BO_ 1 \"open\n\n", 8, "the quoted comment has no closing quote"},
        {"BO_ 1 M: 8 A\nBA_DEF_ BO_ \"X\" INT 0 1\n\n", 8, "the statement has no closing ';'"},
        {"BO_ 1 M: 8 A\nFOO_ 1 2;\n", 8, "unknown keyword 'FOO_'"},
        {"BO_ 4294967296 M: 8 A\n", 7, "the message id 4294967296 is out of range (at most 4294967295)"},
        {"BO_ 1 M 8 A\n", 7, "expected ':' after the message name, found '8'"},
        {"BO_ 1 M: 8 A\nCM_ XX_ 1 \"c\";\n", 8, "CM_ XX_: a comment is on BU_, BO_, SG_ or EV_"},
        {"BO_ 1 M: 8 A\nVAL_ 1 S 1.5 \"x\";\n", 8, "expected value description in quotes, found '.5'"},
        {"BO_ 1 M: 8 A\nCM_ \"x \x81\";\n", 8, "the file is neither UTF-8 nor Windows-1252: byte 0x81 has no meaning in either"},
    };
    for (const auto& c : kCases) {
        try {
            Read(c.body);
            ADD_FAILURE() << "read: " << c.body;
        } catch (const DatabaseError& e) {
            EXPECT_EQ(e.File(), "t.dbc");
            EXPECT_EQ(e.Line(), c.line) << c.body;
            EXPECT_EQ(e.Reason(), c.reason) << c.body;
            EXPECT_EQ(std::string(e.what()), "t.dbc:" + std::to_string(c.line) + ": " + c.reason);
        }
    }
}

TEST(DbcReader, WhatOneMessageOrSignalCannotUseStaysInItsProblem) {
    const Database db = Read(
        "BO_ 2048 Wide: 8 A\n"
        " SG_ S : 0|8@1+ (1,0) [0|0] \"\" B\n"
        "BO_ 3221225727 Long: 8 A\n"
        "BO_ 3 Fd: 65 A\n"
        "BO_ 4 Sigs: 8 A\n"
        " SG_ Zero : 0|0@1+ (1,0) [0|0] \"\" B\n"
        " SG_ Wide : 0|65@1+ (1,0) [0|0] \"\" B\n"
        " SG_ Far : 512|8@1+ (1,0) [0|0] \"\" B\n"
        " SG_ FarMotorola : 511|9@0+ (1,0) [0|0] \"\" B\n"
        " SG_ Flt : 0|16@1- (1,0) [0|0] \"\" B\n"
        " SG_ Dbl : 0|32@1- (1,0) [0|0] \"\" B\n"
        " SG_ NoFactor : 0|8@1+ (0,3) [0|0] \"\" B\n"
        " SG_ Fine : 504|8@1+ (1,0) [0|0] \"\" B\n"
        "SIG_VALTYPE_ 4 Flt : 1;\nSIG_VALTYPE_ 4 Dbl : 2;\n");
    ASSERT_EQ(db.messages.size(), 4u);
    EXPECT_EQ(db.messages[0].problem, "id 0x800 is longer than 11 bits, and the file does not mark it extended");
    EXPECT_EQ(db.messages[1].problem, "id 0x400000FF is longer than 29 bits");
    EXPECT_EQ(db.messages[2].problem, "65 data bytes: a CAN frame holds at most 64");
    const std::vector<std::string> problems = {
        "0 bits: a signal holds 1 to 64",
        "65 bits: a signal holds 1 to 64",
        "its bits lie past the 64 data bytes of the longest CAN frame",
        "its bits lie past the 64 data bytes of the longest CAN frame",
        "an IEEE float (SIG_VALTYPE_ 1) has 32 bits, not 16",
        "an IEEE double (SIG_VALTYPE_ 2) has 64 bits, not 32",
        "its factor is 0: no raw value gives a physical one",
        "",
    };
    const auto& sigs = db.messages[3].signalList;
    ASSERT_EQ(sigs.size(), problems.size());
    for (std::size_t i = 0; i < sigs.size(); ++i) EXPECT_EQ(sigs[i].problem, problems[i]) << sigs[i].name;
}

TEST(DbcReader, ReadsWhatOtherReadersLeaveToConvention) {
    const Database db = Read(
        "BO_ 3221225472 VECTOR__INDEPENDENT_SIG_MSG: 0 Vector__XXX\n"
        " SG_ Free : 0|8@1+ (1,0) [0|0] \"\" Vector__XXX\n"
        "BO_ 100 M: 8 Vector__XXX\n"
        " SG_ Mux M : 0|8@1+ (1,0) [0|0] \"\" A\n"
        " SG_ Both m2M : 8|8@1+ (1,0) [0|0] \"\" A B\n"
        " SG_ Last m15 : 16|8@1+ (1,0) [0|0] \"\"\n"
        "BO_ 101 N: 2 A\r"
        " SG_ S : 0|8@1+ (1,0) [0|0] \"\" A\r"
        "BA_DEF_DEF_ \"GenMsgCycleTime\" 250;\n"
        "BA_ \"GenMsgCycleTime\" BO_ 101 0;\n"
        "CM_ SG_ 100 Last \"one\r\ntwo\";\n"
        "CM_ SG_ 999 Nothing \"for no message\";\n"
        "VAL_ 100 Mux 2 \"b\" 1 \"a\" 2 \"B again\" -1 \"minus\" ;\n");
    ASSERT_EQ(db.messages.size(), 2u);
    const Message& m = db.messages[0];
    EXPECT_EQ(m.name, "M");
    EXPECT_TRUE(m.transmitters.empty());
    EXPECT_EQ(m.cycleTimeMs, 250);  // the default of the attribute
    ASSERT_EQ(m.signalList.size(), 3u);
    EXPECT_EQ(m.signalList[0].mux, Multiplexing::Multiplexor);
    EXPECT_EQ(m.signalList[1].mux, Multiplexing::Multiplexed);
    EXPECT_EQ(m.signalList[1].muxValue, 2);
    EXPECT_EQ(m.signalList[1].receivers, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(m.signalList[2].muxValue, 15);
    EXPECT_TRUE(m.signalList[2].receivers.empty());
    EXPECT_EQ(m.signalList[2].comment, "one\ntwo");
    EXPECT_EQ(m.signalList[0].values,
              (std::vector<ValueName>{{-1, "minus"}, {1, "a"}, {2, "B again"}}));
    EXPECT_EQ(db.messages[1].line, 13);  // lone CRs end lines as well
    EXPECT_EQ(db.messages[1].cycleTimeMs, std::nullopt);  // 0: not cyclic
    EXPECT_EQ(db.messages[1].signalList.at(0).line, 14);
}

TEST(DbcReader, UnitsReadAlikeFromUtf8AndWindows1252) {
    const std::string body = "BO_ 1 M: 8 A\n SG_ T : 0|8@1+ (1,0) [0|0] \"\xB0" "C\" B\n";
    const std::string utf8 = "BO_ 1 M: 8 A\n SG_ T : 0|8@1+ (1,0) [0|0] \"\xC2\xB0" "C\" B\n";
    for (const std::string& text : {std::string(kHead) + body, std::string(kHead) + utf8,
                                    "\xEF\xBB\xBF" + std::string(kHead) + utf8}) {
        const Database db = ReadDbc(text, "t.dbc");
        EXPECT_EQ(db.messages.at(0).signalList.at(0).unit, "\xC2\xB0" "C");
    }
    EXPECT_EQ(Read("BO_ 1 M: 8 A\nCM_ BO_ 1 \"\x80 \x9F\";\n").messages[0].comment, "\u20AC \u0178");
}

TEST(DbcReader, DatabaseFilesAreChosenByTheirNameAndRefusedAboveTheLimitUnread) {
    TempDir dir;
    WriteFile(dir / "a.DBC", std::string(kHead) + "BO_ 1 M: 8 A\n");
    EXPECT_EQ(ReadDatabaseFile(dir / "a.DBC").messages.size(), 1u);
    WriteFile(dir / "a.txt", kHead);
    EXPECT_THROW(ReadDatabaseFile(dir / "a.txt"), DatabaseError);
    {
        std::ofstream big(dir / "big.dbc");
        big.seekp(static_cast<std::streamoff>(kMaxDatabaseBytes));
        big.put('\n');
    }
    try {
        ReadDatabaseFile(dir / "big.dbc");
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("big.dbc"), std::string::npos) << e.what();
    }
}

TEST(DbcReader, SizesNoDatabaseReachesAreRefused) {
    std::string many = kHead;
    for (std::size_t i = 0; i <= kMaxMessages; ++i) many += "BO_ " + std::to_string(i) + " M" + std::to_string(i) + ": 0 A\n";
    try {
        ReadDbc(many, "t.dbc");
        ADD_FAILURE();
    } catch (const DatabaseError& e) {
        EXPECT_EQ(e.Reason(), "more than 65536 messages: no CAN database is that large");
        EXPECT_EQ(e.Line(), 7 + static_cast<int>(kMaxMessages));
    }
}

}  // namespace
}  // namespace vestrel::signaldb
