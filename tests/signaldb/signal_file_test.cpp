// signals.xml: written and read back the same, refused whole where it holds
// what this tool would not write, and what the project check says of it.
#include "inspect/project_check.h"
#include "signaldb/signal_file.h"
#include "signaldb/signal_file_check.h"
#include "support/temp_dir.h"

#include <clocale>

#include <gtest/gtest.h>

namespace vestrel::signaldb {
namespace {

using namespace test;
namespace fs = std::filesystem;

SignalFile Sample() {
    ImportedMessage m;
    m.direction = FrameDirection::Transmit;
    m.name = "Status & <Mode>";
    m.id = 0x18FF0081;
    m.extended = true;
    m.length = 8;
    m.order = WordOrder::LowFirst;
    m.newFrame = true;
    m.cycleTimeMs = 250;
    m.databaseId = 0x18FF0082;
    m.database = "../dbc/drive \"one\".dbc";
    m.sha256 = std::string(64, 'f');
    m.registers = {{7, 0x21}, {8, 0x87}, {9, 0x65}};
    ImportedSignal bits;
    bits.signal.name = "DCLink";
    bits.signal.startBit = 4;
    bits.signal.length = 12;
    bits.signal.type = ValueType::Signed;
    bits.signal.factor = 0.1;
    bits.signal.offset = -40.5;
    bits.signal.minimum = -1e-05;
    bits.signal.maximum = 409.5;
    bits.signal.unit = "\xC2\xB0" "C";
    bits.signal.comment = "line one\nline \"two\"\t& more";
    bits.signal.values = {{-3, "minus three"}, {0, ""}, {INT64_MAX, "max"}};
    bits.registers = {7};
    bits.shift = 4;
    bits.mask = 0xFFF;
    bits.masked = true;
    bits.signBit = 11;
    ImportedSignal wide;
    wide.signal.name = "Hours";
    wide.signal.startBit = 32;
    wide.signal.length = 32;
    wide.signal.type = ValueType::Float32;
    wide.signal.order = ByteOrder::Intel;
    wide.registers = {8, 9};
    wide.mask = 0xFFFFFFFF;
    m.signalList = {bits, wide};
    SignalFile file;
    file.messages.push_back(m);
    return file;
}

TEST(SignalFile, WhatIsWrittenReadsBackTheSameInAnyLocale) {
    TempDir dir;
    std::setlocale(LC_ALL, "de_DE.UTF-8");  // a decimal comma, where the locale exists
    const std::string text = SignalFileText(Sample());
    WriteFile(dir / "SIGNALS.XML", text);
    const SignalFileRead read = ReadSignalFile(dir.path());
    std::setlocale(LC_ALL, "C");
    ASSERT_TRUE(read.Loaded()) << read.error;
    EXPECT_EQ(read.fileName, "SIGNALS.XML");
    EXPECT_EQ(SignalFileText(read.file), text);
    EXPECT_NE(text.find("Factor=\"0.1\" Offset=\"-40.5\" Minimum=\"-1e-05\""), std::string::npos) << text;
    EXPECT_NE(text.find("<Signals Version=\"2\">"), std::string::npos) << text;
    EXPECT_NE(text.find("CobID=\"0x18FF0081\" DatabaseCobID=\"0x18FF0082\" Extended=\"Y\""), std::string::npos) << text;
    EXPECT_NE(text.find("NewFrame=\"Y\" CycleTime=\"250\""), std::string::npos) << text;
    EXPECT_NE(text.find("Type=\"signed\" SignBit=\"11\""), std::string::npos) << text;
    const ImportedMessage& m = read.file.messages.at(0);
    EXPECT_EQ(m.cycleTimeMs, 250);
    EXPECT_EQ(m.databaseId, 0x18FF0082u);
    EXPECT_EQ(m.signalList[0].signBit, 11);
    EXPECT_EQ(m.signalList[1].signBit, std::nullopt);
    EXPECT_EQ(m.name, "Status & <Mode>");
    EXPECT_EQ(m.database, "../dbc/drive \"one\".dbc");
    EXPECT_EQ(m.signalList[0].signal.comment, "line one\nline \"two\"\t& more");
    EXPECT_EQ(m.signalList[0].signal.values, Sample().messages[0].signalList[0].signal.values);
    EXPECT_EQ(m.signalList[0].signal.factor, 0.1);
    EXPECT_TRUE(m.signalList[0].masked);
    EXPECT_FALSE(m.signalList[1].masked);
    EXPECT_EQ(m.signalList[1].registers, (std::vector<std::int32_t>{8, 9}));
    EXPECT_EQ(RegisterLine(read.file, FrameDirection::Transmit, 9),
              "transmit 9: 0x18FF0081 Status & <Mode>, high B6, low B5: Hours (word 2 of 2, low word first; a PLC "
              "writing it writes both in one function 16 request)");
    EXPECT_EQ(RegisterLine(read.file, FrameDirection::Transmit, 7),
              "transmit 7: 0x18FF0081 Status & <Mode>, high B2, low B1: DCLink (shift right 4, mask 0xFFF; the PLC "
              "sign-extends bit 11)");
    EXPECT_EQ(ReadSignalFile(dir / "none").status, ProjectDocument::Status::Absent);
}

// A file is taken whole or not at all: each edit makes it unreadable, with
// the message and signal at fault named.
TEST(SignalFile, RefusesWhatThisToolWouldNotWrite) {
    const std::string good = SignalFileText(Sample());
    SignalFile twice = Sample();
    twice.messages.push_back(twice.messages[0]);
    const std::string doubled = SignalFileText(twice);
    const std::string other = "<Other/>";
    const struct {
        std::string from, to, why;
        const std::string* base = nullptr;
    } cases[] = {
        {"<Other/>", "<Other/>", "the document element is not \"Signals\"", &other},
        {"<Signals Version=\"2\">", "<Signals Version=\"2\"><Register/>", "message 1: an element \"Register\" where a Message belongs"},
        {"Version=\"2\"", "Version=\"3\"", "Version '3': this tool reads versions 1 to 2 of the file"},
        {"SignBit=\"11\"", "SignBit=\"12\"", "signal \"DCLink\": SignBit '12' is not a whole number from 0 to 11"},
        {"Type=\"signed\" SignBit", "Type=\"unsigned\" SignBit", "SignBit on a signal of type unsigned"},
        {"CycleTime=\"250\"", "CycleTime=\"0\"", "CycleTime '0' is not a whole number from 1 to 1000000000"},
        {"Direction=\"transmit\"", "Direction=\"sideways\"", "message 1 (Status & <Mode>): Direction 'sideways' is not receive or transmit"},
        {"Extended=\"Y\"", "Extended=\"N\"", "CobID '0x18FF0081' is not an 11-bit COB-ID"},
        {"DLC=\"8\"", "DLC=\"9\"", "DLC '9' is not a whole number from 1 to 8"},
        {"SHA256=\"ff", "SHA256=\"Gf", "is not 64 lower-case hexadecimal digits"},
        {"PosComp=\"135\"", "PosComp=\"144\"", "register 8: PosComp 144 names a byte the message does not have"},
        {"Registers=\"8,9\"", "Registers=\"8,10\"", "signal \"Hours\": Registers '8,10' names a register the message does not list"},
        {"StartBit=\"32\"", "StartBit=\"40\"", "signal \"Hours\": its bits reach past the message's 8 data bytes"},
        {"Type=\"float\"", "Type=\"double\"", "a double of 32 bits"},
        {"Mask=\"0xFFF\"", "Mask=\"0xFF\"", "Mask '0xFF' is not that of 12 bits"},
        {"Shift=\"4\"", "Shift=\"8\"", "Shift 8 and Length 12 do not fit its registers"},
        {"Factor=\"0.1\"", "Factor=\"0,1\"", "Factor '0,1' is not a number"},
        {"<Value Raw=\"0\"", "<Valeur Raw=\"0\"", "an element \"Valeur\" where a Value belongs"},
        {"Index=\"9\"", "Index=\"8\"", "register 8 is listed twice"},
        {"</Signals>", "</Signals>", "message 2 (Status & <Mode>): its frame is also that of message 1", &doubled},
    };
    for (const auto& c : cases) {
        std::string text = c.base ? *c.base : good;
        const auto at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, c.from.size(), c.to);
        TempDir dir;
        WriteFile(dir / "signals.xml", text);
        const SignalFileRead read = ReadSignalFile(dir.path());
        EXPECT_EQ(read.status, ProjectDocument::Status::Unreadable) << c.why;
        EXPECT_NE(read.error.find(c.why), std::string::npos) << read.error;
        EXPECT_TRUE(read.file.messages.empty());
    }
}

// A file written before signals.xml had a version reads on: the PLC's sign
// bit from the rule the import applies, no cycle times.
TEST(SignalFile, AFileOfVersionOneReadsWithTheSignBitOfTheRule) {
    std::string text = SignalFileText(Sample());
    for (const char* attribute : {" Version=\"2\"", " CycleTime=\"250\"", " SignBit=\"11\"", " DatabaseCobID=\"0x18FF0082\""})
        text.erase(text.find(attribute), std::string(attribute).size());
    TempDir dir;
    WriteFile(dir / "signals.xml", text);
    const SignalFileRead read = ReadSignalFile(dir.path());
    ASSERT_TRUE(read.Loaded()) << read.error;
    const ImportedMessage& m = read.file.messages.at(0);
    EXPECT_EQ(m.signalList[0].signBit, 11);
    EXPECT_EQ(m.cycleTimeMs, std::nullopt);
    EXPECT_EQ(m.databaseId, std::nullopt);
}

// What a database reader refuses of a scaling leaves that signal without a
// value, named by message, signal and attribute; the rest of the file is used.
TEST(SignalFile, AScalingNoReaderTakesLeavesItsSignalWithoutAValue) {
    const std::string good = SignalFileText(Sample());
    const struct {
        const char* from;
        const char* to;
        const char* problem;
    } kCases[] = {
        {"Factor=\"0.1\"", "Factor=\"nan\"", "Factor 'nan' is not a finite number"},
        {"Factor=\"0.1\"", "Factor=\"inf\"", "Factor 'inf' is not a finite number"},
        {"Factor=\"0.1\"", "Factor=\"0\"", "Factor '0' is 0: no raw value gives a physical one"},
        {"Offset=\"-40.5\"", "Offset=\"-inf\"", "Offset '-inf' is not a finite number"},
        {"Maximum=\"409.5\"", "Maximum=\"NaN\"", "Maximum 'NaN' is not a finite number"},
    };
    for (const auto& c : kCases) {
        std::string text = good;
        text.replace(text.find(c.from), std::string(c.from).size(), c.to);
        TempDir dir;
        WriteFile(dir / "signals.xml", text);
        const SignalFileRead read = ReadSignalFile(dir.path());
        ASSERT_TRUE(read.Loaded()) << read.error;
        EXPECT_EQ(read.file.messages[0].signalList[0].problem, c.problem);
        EXPECT_EQ(read.file.messages[0].signalList[1].problem, "");
        EXPECT_EQ(CheckSignalFile(dir.path()).texts.at(0),
                  std::string("Status & <Mode>.DCLink has no physical value: ") + c.problem);
    }
}

// The check's three warnings on a project with an imported message: a
// mapping edited since, a register no row maps, a database that changed.
TEST(SignalFileCheck, WarnsWhereMappingOrDatabaseLeftTheImport) {
    TempDir dir;
    const fs::path project = dir / "P";
    fs::create_directory(project);
    WriteFile(project / "RCobDef.xml", "<COBID><row CobID=\"0x181\" Dimensin=\"8\" Mnemonic=\"\"/></COBID>");
    WriteFile(dir / "drive.dbc", "BO_ 385 M: 8 A\n");
    SignalFile file = Sample();
    ImportedMessage& m = file.messages[0];
    m.direction = FrameDirection::Receive;
    m.id = 0x181;
    m.extended = false;
    m.name = "M";
    m.databaseId.reset();
    m.database = "../drive.dbc";
    m.sha256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";  // of no bytes
    WriteFile(project / "signals.xml", SignalFileText(file));
    WriteFile(project / "RInfoCob.xml",
              "<RInfoCob><row Index=\"7\" NrPdo=\"1\" PosComp=\"33\"/><row Index=\"8\" NrPdo=\"1\" PosComp=\"18\"/></RInfoCob>");
    const std::vector<std::string> expected = {
        "warning: signals.xml: register 8 (receive) no longer maps what it was imported for (M.Hours): it maps "
        "PosComp 18 (high B1, low B2) of frame 0x181, imported as PosComp 135 (high B8, low B7) of frame 0x181",
        "warning: signals.xml: register 9 (receive) has no mapping; it was imported for M.Hours",
        "warning: signals.xml: ../drive.dbc changed since M was imported from it: import again to take what changed",
    };
    std::vector<std::string> warnings;
    for (const Problem& p : CheckProject(project))
        if (p.file == "signals.xml") warnings.push_back(FormatProblem(p));
    EXPECT_EQ(warnings, expected);

    // Unchanged where it was found, or not found at all: nothing to say about the database.
    WriteFile(dir / "drive.dbc", "");
    EXPECT_EQ(CheckSignalFile(project).texts.size(), 2u);
    fs::remove(dir / "drive.dbc");
    EXPECT_EQ(CheckSignalFile(project).texts.size(), 2u);
    WriteFile(project / "signals.xml", "<Signals><Message/></Signals>");
    const SignalFileWarnings broken = CheckSignalFile(project);
    ASSERT_EQ(broken.texts.size(), 1u);
    EXPECT_EQ(broken.texts[0], "the file cannot be read, so its signals are not known: message 1: no attribute \"Name\"");
    fs::remove(project / "signals.xml");
    EXPECT_TRUE(CheckSignalFile(project).texts.empty());
}

}  // namespace
}  // namespace vestrel::signaldb
