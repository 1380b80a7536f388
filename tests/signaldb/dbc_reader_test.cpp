#include "signaldb/database_file.h"
#include "signaldb/dbc_reader.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace vestrel::signaldb {
namespace {

using namespace test;

constexpr const char* kHead = "VERSION \"\"\nNS_ :\n\tCM_\n\tBA_\nBS_:\nBU_: A B\n";

Database Read(const std::string& body) { return ReadDbc(kHead + body, "t.dbc"); }

Database Strict(const std::string& body) { return ReadDbc(kHead + body, "t.dbc", {.strict = true}); }

// What a statement that cannot be read costs without --strict.
enum class Cost { WholeFile, Message, Skipped };

// Each case: the file after kHead, the line (of the whole file, kHead being
// lines 1-6) and the reason of the fault, and what it costs. With --strict
// every fault refuses the whole file with that line and reason; without, a
// refused message carries the reason in its problem and a note names the
// line, and a skipped statement leaves only its note.
TEST(DbcReader, FaultsNameTheirLineAndCostTheFileTheMessageOrTheStatement) {
    const struct {
        std::string body;
        int line;
        const char* reason;
        Cost cost;
    } kCases[] = {
        {"BO_ 1 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" B\nBO_ 1 N: 8 A\n", 9,
         "message id 0x1 is defined twice: M on line 7 and N here", Cost::WholeFile},
        {"BO_ 1 M: 8 A\nBO_ 2 M: 8 A\n", 8, "message name M is used twice: on line 7 and here", Cost::WholeFile},
        {"BO_ 1 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" B\n SG_ S : 8|8@1+ (1,0) [0|0] \"\" B\n", 9,
         "signal S appears twice in message M: on line 8 and here", Cost::WholeFile},
        {" SG_ S : 0|8@1+ (1,0) [0|0] \"\" B\n", 7, "SG_ before any BO_: the signal belongs to no message",
         Cost::WholeFile},
        {"BO_ 1 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"unit B\n", 8, "the quoted unit has no closing quote",
         Cost::WholeFile},
        {"BO_ 1 M: 8 A\nCM_ BO_ 1 \"open\n\n", 8, "the quoted comment has no closing quote", Cost::WholeFile},
        {"BO_ 1 M: 8 A\nFOO_ 1 2;\n", 8, "unknown keyword 'FOO_'", Cost::WholeFile},
        {"BO_ 1 M: 8 A\nCM_ \"x \x81\";\n", 8, "the file is neither UTF-8 nor Windows-1252: byte 0x81 has no meaning in either",
         Cost::WholeFile},
        {"BO_ 1 M: 8 A\nBA_ \"VFrameFormat\" BO_ 1 x;\n", 8, "expected the frame format as a number, found 'x;'",
         Cost::WholeFile},
        {"BO_ 1 M: 8 A\nBA_ \"SystemMessageLongSymbol\" BO_ 1 Long;\n", 8,
         "expected long name in quotes, found 'Long;'", Cost::WholeFile},
        {"BO_ 1 M: 8 A\nBA_DEF_DEF_ \"VFrameFormat\" \"StandardCAN_FD\"\nBA_ \"X\" BO_ 1 1;\n", 8,
         "the BA_DEF_DEF_ statement does not end with ';'", Cost::WholeFile},
        {"BO_ 1 M: 8 A\nBA_ GenMsgCycleTime BO_ 1 1;\n", 8, "expected attribute name in quotes, found 'GenMsgCycleTime'",
         Cost::WholeFile},
        {"BO_ 1 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" B\nSIG_VALTYPE_ 1 S : 3;\n", 9,
         "the value type 3 is out of range (at most 2)", Cost::WholeFile},
        // A message or signal definition: its message alone.
        {"BO_ 1 M: 8 A\n SG_ S : 0|8@2+ (1,0) [0|0] \"\" B\n", 8, "the byte order after '@' is 0 (Motorola) or 1 (Intel)",
         Cost::Message},
        {"BO_ 1 M: 8 A\n SG_ S : 0 8@1+ (1,0) [0|0] \"\" B\n", 8, "expected '|' after the start bit, found '8@1+'",
         Cost::Message},
        {"BO_ 1 M: 8 A\n SG_ S : 0|8@1+ (1;0) [0|0] \"\" B\n", 8, "expected ',' after the factor, found ';0)'",
         Cost::Message},
        {"BO_ 1 M: 8 A\n SG_ S : 0|8@1+ (x,0) [0|0] \"\" B\n", 8, "expected the factor as a number, found 'x,0)'",
         Cost::Message},
        {"BO_ 1 M: 8 A\n SG_ S q7 : 0|8@1+ (1,0) [0|0] \"\" B\n", 8,
         "'q7' is not a multiplexing mark (M, or m followed by a number)", Cost::Message},
        {"BO_ 1 M: 8 A\n SG_ S m : 0|8@1+ (1,0) [0|0] \"\" B\n", 8,
         "'m' is not a multiplexing mark (M, or m followed by a number)", Cost::Message},
        {"BO_ 1 M 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" B\n", 7, "expected ':' after the message name, found '8'",
         Cost::Message},
        {"BO_ 4294967296 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" B\n", 7,
         "the message id 4294967296 is out of range (at most 4294967295)", Cost::Message},
        // What only adds a comment, a value table, an attribute or senders: skipped.
        {"BO_ 1 M: 8 A\nBA_DEF_ BO_ \"X\" INT 0 1\n\n", 8, "the BA_DEF_ statement does not end with ';'", Cost::Skipped},
        {"BO_ 1 M: 8 A\nCM_ BO_ 1 \"c\"\nBA_ \"GenMsgCycleTime\" BO_ 1 100;\n", 8,
         "the CM_ statement does not end with ';'", Cost::Skipped},
        {"BO_ 1 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" B\nVAL_ 1 S 1 \"a\" 2 \"b\"\nBA_ \"GenMsgCycleTime\" BO_ 1 100;\n",
         9, "the VAL_ statement does not end with ';'", Cost::Skipped},
        {"BO_ 1 M: 8 A\nCM_ SG_ 1\nBA_ \"GenMsgCycleTime\" BO_ 1 100;\n", 8,
         "expected the signal name, found the end of the line", Cost::Skipped},
        {"BO_ 1 M: 8 A\nCM_ SG_ 1 \"a comment without its signal\";\nBA_ \"GenMsgCycleTime\" BO_ 1 100;\n", 8,
         "expected the signal name, found '\"a'", Cost::Skipped},
        {"BO_ 1 M: 8 A\nCM_ XX_ 1 \"c\";\nBA_ \"GenMsgCycleTime\" BO_ 1 100;\n", 8,
         "CM_ XX_: a comment is on BU_, BO_, SG_ or EV_", Cost::Skipped},
        {"BO_ 1 M: 8 A\nVAL_ 1 S 1.5 \"x\";\nBA_ \"GenMsgCycleTime\" BO_ 1 100;\n", 8,
         "expected value description in quotes, found '.5'", Cost::Skipped},
        {"BO_ 1 M: 8 A\nVAL_ 1 S -9223372036854775809 \"x\";\nBA_ \"GenMsgCycleTime\" BO_ 1 100;\n", 8,
         "a value of the value table -9223372036854775809 is out of range (-9223372036854775808 to "
         "9223372036854775807)",
         Cost::Skipped},
        {"BO_ 1 M: 8 A\nBA_ \"GenSigStartValue\" SG_ 1 S\nBA_ \"GenMsgCycleTime\" BO_ 1 100;\n", 8,
         "the BA_ statement does not end with ';'", Cost::Skipped},
        {"BO_ 1 M: 8 A\nBO_TX_BU_ 1 : X Y\nBA_ \"GenMsgCycleTime\" BO_ 1 100;\n", 8,
         "the BO_TX_BU_ statement does not end with ';'", Cost::Skipped},
        {"BO_ 1 M: 8 A\nSIG_GROUP_ 1 G 1 : S\nBA_ \"GenMsgCycleTime\" BO_ 1 100;\n", 8,
         "the SIG_GROUP_ statement does not end with ';'", Cost::Skipped},
    };
    for (const auto& c : kCases) {
        const std::string where = "t.dbc:" + std::to_string(c.line) + ": " + c.reason;
        try {
            Strict(c.body);
            ADD_FAILURE() << "read with --strict: " << c.body;
        } catch (const DatabaseError& e) {
            EXPECT_EQ(e.File(), "t.dbc");
            EXPECT_EQ(e.Line(), c.line) << c.body;
            EXPECT_EQ(e.Reason(), c.reason) << c.body;
            EXPECT_EQ(std::string(e.what()), where);
        }
        if (c.cost == Cost::WholeFile) {
            EXPECT_THROW(Read(c.body), DatabaseError) << c.body;
            continue;
        }
        const Database db = Read(c.body);
        ASSERT_EQ(db.notes.size(), 1u) << c.body;
        EXPECT_EQ(db.notes[0].line, c.line) << c.body;
        EXPECT_NE(db.notes[0].text.find(c.reason), std::string::npos) << db.notes[0].text;
        if (c.cost == Cost::Skipped) {
            ASSERT_EQ(db.messages.size(), 1u) << c.body;
            EXPECT_EQ(db.messages[0].problem, "") << c.body;
            // The next statement is read in full.
            if (c.body.find("GenMsgCycleTime") != std::string::npos) {
                EXPECT_EQ(db.messages[0].cycleTimeMs, 100) << c.body;
            }
        } else if (c.body.find("4294967296") == std::string::npos) {
            ASSERT_EQ(db.messages.size(), 1u) << c.body;
            EXPECT_NE(db.messages[0].problem.find(c.reason), std::string::npos) << db.messages[0].problem;
        } else {
            EXPECT_TRUE(db.messages.empty()) << "a message without its id, and its signals, are left out";
        }
    }
}

// One broken definition refuses its message; the others are read, and the
// listing's notes say what was skipped.
TEST(DbcReader, TheRestOfAFileWithBrokenStatementsIsRead) {
    const Database db = Read(
        "BO_ 1 Good: 8 A\n"
        " SG_ S : 0|8@1+ (1,0) [0|0] \"\" B\n"
        "BO_ 2 Broken: 8 A\n"
        " SG_ Fine : 0|8@1+ (1,0) [0|0] \"\" B\n"
        " SG_ Bad m : 8|8@1+ (1,0) [0|0] \"\" B\n"
        "BO_ 3 AlsoGood: 2 A\n"
        " SG_ T : 0|16@1- (0.5,0) [0|0] \"\" B\n"
        "CM_ SG_ 1 \"no signal named\";\n"
        "CM_ SG_ 3 T \"kept\";\n");
    ASSERT_EQ(db.messages.size(), 3u);
    EXPECT_EQ(db.messages[0].problem, "");
    EXPECT_EQ(db.messages[1].problem,
              "the definition of signal Bad on line 11 cannot be read: 'm' is not a multiplexing mark (M, or m "
              "followed by a number)");
    EXPECT_EQ(db.messages[2].problem, "");
    EXPECT_EQ(db.messages[2].signalList.at(0).comment, "kept");
    EXPECT_EQ(db.notes, (std::vector<DatabaseNote>{
                            {11, "message Broken refused: signal Bad: 'm' is not a multiplexing mark (M, or m followed "
                                 "by a number)"},
                            {14, "CM_ skipped, a comment is lost: expected the signal name, found '\"no'"},
                        }));
    EXPECT_EQ(NoteText(db, db.notes[1]), "t.dbc:14: CM_ skipped, a comment is lost: expected the signal name, found '\"no'");
}

// The forms other tools write: nodes over several lines, the long names of
// messages and signals, and the frame format of each message.
TEST(DbcReader, ReadsNodeListsLongNamesAndFrameFormats) {
    const Database db = ReadDbc(
        "VERSION \"\"\nBS_:\nBU_: A B\n  C D\n\tE\n"
        "BO_ 1 ShortMessage_0000: 8 A\n"
        " SG_ ShortSignal_0000 : 0|8@1+ (1,0) [0|0] \"\" B\n"
        " SG_ Other : 8|8@1+ (1,0) [0|0] \"\" B\n"
        "BO_ 2 Fd: 8 A\n"
        "BO_ 3 Classic: 8 A\n"
        "BO_ 2147483652 J1939: 8 A\n"
        "BO_ 5 Odd: 8 A\n"
        "BA_DEF_ BO_ \"VFrameFormat\" ENUM \"StandardCAN\",\"ExtendedCAN\",\n"
        "  \"reserved\",\"J1939PG\",\"StandardCAN_FD\";\n"
        "BA_DEF_DEF_ \"VFrameFormat\" \"StandardCAN_FD\";\n"
        "BA_ \"VFrameFormat\" BO_ 3 0;\n"
        "BA_ \"VFrameFormat\" BO_ 2147483652 3;\n"
        "BA_ \"VFrameFormat\" BO_ 5 2;\n"
        "BA_ \"SystemMessageLongSymbol\" BO_ 1 \"AMessageNameLongerThanThirtyTwoCharacters\";\n"
        "BA_ \"SystemSignalLongSymbol\" SG_ 1 ShortSignal_0000 \"ASignalNameLongerThanThirtyTwoCharacters\";\n"
        "CM_ SG_ 1 ShortSignal_0000 \"found by its short name\";\n",
        "t.dbc");
    ASSERT_EQ(db.messages.size(), 5u);
    EXPECT_EQ(db.messages[0].name, "AMessageNameLongerThanThirtyTwoCharacters");
    EXPECT_EQ(db.messages[0].signalList[0].name, "ASignalNameLongerThanThirtyTwoCharacters");
    EXPECT_EQ(db.messages[0].signalList[0].comment, "found by its short name");
    EXPECT_EQ(db.messages[0].signalList[1].name, "Other");
    const struct {
        const char* format;
        bool fd;
        const char* problem;
    } kFormats[] = {
        {"StandardCAN_FD", true, ""},  // the default
        {"StandardCAN_FD", true, ""},
        {"StandardCAN", false, ""},
        {"J1939PG", false, ""},
        {"reserved", false,
         "VFrameFormat \"reserved\" (line 18) is no frame format this tool knows (StandardCAN, ExtendedCAN, J1939PG, "
         "StandardCAN_FD, ExtendedCAN_FD)"},
    };
    for (std::size_t i = 0; i < db.messages.size(); ++i) {
        EXPECT_EQ(db.messages[i].frameFormat, kFormats[i].format) << db.messages[i].name;
        EXPECT_EQ(db.messages[i].canFd, kFormats[i].fd) << db.messages[i].name;
        EXPECT_EQ(db.messages[i].problem, kFormats[i].problem) << db.messages[i].name;
    }
    // An index with no definition of the values cannot be told.
    const Database bare = Read("BO_ 1 M: 8 A\nBA_ \"VFrameFormat\" BO_ 1 14;\n");
    EXPECT_EQ(bare.messages[0].problem,
              "VFrameFormat 14 (line 8) without the attribute's definition (BA_DEF_ BO_ \"VFrameFormat\" ENUM ...): "
              "its frame format is not known");
    EXPECT_THROW(Read("BO_ 1 M: 8 A\nBO_ 2 N: 8 A\nBA_ \"SystemMessageLongSymbol\" BO_ 1 \"N\";\n"), DatabaseError);
}

// A file that is no text says what it is, before anything is parsed.
TEST(DbcReader, FilesThatAreNoTextSayWhatTheyAre) {
    const std::string text = std::string(kHead) + "BO_ 1 M: 8 A\n";
    const auto utf16 = [&](bool little, bool mark) {
        std::string out = mark ? (little ? "\xFF\xFE" : "\xFE\xFF") : "";
        for (char c : text) out += little ? std::string{c, '\0'} : std::string{'\0', c};
        return out;
    };
    const struct {
        std::string bytes;
        int line;
        const char* reason;
    } kCases[] = {
        {utf16(true, true), 0, "the file is UTF-16 (little-endian): a DBC is read as UTF-8 or Windows-1252; save it in one of those"},
        {utf16(false, true), 0, "the file is UTF-16 (big-endian): a DBC is read as UTF-8 or Windows-1252; save it in one of those"},
        {utf16(true, false), 0, "the file is UTF-16 (little-endian): a DBC is read as UTF-8 or Windows-1252; save it in one of those"},
        {text + "CM_ \"a" + '\0' + "b\";\n", 8, "a NUL byte (0x00): the file holds binary data, and a DBC is text"},
    };
    for (const auto& c : kCases) {
        try {
            ReadDbc(c.bytes, "t.dbc");
            ADD_FAILURE() << c.reason;
        } catch (const DatabaseError& e) {
            EXPECT_EQ(e.Line(), c.line) << c.reason;
            EXPECT_EQ(e.Reason(), c.reason);
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
