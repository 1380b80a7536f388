#include "compiler/bank_builder.h"

#include "compiler/project_builder.h"
#include "project/project_xml.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vestrel {
namespace {

using namespace test;
using Bytes8 = std::vector<std::uint8_t>;

std::string CompileError(BankCompiler& compiler, const std::filesystem::path& dir) {
    try {
        compiler.BuildBankImages(dir, kStamp);
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(BankBuilder, ProjectWithoutFilesWritesOnlyTheInitialRegionsAndTheStamps) {
    TempDir dir;
    BankCompiler compiler;
    compiler.BuildBankImages(dir.path(), kStamp);

    Bytes8 expected(kBankSize * kBankCount, 0);
    std::fill_n(expected.begin(), 4096, 0xFF);
    expected[16020] = 0x18;
    expected[16021] = 0x46;
    expected[16022] = 0xAD;
    expected[16023] = 0x7D;
    EXPECT_EQ(Copy(compiler.Banks().Area()), expected);
}

TEST(BankBuilder, Can20AFillsLookupTableBitmapAndThreeByteReceiveRecords) {
    TempDir dir;
    WritePargen(dir.path(), DefaultSettings());
    WriteRows(dir / "RCobDef.xml", "COBID", {R"(CobID="0x181" Dimensin="8" Mnemonic="a")", R"(CobID="$7ff" Dimensin="3")"});
    BankCompiler compiler;
    compiler.BuildBankImages(dir.path(), kStamp);
    auto bank1 = compiler.Banks().Bank(1);
    auto bank2 = compiler.Banks().Bank(2);

    for (unsigned k = 0; k < 2048; ++k) {
        unsigned expected = k == 0x181 ? 0 : k == 0x7FF ? 1 : 0xFFFF;
        ASSERT_EQ(U16(bank1, 2 * k), expected) << "lookup entry " << k;
    }
    EXPECT_EQ(Bytes(bank1, 0x302, 2), (Bytes8{0x00, 0x00}));
    EXPECT_EQ(Bytes(bank1, 0xFFE, 2), (Bytes8{0x01, 0x00}));
    for (std::size_t byte = 0; byte < 256; ++byte) {
        unsigned expected = byte == 48 ? 0x02 : byte == 255 ? 0x80 : 0;
        ASSERT_EQ(U8(bank1, 4096 + byte), expected) << "bitmap byte " << byte;
    }
    EXPECT_EQ(Bytes(bank2, 0, 7), (Bytes8{0x81, 0x01, 0x08, 0xFF, 0x07, 0x03, 0x00}));
    EXPECT_EQ(U16(bank1, 16012), 2u);
}

TEST(BankBuilder, Can20ADuplicateCobIdKeepsTheLaterPositionAndBothRecords) {
    TempDir dir;
    WriteRows(dir / "RCobDef.xml", "COBID",
              {R"(CobID="256" Dimensin="1")", R"(CobID="257" Dimensin="2")", R"(CobID="0x100" Dimensin="4")"});
    BankCompiler compiler;
    compiler.BuildBankImages(dir.path(), kStamp);
    auto bank1 = compiler.Banks().Bank(1);

    EXPECT_EQ(U16(bank1, 2 * 256), 2u);
    EXPECT_EQ(U16(bank1, 2 * 257), 1u);
    EXPECT_EQ(U8(bank1, 4096 + 32), 0x03u);
    EXPECT_EQ(Bytes(compiler.Banks().Bank(2), 0, 9), (Bytes8{0x00, 0x01, 0x01, 0x01, 0x01, 0x02, 0x00, 0x01, 0x04}));
}

TEST(BankBuilder, Can20BWritesSixByteReceiveRecordsInBank1AndNoBitmap) {
    TempDir dir;
    WritePargen(dir.path(), With(DefaultSettings(), "CANType", "2"));
    WriteRows(dir / "RCobDef.xml", "COBID", {R"(CobID="0x12345" Dimensin="8")", R"(CobID="0x1FFFFFFF" Dimensin="17")"});
    WriteRows(dir / "TCobDef.xml", "COBID", {R"(CobID="0x2000" Dimensin="2" RTR="N")"});
    BankCompiler compiler;
    compiler.BuildBankImages(dir.path(), kStamp);
    auto bank1 = compiler.Banks().Bank(1);
    auto bank2 = compiler.Banks().Bank(2);

    // The receive length is not masked; the position follows it.
    EXPECT_EQ(Bytes(bank1, 0, 12), (Bytes8{0x45, 0x23, 0x01, 0x00, 0x08, 0x00, 0xFF, 0xFF, 0xFF, 0x1F, 0x11, 0x01}));
    EXPECT_TRUE(std::all_of(bank1.begin() + 12, bank1.begin() + 4096, [](auto b) { return b == 0xFF; }));
    EXPECT_TRUE(std::all_of(bank1.begin() + 4096, bank1.begin() + 4352, [](auto b) { return b == 0; }));
    EXPECT_EQ(U8(bank1, 16001), 2u);
    // Bank 2 starts with the transmit records.
    EXPECT_EQ(Bytes(bank2, 0, 6), (Bytes8{0x00, 0x20, 0x00, 0x00, 0x02, 0x00}));
    EXPECT_TRUE(std::all_of(bank2.begin() + 5, bank2.begin() + 1500, [](auto b) { return b == 0; }));
}

TEST(BankBuilder, TransmitControlByteInBothLayouts) {
    const std::vector<std::pair<std::string, unsigned>> rows = {
        {R"(CobID="0x181" Dimensin="8" RTR="y")", 0x18},  {R"(CobID="0x182" Dimensin="8" RTR="N")", 0x08},
        {R"(CobID="0x183" Dimensin="8" RTR="YES")", 0x08}, {R"(CobID="0x184" Dimensin="8")", 0x08},
        {R"(CobID="0x185" Dimensin="8" RTR="")", 0x08},   {R"(CobID="0x186" Dimensin="17" RTR="Y")", 0x11},
        {R"(CobID="0x187" Dimensin="-1")", 0x0F},
    };
    std::vector<std::string> texts;
    for (const auto& r : rows) texts.push_back(r.first);

    for (const char* canType : {"0", "1"}) {
        SCOPED_TRACE(std::string("CANType ") + canType);
        TempDir dir;
        WritePargen(dir.path(), With(DefaultSettings(), "CANType", canType));
        WriteRows(dir / "TCobDef.xml", "COBID", texts);
        BankCompiler compiler;
        compiler.BuildBankImages(dir.path(), kStamp);
        auto bank2 = compiler.Banks().Bank(2);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (canType[0] == '0') {
                EXPECT_EQ(U16(bank2, 750 + 3 * i), 0x181 + i) << i;
                EXPECT_EQ(U8(bank2, 750 + 3 * i + 2), rows[i].second) << i;
            } else {
                EXPECT_EQ(U32(bank2, 5 * i), 0x181 + i) << i;
                EXPECT_EQ(U8(bank2, 5 * i + 4), rows[i].second) << i;
            }
        }
        EXPECT_EQ(U16(compiler.Banks().Bank(1), 16014), rows.size());
    }
}

TEST(BankBuilder, ReceiveLengthIsNotMaskedAndWideValuesKeepTheirLowBits) {
    TempDir dir;
    WriteRows(dir / "RCobDef.xml", "COBID", {R"(CobID="5" Dimensin="17")", R"(CobID="6" Dimensin="0x1FF")"});
    WriteRows(dir / "TCobDef.xml", "COBID", {R"(CobID="0x12345" Dimensin="1")"});
    BankCompiler compiler;
    compiler.BuildBankImages(dir.path(), kStamp);
    auto bank2 = compiler.Banks().Bank(2);
    EXPECT_EQ(Bytes(bank2, 0, 6), (Bytes8{0x05, 0x00, 0x11, 0x06, 0x00, 0xFF}));
    EXPECT_EQ(Bytes(bank2, 750, 3), (Bytes8{0x45, 0x23, 0x01}));
}

TEST(BankBuilder, MappingRecordsCopyIndexFrameAndBytePositions) {
    TempDir dir;
    WritePargen(dir.path(), DefaultSettings());
    WriteRows(dir / "RInfoCob.xml", "RInfoCob",
              {R"(Index="0x10" NrPdo="1" PosComp="18")", R"(Index="70000" NrPdo="257" PosComp="255")"});
    WriteRows(dir / "TInfoCob.xml", "TInfoCob", {R"(Index="$FFFF" NrPdo="2" PosComp="136")"});
    BankCompiler compiler;
    compiler.BuildBankImages(dir.path(), kStamp);
    auto bank1 = compiler.Banks().Bank(1);
    auto bank2 = compiler.Banks().Bank(2);

    EXPECT_EQ(Bytes(bank1, 4352, 9), (Bytes8{0x10, 0x00, 0x01, 0x12, 0x70, 0x11, 0x01, 0xFF, 0x00}));
    EXPECT_EQ(Bytes(bank2, 1500, 5), (Bytes8{0xFF, 0xFF, 0x02, 0x88, 0x00}));
    EXPECT_EQ(U16(bank1, 16016), 2u);
    EXPECT_EQ(U16(bank1, 16018), 1u);
}

TEST(BankBuilder, ParameterBlockFieldsAtTheirOffsets) {
    TempDir dir;
    Settings settings = {{"BaudRateCAN", "4"}, {"CANType", "0"},        {"Baud_Ser", "7"},
                         {"Par_Ser", "1"},     {"IDDev_Ser", "0x20"},    {"TimeOut_Ser", "1000"},
                         {"TimeOut_Data", "30"}, {"TO_ModReg", "300"},    {"Serial", "0"},
                         {"Cancel_Data", "1"}, {"Can_Data_Inp_Reg", "1"}};
    WritePargen(dir.path(), settings);
    WriteRows(dir / "RCobDef.xml", "COBID", ManyRows(3, R"(CobID="1" Dimensin="8")"));
    WriteRows(dir / "TCobDef.xml", "COBID", ManyRows(2, R"(CobID="2" Dimensin="8")"));
    WriteRows(dir / "RInfoCob.xml", "RInfoCob", MappingRows(4));
    WriteRows(dir / "TInfoCob.xml", "TInfoCob", MappingRows(1));
    BankCompiler compiler;
    compiler.BuildBankImages(dir.path(), kStamp);
    auto bank1 = compiler.Banks().Bank(1);

    EXPECT_EQ(Bytes(bank1, 16000, 26),
              (Bytes8{5, 0, 7, 3, 0x20, 0xE8, 0x03, 30, 44, 0,           // 16000-16009
                      0, 0,                                             // 16010-16011 not written
                      3, 0, 2, 0, 4, 0, 1, 0,                           // counts
                      0x18, 0x46, 0xAD, 0x7D,                           // stamps
                      1, 1}));
    EXPECT_TRUE(std::all_of(bank1.begin() + 16026, bank1.begin() + 16099, [](auto b) { return b == 0; }));
    EXPECT_EQ(U8(bank1, 16099), 0u);
    EXPECT_TRUE(std::all_of(bank1.begin() + 16100, bank1.end(), [](auto b) { return b == 0; }));

    // Parity: the file's none/odd/even 0/1/2 become 0/3/2; CAN bit rate counts from 1.
    for (auto [parity, stored] : std::vector<std::pair<std::string, unsigned>>{{"0", 0}, {"2", 2}, {"1", 3}}) {
        WritePargen(dir.path(), With(With(settings, "Par_Ser", parity), "BaudRateCAN", "0"));
        compiler.BuildBankImages(dir.path(), kStamp);
        EXPECT_EQ(U8(bank1, 16003), stored) << parity;
        EXPECT_EQ(U8(bank1, 16000), 1u);
    }
}

TEST(BankBuilder, OptionalSettingsFallBackWhenAbsentOrNotInteger) {
    for (const char* bad : {"(absent)", "abc", ""}) {
        SCOPED_TRACE(bad);
        TempDir dir;
        Settings settings = DefaultSettings();
        for (const char* name : {"TimeOut_Data", "TO_ModReg", "Serial", "Cancel_Data", "Can_Data_Inp_Reg"})
            settings = std::string(bad) == "(absent)" ? Without(settings, name) : With(settings, name, bad);
        settings = With(settings, "TimeOut_Ser", "70000");
        WritePargen(dir.path(), settings);
        BankCompiler compiler;
        compiler.BuildBankImages(dir.path(), kStamp);
        auto bank1 = compiler.Banks().Bank(1);
        EXPECT_EQ(Bytes(bank1, 16005, 5), (Bytes8{0x70, 0x11, 0, 1, 0}));
        EXPECT_EQ(Bytes(bank1, 16024, 2), (Bytes8{0, 0}));
        EXPECT_EQ(U8(bank1, 16099), 1u);
    }
    // Only the low byte of the time-out register survives.
    TempDir dir;
    WritePargen(dir.path(), With(DefaultSettings(), "TO_ModReg", "-1"));
    BankCompiler compiler;
    compiler.BuildBankImages(dir.path(), kStamp);
    EXPECT_EQ(Bytes(compiler.Banks().Bank(1), 16008, 2), (Bytes8{0xFF, 0x00}));
}

TEST(BankBuilder, WithoutPargenTheParameterBlockKeepsTheEarlierCompile) {
    TempDir first, second;
    Settings settings = {{"BaudRateCAN", "8"}, {"CANType", "1"},        {"Baud_Ser", "5"},
                         {"Par_Ser", "2"},     {"IDDev_Ser", "17"},     {"TimeOut_Ser", "500"},
                         {"TimeOut_Data", "9"}, {"TO_ModReg", "7"},     {"Serial", "0"},
                         {"Cancel_Data", "1"}, {"Can_Data_Inp_Reg", "1"}};
    WritePargen(first.path(), settings);
    WriteRows(first / "RCobDef.xml", "COBID", ManyRows(4, R"(CobID="0x12345" Dimensin="8")"));
    BankCompiler compiler;
    compiler.BuildBankImages(first.path(), kStamp);
    const Bytes8 kept = Bytes(compiler.Banks().Bank(1), 16000, 20);
    EXPECT_EQ(kept[12], 4u);

    // No pargen.xml: CAN 2.0A, the flags cleared, the rest left alone.
    WriteRows(second / "RCobDef.xml", "COBID", {R"(CobID="0x181" Dimensin="8")"});
    compiler.BuildBankImages(second.path(), LocalDateTime{1999, 12, 31, 23, 59, 59});
    auto bank1 = compiler.Banks().Bank(1);
    EXPECT_EQ(Bytes(bank1, 16000, 20), kept);
    EXPECT_EQ(U8(bank1, 16099), 0u);
    EXPECT_EQ(Bytes(bank1, 16020, 6), (Bytes8{0x63, 0xFE, 0x77, 0xEF, 0, 0}));
    EXPECT_EQ(U16(bank1, 2 * 0x181), 0u);
    EXPECT_EQ(U8(bank1, 4096 + 48), 0x02u);
    EXPECT_EQ(Bytes(compiler.Banks().Bank(2), 0, 3), (Bytes8{0x81, 0x01, 0x08}));
}

TEST(BankBuilder, ASecondCompileKeepsWhatItDoesNotOverwrite) {
    TempDir first, second;
    WritePargen(first.path(), DefaultSettings());
    WriteRows(first / "RCobDef.xml", "COBID", {R"(CobID="0x181" Dimensin="8")", R"(CobID="0x182" Dimensin="8")"});
    WriteRows(first / "RInfoCob.xml", "RInfoCob", MappingRows(10));
    BankCompiler compiler;
    compiler.BuildBankImages(first.path(), kStamp);
    const Bytes8 tenRecords = Bytes(compiler.Banks().Bank(1), 4352, 40);

    WritePargen(second.path(), DefaultSettings());
    WriteRows(second / "RCobDef.xml", "COBID", {R"(CobID="0x185" Dimensin="2")"});
    WriteRows(second / "RInfoCob.xml", "RInfoCob", MappingRows(5, 100));
    compiler.BuildBankImages(second.path(), kStamp);
    auto bank1 = compiler.Banks().Bank(1);

    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(U16(bank1, 4352 + 4 * i), 100 + i);
    EXPECT_EQ(Bytes(bank1, 4372, 20), Bytes(tenRecords, 20, 20));  // records 5-9 of the first project
    EXPECT_EQ(U16(bank1, 16016), 5u);
    // The lookup table and bitmap start afresh; the old second record stays in bank 2.
    EXPECT_EQ(U16(bank1, 2 * 0x181), 0xFFFFu);
    EXPECT_EQ(U16(bank1, 2 * 0x182), 0xFFFFu);
    EXPECT_EQ(U16(bank1, 2 * 0x185), 0u);
    EXPECT_EQ(U8(bank1, 4096 + 48), 0x20u);
    EXPECT_EQ(Bytes(compiler.Banks().Bank(2), 0, 6), (Bytes8{0x85, 0x01, 0x02, 0x82, 0x01, 0x08}));
}

TEST(BankBuilder, FilesAreFoundInAnyLetterCaseWhateverTheirDocumentElement) {
    TempDir dir;
    WritePargen(dir.path(), With(DefaultSettings(), "IDDev_Ser", "42"), "PARGEN.XML");
    WriteFile(dir / "rcobdef.XML", R"(<?xml version="1.0"?>
<Frames>
  <!-- a comment is not a row -->
  <frame CobID="0x10" Dimensin="1"/>
  <other CobID="0x11" Dimensin="2"/>
</Frames>)");
    BankCompiler compiler;
    compiler.BuildBankImages(dir.path(), kStamp);
    auto bank1 = compiler.Banks().Bank(1);
    EXPECT_EQ(U8(bank1, 16004), 42u);
    EXPECT_EQ(U16(bank1, 16012), 2u);
    EXPECT_EQ(U16(bank1, 2 * 0x11), 1u);
}

TEST(BankBuilder, BanksThreeToFiveStayZero) {
    TempDir dir;
    WritePargen(dir.path(), With(DefaultSettings(), "CANType", "1"));
    WriteRows(dir / "RCobDef.xml", "COBID", ManyRows(250, R"(CobID="0x1FFFFFFF" Dimensin="8")"));
    WriteRows(dir / "TCobDef.xml", "COBID", ManyRows(250, R"(CobID="-1" Dimensin="8" RTR="Y")"));
    WriteRows(dir / "RInfoCob.xml", "RInfoCob", ManyRows(kMaxReceiveMappings, R"(Index="-1" NrPdo="-1" PosComp="-1")"));
    WriteRows(dir / "TInfoCob.xml", "TInfoCob", ManyRows(kMaxTransmitMappings, R"(Index="-1" NrPdo="-1" PosComp="-1")"));
    BankCompiler compiler;
    compiler.BuildBankImages(dir.path(), kStamp);
    for (int n = 3; n <= 5; ++n) {
        auto bank = compiler.Banks().Bank(n);
        EXPECT_TRUE(std::all_of(bank.begin(), bank.end(), [](auto b) { return b == 0; })) << "bank " << n;
    }
    // The full transmit mapping region reaches the last byte of bank 2.
    EXPECT_EQ(U16(compiler.Banks().Bank(2), kBankSize - 2), 0xFFFFu);
}

TEST(BankBuilder, FailureMessages) {
    const std::string missingAttribute = "Could not convert variant of type (Null) into type (Integer)";
    const Settings settings = DefaultSettings();
    struct Case {
        const char* file;
        std::string content;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"pargen.xml", PargenXml(Without(settings, "CANType")), "pargen.xml: The element \"CANType\" is missing"},
        {"pargen.xml", PargenXml(Without(settings, "IDDev_Ser")), "pargen.xml: The element \"IDDev_Ser\" is missing"},
        {"Pargen.XML", PargenXml(Without(settings, "TimeOut_Ser")), "Pargen.XML: The element \"TimeOut_Ser\" is missing"},
        {"pargen.xml", PargenXml(With(settings, "BaudRateCAN", "abc")), "pargen.xml: BaudRateCAN: 'abc' is not a valid integer value"},
        {"pargen.xml", PargenXml(With(settings, "CANType", " 0 ")), "pargen.xml: CANType: ' 0 ' is not a valid integer value"},
        {"pargen.xml", PargenXml(With(settings, "Par_Ser", "")), "pargen.xml: Par_Ser: '' is not a valid integer value"},
        {"RCobDef.xml", R"(<COBID><row CobID="1"/></COBID>)", "RCobDef.xml: row 1: Dimensin: " + missingAttribute},
        {"TCobDef.xml", R"(<COBID><row Dimensin="1" RTR="Y"/></COBID>)", "TCobDef.xml: row 1: CobID: " + missingAttribute},
        {"RInfoCob.xml", R"(<RInfoCob><row Index="1" NrPdo="1"/></RInfoCob>)", "RInfoCob.xml: row 1: PosComp: " + missingAttribute},
        {"TInfoCob.xml", R"(<TInfoCob><row NrPdo="1" PosComp="1"/></TInfoCob>)", "TInfoCob.xml: row 1: Index: " + missingAttribute},
        {"RCobDef.xml", R"(<COBID><row CobID="0x" Dimensin="1"/></COBID>)", "RCobDef.xml: row 1: CobID: '0x' is not a valid integer value"},
        {"TCobDef.xml", R"(<COBID><row CobID="1" Dimensin=""/></COBID>)", "TCobDef.xml: row 1: Dimensin: '' is not a valid integer value"},
        {"RInfoCob.xml", R"(<RInfoCob><row Index="1" NrPdo="1.0" PosComp="1"/></RInfoCob>)",
         "RInfoCob.xml: row 1: NrPdo: '1.0' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        TempDir dir;
        WriteFile(dir / c.file, c.content);
        BankCompiler compiler;
        EXPECT_EQ(CompileError(compiler, dir.path()), c.message);
    }
}

TEST(BankBuilder, MalformedFileStopsWithTheParseError) {
    for (const char* file : {"pargen.xml", "RCobDef.xml", "TInfoCob.xml"}) {
        for (const std::string& content : std::vector<std::string>{R"(<COBID><row CobID="1" Dimensin="8"></COBID>)", ""}) {
            SCOPED_TRACE(std::string(file) + ": " + content);
            TempDir dir;
            WriteFile(dir / file, content);
            std::string parseError;
            try {
                ProjectXml xml;
                xml.LoadFromFile(dir / file);
            } catch (const XmlParseError& e) {
                parseError = e.what();
            }
            ASSERT_FALSE(parseError.empty());
            BankCompiler compiler;
            EXPECT_EQ(CompileError(compiler, dir.path()), std::string(file) + ": " + parseError);
        }
    }
}

TEST(BankBuilder, FailureKeepsTheRecordsWrittenBeforeIt) {
    TempDir dir;
    WriteRows(dir / "RCobDef.xml", "COBID",
              {R"(CobID="0x181" Dimensin="8")", R"(CobID="0x182" Dimensin="8x")", R"(CobID="0x183" Dimensin="8")"});
    BankCompiler compiler;
    EXPECT_EQ(CompileError(compiler, dir.path()), "RCobDef.xml: row 2: Dimensin: '8x' is not a valid integer value");
    auto bank1 = compiler.Banks().Bank(1);
    EXPECT_EQ(U16(bank1, 2 * 0x181), 0u);
    EXPECT_EQ(U16(bank1, 2 * 0x183), 0xFFFFu);
    EXPECT_EQ(Bytes(compiler.Banks().Bank(2), 0, 6), (Bytes8{0x81, 0x01, 0x08, 0, 0, 0}));
    EXPECT_EQ(U16(bank1, 16020), 0u);  // stopped before the stamps
}

// A project that exceeds the layout is refused before its file's records are
// written: compared with a compile of the same project without that file,
// only the regions a compile always resets may differ.
class Capacity : public ::testing::Test {
protected:
    void SetUp() override {
        // Something in every table, so that a stray write would show.
        WritePargen(base_.path(), DefaultSettings());
        WriteRows(base_ / "RCobDef.xml", "COBID", ManyRows(250, R"(CobID="0x7FF" Dimensin="8")"));
        WriteRows(base_ / "TCobDef.xml", "COBID", ManyRows(250, R"(CobID="0x7FF" Dimensin="8")"));
        WriteRows(base_ / "RInfoCob.xml", "RInfoCob", ManyRows(kMaxReceiveMappings, R"(Index="-1" NrPdo="7" PosComp="7")"));
        WriteRows(base_ / "TInfoCob.xml", "TInfoCob", ManyRows(kMaxTransmitMappings, R"(Index="-1" NrPdo="7" PosComp="7")"));
        compiler_.BuildBankImages(base_.path(), kStamp);
        before_ = Copy(compiler_.Banks().Area());
    }

    // Compiles dir, expects `message`, and checks that only bank 1's first
    // 4352 bytes changed.
    void ExpectRefused(const std::string& message) {
        EXPECT_EQ(CompileError(compiler_, dir_.path()), message);
        Bytes8 after = Copy(compiler_.Banks().Area());
        for (std::size_t i = 4352; i < after.size(); ++i) ASSERT_EQ(after[i], before_[i]) << "offset " << i;
    }

    TempDir base_, dir_;
    BankCompiler compiler_;
    Bytes8 before_;
};

TEST_F(Capacity, MoreThan250FramesAreRefused) {
    WriteRows(dir_ / "RCobDef.xml", "COBID", ManyRows(251, R"(CobID="1" Dimensin="1")"));
    ExpectRefused("RCobDef.xml: Too many frames: 251 rows, the limit is 250");

    std::filesystem::remove(dir_ / "RCobDef.xml");
    WritePargen(dir_.path(), With(DefaultSettings(), "CANType", "1"));
    WriteRows(dir_ / "TCobDef.xml", "COBID", ManyRows(251, R"(CobID="1" Dimensin="1")"));
    ExpectRefused("TCobDef.xml: Too many frames: 251 rows, the limit is 250");
}

TEST_F(Capacity, Can20AReceiveCobIdOutsideTheLookupTableIsRefused) {
    for (const char* cobId : {"2048", "-1", "0x1FFFFFFF"}) {
        WriteRows(dir_ / "RCobDef.xml", "COBID",
                  {R"(CobID="1" Dimensin="1")", R"(CobID="2047" Dimensin="1")",
                   std::string("CobID=\"") + cobId + "\" Dimensin=\"1\""});
        ExpectRefused(std::string("RCobDef.xml: row 3: The CobID ") + cobId +
                      " is outside 0 to 2047, the range of CAN 2.0A");
    }
    // CAN 2.0B takes it.
    WritePargen(dir_.path(), With(DefaultSettings(), "CANType", "1"));
    EXPECT_EQ(CompileError(compiler_, dir_.path()), "(no error)");
    EXPECT_EQ(U32(compiler_.Banks().Bank(1), 12), 0x1FFFFFFFu);
}

TEST_F(Capacity, TooManyMappingRecordsAreRefused) {
    WritePargen(dir_.path(), DefaultSettings());
    WriteRows(dir_ / "RInfoCob.xml", "RInfoCob", MappingRows(kMaxReceiveMappings + 1));
    ExpectRefused("RInfoCob.xml: Too many mapping records: 2913 rows, the limit is 2912");

    std::filesystem::remove(dir_ / "RInfoCob.xml");
    WriteRows(dir_ / "TInfoCob.xml", "TInfoCob", MappingRows(kMaxTransmitMappings + 1));
    ExpectRefused("TInfoCob.xml: Too many mapping records: 3722 rows, the limit is 3721");
}

TEST_F(Capacity, TablesAtTheirLimitEndAtTheNextRegion) {
    WritePargen(dir_.path(), With(DefaultSettings(), "BaudRateCAN", "5"));
    WriteRows(dir_ / "RInfoCob.xml", "RInfoCob", MappingRows(kMaxReceiveMappings));
    WriteRows(dir_ / "TInfoCob.xml", "TInfoCob", MappingRows(kMaxTransmitMappings));
    ASSERT_EQ(CompileError(compiler_, dir_.path()), "(no error)");
    auto bank1 = compiler_.Banks().Bank(1);
    auto bank2 = compiler_.Banks().Bank(2);
    EXPECT_EQ(Bytes(bank1, 15996, 5), (Bytes8{0x5F, 0x0B, 1 + 2911 % 7, 2911 % 256, 6}));
    EXPECT_EQ(Bytes(bank2, 16380, 4), (Bytes8{0x88, 0x0E, 1 + 3720 % 7, 3720 % 256}));
    EXPECT_EQ(U16(bank1, 16016), 2912u);
    EXPECT_EQ(U16(bank1, 16018), 3721u);
}

}  // namespace
}  // namespace vestrel
