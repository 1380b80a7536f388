#include "signaldb/database_file.h"
#include "signaldb/eds_reader.h"
#include "signaldb/ini_document.h"
#include "signaldb/signal_listing.h"

#include <gtest/gtest.h>

namespace vestrel::signaldb {
namespace {

// Objects a PDO can map: two UNSIGNED8 inputs (with the same name), an
// INTEGER16, a REAL32, a BOOLEAN, an INTEGER24 with limits, a string.
const std::string kObjects =
    "[DeviceInfo]\nProductName=Node\n"
    "[6000]\nParameterName=Inputs\nObjectType=0x8\nSubNumber=3\n"
    "[6000sub1]\nParameterName=Input\nDataType=0x0005\n"
    "[6000sub2]\nParameterName=Input\nDataType=0x0005\n"
    "[6401sub1]\nParameterName=Analog 1\nDataType=0x0003\n"
    "[6402]\nParameterName=Pressure\nObjectType=0x7\nDataType=0x0008\n"
    "[6403]\nParameterName=Ready\nDataType=0x0001\n"
    "[6404]\nParameterName=Position\nDataType=0x0010\nLowLimit=-1000\nHighLimit=$NODEID+1000\n"
    "[6405]\nParameterName=Label\nDataType=0x0009\n"
    "[6406]\nParameterName=Counter\nDataType=0x001B\n";

// A PDO: communication object `comm` with COB-ID `cob`, mapping the entries.
std::string Pdo(int comm, const std::string& cob, std::vector<std::string> entries, const char* value = "DefaultValue") {
    char index[8], mapping[8];
    std::snprintf(index, sizeof index, "%04X", comm);
    std::snprintf(mapping, sizeof mapping, "%04X", comm + 0x200);
    std::string text = std::string("[") + index + "]\nSubNumber=2\n[" + index + "sub1]\n" + value + "=" + cob + "\n";
    text += std::string("[") + mapping + "sub0]\n" + value + "=" + std::to_string(entries.size()) + "\n";
    for (std::size_t i = 0; i < entries.size(); ++i)
        text += std::string("[") + mapping + "sub" + std::to_string(i + 1) + "]\n" + value + "=" + entries[i] + "\n";
    return text;
}

Database Read(const std::string& text, std::optional<int> node = 5, bool nodeIdCobIds = false) {
    return ReadEds(text, "n.eds", {node, nodeIdCobIds, false});
}

TEST(EdsReader, CobIdsFromNodeIdArithmeticAndFlags) {
    const struct {
        const char* cob;
        int node;
        std::uint32_t id;
        bool extended, disabled;
    } kCases[] = {
        {"$NODEID+0x180", 5, 0x185, false, false},   {"0x180 + $nodeid", 5, 0x185, false, false},
        {"384+$NODEID", 1, 0x181, false, false},     {"$NODEID+0x200-1", 3, 0x202, false, false},
        {"0x181", 5, 0x181, false, false},           {"0600", 5, 0x180, false, false},
        {"$NODEID+0x80000180", 5, 0x185, false, true}, {"0x40000185", 5, 0x185, false, false},
        {"0xA0012345", 5, 0x12345, true, true},       {"0x20000185", 5, 0x185, true, false},
    };
    for (const auto& c : kCases) {
        const Database db = Read(kObjects + Pdo(0x1800, c.cob, {"0x64010110"}), c.node);
        ASSERT_EQ(db.messages.size(), 1u) << c.cob;
        const Message& m = db.messages[0];
        EXPECT_EQ(m.problem, "") << c.cob;
        EXPECT_EQ(m.id, c.id) << c.cob;
        EXPECT_EQ(m.extended, c.extended) << c.cob;
        EXPECT_EQ(m.disabled, c.disabled) << c.cob;
    }
}

TEST(EdsReader, MappedObjectsBecomeSignalsInPdoOrder) {
    const Database db = Read(kObjects +
                             Pdo(0x1400, "$NODEID+0x200", {"0x64020020"}) +
                             Pdo(0x1801, "$NODEID+0x280", {"0x60000108", "0x00050008", "0x60000208", "0x64030001",
                                                           "0x00010003", "0x64040018"}) +
                             Pdo(0x1800, "$NODEID+0x180", {}));
    ASSERT_EQ(db.messages.size(), 3u);
    // The node's transmit PDOs first (frames the gateway receives), by number.
    EXPECT_EQ(db.messages[0].name, "TPDO1");
    EXPECT_EQ(db.messages[0].length, 0);
    EXPECT_TRUE(db.messages[0].signalList.empty());
    const Message& m = db.messages[1];
    EXPECT_EQ(m.name, "TPDO2");
    EXPECT_EQ(m.direction, FrameDirection::Receive);
    EXPECT_EQ(db.messages[2].name, "RPDO1");
    EXPECT_EQ(db.messages[2].direction, FrameDirection::Transmit);
    EXPECT_EQ(db.messages[2].signalList.at(0).type, ValueType::Float32);

    // Dummies (0x0005 UNSIGNED8, 0x0001 BOOLEAN) take their bits and no signal.
    const struct {
        const char* name;
        int start, length;
        ValueType type;
        std::uint16_t index;
    } kSignals[] = {
        {"Input", 0, 8, ValueType::Unsigned, 0x6000},
        {"Input (0x6000:02)", 16, 8, ValueType::Unsigned, 0x6000},
        {"Ready", 24, 1, ValueType::Unsigned, 0x6403},
        {"Position", 28, 24, ValueType::Signed, 0x6404},
    };
    ASSERT_EQ(m.signalList.size(), std::size(kSignals));
    for (std::size_t i = 0; i < m.signalList.size(); ++i) {
        const Signal& s = m.signalList[i];
        EXPECT_EQ(s.name, kSignals[i].name);
        EXPECT_EQ(s.startBit, kSignals[i].start) << s.name;
        EXPECT_EQ(s.length, kSignals[i].length) << s.name;
        EXPECT_EQ(s.type, kSignals[i].type) << s.name;
        EXPECT_EQ(s.order, ByteOrder::Intel) << s.name;
        EXPECT_EQ(s.objectIndex, kSignals[i].index) << s.name;
        EXPECT_EQ(s.problem, "") << s.name;
    }
    EXPECT_EQ(m.length, 7);  // 52 bits
    EXPECT_EQ(m.signalList[3].minimum, -1000);
    EXPECT_EQ(m.signalList[3].maximum, 1005);
}

TEST(EdsReader, WhatOnePdoOrObjectCannotUseStaysInItsProblem) {
    const struct {
        std::string pdo;
        const char* messageProblem;
        const char* signalProblem;
    } kCases[] = {
        {Pdo(0x1800, "$NODEID+0x180", {"0x70000108"}), "", "object 0x7000:01 is not in the file"},
        {Pdo(0x1800, "$NODEID+0x180", {"0x64050008"}), "", "object 0x6405:00 (VISIBLE_STRING) is not a number"},
        {Pdo(0x1800, "$NODEID+0x180", {"0x64010108"}), "",
         "the PDO maps 8 bits of object 0x6401:01 (INTEGER16, 16 bits)"},
        {Pdo(0x1800, "0x1234", {"0x64010110"}), "COB-ID 0x00001234 has bits above the 11-bit id of a frame not marked extended", ""},
        {Pdo(0x1800, "one", {"0x64010110"}), "line 4: \"one\" is not a number", ""},
        {"[1800]\nSubNumber=1\n", "it gives no COB-ID (0x1800:01)", ""},
        {"[1800sub1]\nDefaultValue=0x181\n", "it gives no number of mapped objects (0x1A00:00)", ""},
        {"[1800sub1]\nDefaultValue=0x181\n[1A00sub0]\nDefaultValue=65\n", "it maps 65 objects; a PDO maps 0 to 64", ""},
        {Pdo(0x1800, "0x181", std::vector<std::string>(9, "0x64060040")),
         "it maps 576 bits, more than the 64 bytes of any CAN frame", ""},
        {Pdo(0x1800, "-1", {"0x64010110"}), "COB-ID -1 is not a 32-bit value", ""},
        {"[1800sub1]\nDefaultValue=0x181\n[1A00sub0]\nDefaultValue=2\n[1A00sub1]\nDefaultValue=0x64010110\n",
         "mapping entry 0x1A00:02 gives no value", ""},
    };
    for (const auto& c : kCases) {
        const Database db = Read(c.pdo + kObjects);
        ASSERT_EQ(db.messages.size(), 1u) << c.pdo;
        EXPECT_EQ(db.messages[0].problem, c.messageProblem) << c.pdo;
        if (*c.signalProblem) {
            EXPECT_EQ(db.messages[0].signalList.at(0).problem, c.signalProblem) << c.pdo;
        }
    }
    // Past the longest frame, a signal cannot be used even where its message is refused anyway.
    const Database many = Read(Pdo(0x1800, "0x181", std::vector<std::string>(9, "0x64060040")) + kObjects);
    EXPECT_EQ(many.messages[0].signalList.at(7).problem, "");
    EXPECT_EQ(many.messages[0].signalList.at(8).problem, "its bits lie past the 64 data bytes of the longest CAN frame");
}

TEST(EdsReader, DcfValuesWinAndItsNodeIdServesWhenNoneIsGiven) {
    const std::string dcf = "[DeviceComissioning]\nNodeID=0x0A\n" + kObjects +
                            "[1800]\nSubNumber=2\n[1800sub1]\nDefaultValue=$NODEID+0x180\nParameterValue=0x1FF\n"
                            "[1A00sub0]\nDefaultValue=1\nParameterValue=2\n"
                            "[1A00sub1]\nDefaultValue=0x64010110\n[1A00sub2]\nDefaultValue=0x60000108\n"
                            "[1801sub1]\nDefaultValue=$NODEID+0x280\nParameterValue=\n[1A01sub0]\nDefaultValue=0\n";
    const Database fromFile = Read(dcf, std::nullopt);
    EXPECT_EQ(fromFile.format, DatabaseFormat::Dcf);
    EXPECT_EQ(fromFile.nodeId, 10);
    EXPECT_TRUE(fromFile.nodeIdFromFile);
    ASSERT_EQ(fromFile.messages.size(), 2u);
    EXPECT_EQ(fromFile.messages[0].id, 0x1FFu);
    EXPECT_EQ(fromFile.messages[0].signalList.size(), 2u);
    EXPECT_EQ(fromFile.messages[1].id, 0x28Au);  // an empty ParameterValue leaves DefaultValue
    const Database given = Read(dcf, 7);
    EXPECT_EQ(given.nodeId, 7);
    EXPECT_FALSE(given.nodeIdFromFile);
    EXPECT_EQ(given.messages[1].id, 0x287u);
}

// Where each COB-ID comes from, and what the node id would give instead of a
// ParameterValue that ignores it: taken with nodeIdCobIds, the PDO's enable
// bit staying as the ParameterValue has it.
TEST(EdsReader, EachCobIdSaysWhereItComesFrom) {
    const std::string file = "[DeviceComissioning]\nNodeID=10\n" + kObjects +
                             "[1800sub1]\nDefaultValue=$NODEID+0x180\nParameterValue=0x1FF\n[1A00sub0]\nDefaultValue=0\n"
                             "[1801sub1]\nDefaultValue=$NODEID+0x280\n[1A01sub0]\nDefaultValue=0\n"
                             "[1802sub1]\nDefaultValue=0x390\n[1A02sub0]\nDefaultValue=0\n"
                             "[1803sub1]\nDefaultValue=$NODEID+0x480\nParameterValue=0x800004FF\n[1A03sub0]\nDefaultValue=0\n"
                             "[1804sub1]\nDefaultValue=$NODEID+0x500\nParameterValue=$NODEID+0x580\n[1A04sub0]\nDefaultValue=0\n";
    const struct {
        std::optional<int> node;
        bool nodeIdCobIds;
        std::vector<std::string> expected;  // per PDO: its id, disabled, and CobIdOriginText
    } kCases[] = {
        {5, false,
         {"0x1FF ParameterValue (line 38), which node 5 does not change: its DefaultValue gives 0x185 (--node-cob-ids "
          "takes that)",
          "0x285 DefaultValue with node 5 (line 42)", "0x390 DefaultValue (line 46)",
          "0x4FF disabled ParameterValue (line 51), which node 5 does not change: its DefaultValue gives 0x485 "
          "(--node-cob-ids takes that)",
          "0x585 ParameterValue with node 5 (line 56)"}},
        {5, true,
         {"0x185 DefaultValue with node 5 (line 37); ParameterValue gives 0x1FF", "0x285 DefaultValue with node 5 (line 42)",
          "0x390 DefaultValue (line 46)", "0x485 disabled DefaultValue with node 5 (line 50); ParameterValue gives 0x4FF",
          "0x585 ParameterValue with node 5 (line 56)"}},
        {std::nullopt, false,
         {"0x1FF ParameterValue (line 38), which node 10 does not change: its DefaultValue gives 0x18A (--node-cob-ids "
          "takes that)",
          "0x28A DefaultValue with node 10 (line 42)", "0x390 DefaultValue (line 46)",
          "0x4FF disabled ParameterValue (line 51), which node 10 does not change: its DefaultValue gives 0x48A "
          "(--node-cob-ids takes that)",
          "0x58A ParameterValue with node 10 (line 56)"}},
    };
    for (const auto& c : kCases) {
        const Database db = Read(file, c.node, c.nodeIdCobIds);
        std::vector<std::string> seen;
        for (const Message& m : db.messages)
            seen.push_back(MessageIdText(m) + (m.disabled ? " disabled " : " ") +
                           CobIdOriginText(m, db.nodeId, "--node-cob-ids"));
        EXPECT_EQ(seen, c.expected);
    }
}

// Sizes no EDS reaches are refused at the line that passes them.
TEST(EdsReader, SectionsAndEntriesBeyondAnyDictionaryAreRefused) {
    std::string sections, entries = "[A]\n";
    for (std::size_t i = 0; i <= kMaxIniSections; ++i) sections += "[S" + std::to_string(i) + "]\n";
    for (std::size_t i = 0; i <= kMaxIniEntries; ++i) entries += "K" + std::to_string(i) + "=1\n";
    const struct {
        const std::string& text;
        int line;
        const char* reason;
    } kCases[] = {
        {sections, static_cast<int>(kMaxIniSections) + 1, "more than 65536 sections: no EDS or DCF is that large"},
        {entries, static_cast<int>(kMaxIniEntries) + 2, "more than 1048576 entries: no EDS or DCF is that large"},
    };
    for (const auto& c : kCases) {
        try {
            Read(c.text);
            ADD_FAILURE() << c.reason;
        } catch (const DatabaseError& e) {
            EXPECT_EQ(e.Line(), c.line);
            EXPECT_EQ(e.Reason(), c.reason);
        }
    }
}

TEST(EdsReader, FilesThatCannotBeReadAsAWholeNameTheLineAndTheReason) {
    const struct {
        std::string text;
        std::optional<int> node;
        int line;
        const char* reason;
    } kCases[] = {
        {"[1800sub1]\nDefaultValue=$NODEID+0x180\n", std::nullopt, 2,
         "the value \"$NODEID+0x180\" depends on the node id ($NODEID)"},
        {"[A]\nx=1\nnot an entry\n", 5, 3, "a line that is neither [section], key=value nor a comment"},
        {"x=1\n", 5, 1, "an entry before the first [section]"},
        {"[A]\n[a]\n", 5, 2, "section [a] appears twice: on line 1 and here"},
        {"[A]\nKey=1\n; c\nkey=2\n", 5, 4, "key appears twice in section [A]: on line 2 and here"},
        {"[1800sub1]\n[1800SUB01]\n", 5, 2, "section [1800SUB01] describes the same object as [1800sub1] on line 1"},
        {"[A\n", 5, 1, "a section name lacks its closing ']'"},
        {"[DeviceComissioning]\nNodeID=128\n", std::nullopt, 2, "NodeID \"128\": a CANopen node id is 1 to 127"},
        {"[A]\n", 0, 0, "node id 0: a CANopen node id is 1 to 127"},
        {"[A]\nName=\x81\n", 5, 2, "the file is neither UTF-8 nor Windows-1252: byte 0x81 has no meaning in either"},
        {std::string("\xFF\xFE[\0A\0]\0", 8), 5, 0,
         "the file is UTF-16 (little-endian): an EDS or DCF is read as UTF-8 or Windows-1252; save it in one of those"},
    };
    for (const auto& c : kCases) {
        try {
            Read(c.text, c.node);
            ADD_FAILURE() << c.text;
        } catch (const DatabaseError& e) {
            EXPECT_EQ(e.Line(), c.line) << c.text;
            EXPECT_EQ(e.Reason(), c.reason) << c.text;
        }
    }
    EXPECT_THROW(Read("[1800sub1]\nDefaultValue=$NODEID+0x180\n", std::nullopt), NodeIdNeeded);
}

TEST(EdsReader, TheExampleNodeReadsAsItsDocumentationSays) {
    const Database db = ReadDatabaseFile(VESTREL_EXAMPLES_DIR "/io-node.eds", {.nodeId = 5});
    EXPECT_EQ(db.format, DatabaseFormat::Eds);
    std::vector<std::string> seen;
    for (const Message& m : db.messages)
        seen.push_back(m.name + " " + MessageIdText(m) + (m.disabled ? " disabled" : "") + " " +
                       std::to_string(m.signalList.size()));
    EXPECT_EQ(seen, (std::vector<std::string>{"TPDO1 0x185 3", "TPDO2 0x285 2", "TPDO3 0x385 disabled 1",
                                              "RPDO1 0x205 1", "RPDO2 0x305 1"}));
    EXPECT_EQ(db.messages[0].cycleTimeMs, 100);
}

}  // namespace
}  // namespace vestrel::signaldb
