#include "inspect/bank_decoder.h"

#include "compiler/bank_builder.h"
#include "compiler/project_builder.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace vestrel {
namespace {

using namespace test;
using Bytes8 = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

std::unique_ptr<BankCompiler> Compiled(const fs::path& dir, const LocalDateTime& stamp = kStamp) {
    auto compiler = std::make_unique<BankCompiler>();
    compiler->BuildBankImages(dir, stamp);
    return compiler;
}

// Banks 1 and 2 with the stamp words zeroed.
Bytes8 WithoutStamp(const BankImages& banks) {
    Bytes8 bytes(banks.Area().begin(), banks.Area().begin() + 2 * kBankSize);
    std::fill_n(bytes.begin() + 16020, 4, 0);
    return bytes;
}

std::string DecodeError(const BankImages& banks) {
    try {
        DecodeBanks(banks);
    } catch (const Error& e) {
        return e.what();
    }
    return "(decoded)";
}

// Projects that exercise every field: each is compiled, decoded, written
// out, compiled again on a fresh compiler and compared byte for byte.
const std::vector<std::function<void(const TempDir&)>>& Projects() {
    static const std::vector<std::function<void(const TempDir&)>> projects = {
        // CAN 2.0A: shared COB-IDs, unmasked receive lengths, masked transmit
        // lengths, remote frames, wide values, equal registers.
        [](const TempDir& d) {
            WritePargen(d.path(), {{"BaudRateCAN", "4"}, {"CANType", "0"}, {"Baud_Ser", "7"}, {"Par_Ser", "1"},
                                   {"IDDev_Ser", "0x20"}, {"TimeOut_Ser", "1000"}, {"TimeOut_Data", "30"},
                                   {"TO_ModReg", "300"}, {"Serial", "0"}, {"Cancel_Data", "1"}, {"Can_Data_Inp_Reg", "1"}});
            WriteRows(d / "RCobDef.xml", "COBID", {R"(CobID="0x181" Dimensin="8" Mnemonic="Speed")", R"(CobID="$7ff" Dimensin="17")",
                                                   R"(CobID="385" Dimensin="2")", R"(CobID="0" Dimensin="1")"});
            WriteRows(d / "TCobDef.xml", "COBID", {R"(CobID="0x201" Dimensin="8" RTR="y")", R"(CobID="0x12345" Dimensin="17" RTR="N")",
                                                   R"(CobID="0x7FF" Dimensin="3")"});
            WriteRows(d / "RInfoCob.xml", "RInfoCob", {R"(Index="0x10" NrPdo="1" PosComp="18")", R"(Index="70000" NrPdo="257" PosComp="300")",
                                                       R"(Index="3" NrPdo="0" PosComp="0")"});
            WriteRows(d / "TInfoCob.xml", "TInfoCob", {R"(Index="5" NrPdo="2" PosComp="136")", R"(Index="5" NrPdo="1" PosComp="1")",
                                                       R"(Index="6" NrPdo="3" PosComp="18")"});
        },
        // CAN 2.0B: 29-bit and out-of-range COB-IDs, registers out of order.
        [](const TempDir& d) {
            WritePargen(d.path(), With(With(DefaultSettings(), "CANType", "1"), "Par_Ser", "2"));
            WriteRows(d / "RCobDef.xml", "COBID", {R"(CobID="0x12345" Dimensin="8")", R"(CobID="0x1FFFFFFF" Dimensin="4")",
                                                   R"(CobID="$FFFFFFFF" Dimensin="8")", R"(CobID="0x12345" Dimensin="1")"});
            WriteRows(d / "TCobDef.xml", "COBID", {R"(CobID="0x1ABCDEF" Dimensin="8" RTR="Y")", R"(CobID="5" Dimensin="1" RTR="")"});
            WriteRows(d / "RInfoCob.xml", "RInfoCob", {R"(Index="9" NrPdo="1" PosComp="1")", R"(Index="3" NrPdo="2" PosComp="2")",
                                                       R"(Index="-1" NrPdo="1" PosComp="3")"});
            WriteRows(d / "TInfoCob.xml", "TInfoCob", {R"(Index="-1" NrPdo="1" PosComp="1")", R"(Index="0" NrPdo="2" PosComp="2")"});
        },
        // CANType 2, no rate chosen in the dialog, optional settings absent.
        [](const TempDir& d) {
            Settings s = With(With(With(DefaultSettings(), "CANType", "2"), "BaudRateCAN", "-1"), "TimeOut_Ser", "70000");
            for (const char* name : {"TimeOut_Data", "TO_ModReg", "Serial", "Cancel_Data", "Can_Data_Inp_Reg"}) s = Without(s, name);
            WritePargen(d.path(), s);
            WriteRows(d / "TCobDef.xml", "COBID", {R"(CobID="1" Dimensin="2" RTR="Y")"});
        },
        // Settings alone.
        [](const TempDir& d) { WritePargen(d.path(), DefaultSettings()); },
        // Every table at its limit, in both layouts.
        [](const TempDir& d) {
            std::vector<std::string> rows;
            for (int i = 0; i < 250; ++i) rows.push_back("CobID=\"" + std::to_string(2047 - 3 * i) + "\" Dimensin=\"8\"");
            WritePargen(d.path(), DefaultSettings());
            WriteRows(d / "RCobDef.xml", "COBID", rows);
            WriteRows(d / "TCobDef.xml", "COBID", ManyRows(250, R"(CobID="0x7FF" Dimensin="8" RTR="Y")"));
            WriteRows(d / "RInfoCob.xml", "RInfoCob", MappingRows(kMaxReceiveMappings));
            WriteRows(d / "TInfoCob.xml", "TInfoCob", MappingRows(kMaxTransmitMappings));
        },
        [](const TempDir& d) {
            WritePargen(d.path(), With(DefaultSettings(), "CANType", "1"));
            WriteRows(d / "RCobDef.xml", "COBID", ManyRows(250, R"(CobID="0x1FFFFFFF" Dimensin="8")"));
            WriteRows(d / "TCobDef.xml", "COBID", ManyRows(250, R"(CobID="0x1FFFFFFF" Dimensin="8" RTR="N")"));
        },
    };
    return projects;
}

TEST(BankDecoder, DecodedProjectsCompileBackToTheSameBanks) {
    for (std::size_t p = 0; p < Projects().size(); ++p) {
        SCOPED_TRACE("project " + std::to_string(p));
        TempDir original, decoded;
        Projects()[p](original);
        auto first = Compiled(original.path());
        const DecodedBanks d = DecodeBanks(first->Banks());
        EXPECT_NO_THROW(VerifyDecodedProject(d, first->Banks()));
        WriteDecodedProject(decoded / "out", d);
        auto second = Compiled(decoded / "out", LocalDateTime{1999, 12, 31, 23, 59, 59});
        EXPECT_EQ(WithoutStamp(second->Banks()), WithoutStamp(first->Banks()));
    }
}

TEST(BankDecoder, FieldsComeBackAsTheFilesHoldThem) {
    TempDir dir;
    Projects()[0](dir);
    const DecodedBanks d = DecodeBanks(Compiled(dir.path())->Banks());
    const CommParameters p = DecodedCommParameters(d);
    EXPECT_EQ(p, (CommParameters{"4", "0", "7", "1", "32", "1000", "30", "44", "0", "1", "1"}));
    const FrameTable receive = DecodedFrameTable(d, FrameDirection::Receive);
    ASSERT_EQ(receive.rows.size(), 4u);
    EXPECT_EQ(receive.rows[1], (FrameRow{"0x7FF", "17", "", ""}));
    const FrameTable transmit = DecodedFrameTable(d, FrameDirection::Transmit);
    ASSERT_EQ(transmit.rows.size(), 3u);
    EXPECT_EQ(transmit.rows[0], (FrameRow{"0x201", "8", "Y", ""}));
    EXPECT_EQ(transmit.rows[1], (FrameRow{"0x2345", "1", "N", ""}));
    EXPECT_EQ(transmit.rows[2], (FrameRow{"0x7FF", "3", "N", ""}));
    EXPECT_EQ(d.receiveMappings[1], (DecodedMapping{4464, 1, 44}));
    EXPECT_EQ(d.transmitMappings[1], (DecodedMapping{5, 1, 1}));

    const std::string text = DescribeDecodedBanks(d);
    for (const char* line : {"CAN bit rate: 125 kbit/s (BaudRateCAN 4)\n", "CAN mode: CAN 2.0A, 11-bit COB-IDs (CANType 0)\n",
                             "Serial bit rate: 115200 bit/s (Baud_Ser 7)\n", "Parity: odd (Par_Ser 1)\n",
                             "Serial interface: RS232 (Serial 0)\n", "Modbus device address: 32\n",
                             "Serial time-out: 1000 ms\n", "Data time-out: 30 s\n",
                             "Time-out Modbus register: 44 (TO_ModReg, low byte)\n",
                             "Cancel data after read: yes (Cancel_Data 1)\n",
                             "No cancel if read Input Reg.: yes (Can_Data_Inp_Reg 1)\n",
                             "Compile stamp: 08.12.24 13:45:30 (DD.MM.YY, seconds rounded down to even)\n",
                             "Receive frames: 4\n  row 1: CobID 0x181, Dimensin 8\n",
                             "Transmit frames: 3\n  row 1: CobID 0x201, Dimensin 8, RTR Y\n",
                             "Receive mappings: 3\n  row 1: Index 16, NrPdo 1, PosComp 18 (high byte B1, low byte B2)\n",
                             "  row 3: Index 3, NrPdo 0, PosComp 0 (high byte none, low byte none)\n",
                             "Transmit mappings: 3\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;

    const auto notes = DecodeNotes(d);
    EXPECT_EQ(notes.size(), 5u) << ::testing::PrintToString(notes);
    EXPECT_EQ(notes[1], "the banks keep only the low byte of TO_ModReg: it comes back as 44, and the register may have "
                        "been that plus any multiple of 256");
    EXPECT_EQ(notes[4], "the receive mapping records are not in ascending register order (row 3 has register 3 after "
                        "4464): RInfoCob.xml keeps the banks' order, which the mapping editor changes when it saves");
}

TEST(BankDecoder, OnlyWhatTheCountsCoverIsDecoded) {
    TempDir big, small, out;
    WritePargen(big.path(), DefaultSettings());
    WriteRows(big / "RCobDef.xml", "COBID", ManyRows(5, R"(CobID="0x181" Dimensin="8")"));
    WriteRows(big / "RInfoCob.xml", "RInfoCob", MappingRows(10));
    WritePargen(small.path(), DefaultSettings());
    WriteRows(small / "RCobDef.xml", "COBID", {R"(CobID="0x182" Dimensin="2")"});
    WriteRows(small / "RInfoCob.xml", "RInfoCob", MappingRows(4, 100));
    auto compiler = Compiled(big.path());
    compiler->BuildBankImages(small.path(), kStamp);

    const DecodedBanks d = DecodeBanks(compiler->Banks());
    EXPECT_EQ(d.receiveFrames.size(), 1u);
    EXPECT_EQ(d.receiveMappings.size(), 4u);
    EXPECT_NO_THROW(VerifyDecodedProject(d, compiler->Banks()));
    WriteDecodedProject(out.path(), d);
    auto fresh = Compiled(out.path());
    EXPECT_NE(WithoutStamp(fresh->Banks()), WithoutStamp(compiler->Banks())) << "the leftovers are really there";
    EXPECT_EQ(FirstDifference(d, compiler->Banks(), fresh->Banks()), std::nullopt);

    // A byte the counts cover that does not match is found.
    auto tampered = std::make_unique<BankImages>(compiler->Banks());
    tampered->Bank(1)[4352 + 4 * 3] ^= 1;
    try {
        VerifyDecodedProject(d, *tampered);
        ADD_FAILURE() << "a difference went unnoticed";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "The decoded project does not compile back to the same banks: bank 1 offset 4364: 0x66 here, 0x67 "
                  "after a compile");
    }
}

TEST(BankDecoder, BanksNoCompileCouldHaveMadeAreRefused) {
    TempDir a, b, none;
    WritePargen(a.path(), DefaultSettings());
    WriteRows(a / "RCobDef.xml", "COBID", {R"(CobID="0x181" Dimensin="8")", R"(CobID="0x182" Dimensin="8")"});
    WriteRows(a / "TCobDef.xml", "COBID", {R"(CobID="0x201" Dimensin="8")"});
    WritePargen(b.path(), With(DefaultSettings(), "CANType", "1"));
    WriteRows(b / "RCobDef.xml", "COBID", {R"(CobID="0x12345" Dimensin="8")"});
    WriteRows(none / "RCobDef.xml", "COBID", {R"(CobID="0x181" Dimensin="8")"});
    auto can20A = Compiled(a.path());
    auto can20B = Compiled(b.path());

    struct Case {
        const BankCompiler* base;
        std::function<void(BankImages&)> poke;
        std::string message;
    };
    const std::vector<Case> cases = {
        {can20A.get(), [](BankImages& x) { x.Bank(1)[16012] = 251; },
         "Bank 1 offset 16012 counts 251 receive frames, more than the 250 the layout holds"},
        {can20A.get(), [](BankImages& x) { x.Bank(1)[16019] = 0x10; },
         "Bank 1 offset 16018 counts 4096 transmit mapping records, more than the 3721 the layout holds"},
        {can20A.get(), [](BankImages& x) { x.Bank(1)[2 * 0x181] = 1; },
         "The receive lookup table disagrees with the receive frame records: entry 0x181 (bank 1 offset 770) holds "
         "0x0001, but the records call for 0x0000 (row 1, the last with that CobID)"},
        {can20A.get(), [](BankImages& x) { x.Bank(1)[10] = x.Bank(1)[11] = 0; },
         "The receive lookup table disagrees with the receive frame records: entry 0x5 (bank 1 offset 10) holds "
         "0x0000, but no receive frame record has CobID 0x5"},
        {can20A.get(), [](BankImages& x) { x.Bank(1)[4096 + 48] = 0x02; },
         "The ReceiveIdBitmap disagrees with the receive frame records: byte 48 (bank 1 offset 4144) holds 0x02, but "
         "the records call for 0x06"},
        {can20A.get(), [](BankImages& x) { x.Bank(2)[1] = 0x09; },
         "Receive frame record 1 (bank 2 offset 0) has CobID 0x981, outside 0 to 2047, but CANType 0 means CAN 2.0A"},
        {can20A.get(), [](BankImages& x) { x.Bank(2)[752] = 0x28; },
         "Transmit frame record 1 (bank 2 offset 752) has the control byte 0x28; a compile leaves bits 5-7 clear"},
        {can20A.get(), [](BankImages& x) { x.Bank(1)[16003] = 1; },
         "Bank 1 offset 16003 holds the parity code 1, which no compile writes (0 none, 3 odd, 2 even)"},
        {can20A.get(), [](BankImages& x) { x.Bank(1)[16009] = 1; },
         "Bank 1 offset 16009 holds 0x01, but a compile keeps only the low byte of TO_ModReg and writes 0 there"},
        // A CANType byte that does not fit the layout the banks hold.
        {can20A.get(), [](BankImages& x) { x.Bank(1)[16001] = 1; },
         "CANType 1 means CAN 2.0B, but receive frame record 1 (bank 1 offset 0) gives the position 255 instead of 0"},
        {can20B.get(), [](BankImages& x) { x.Bank(1)[16001] = 0; },
         "The receive lookup table disagrees with the receive frame records: entry 0x0 (bank 1 offset 0) holds 0x2345"},
        {can20B.get(), [](BankImages& x) { x.Bank(1)[4100] = 1; },
         "CANType 1 means CAN 2.0B, but bank 1 offset 4100 holds 0x01 where that layout keeps the ReceiveIdBitmap "
         "region zero"},
        {can20B.get(), [](BankImages& x) { x.Bank(1)[6] = 0; },
         "CANType 1 means CAN 2.0B, but bank 1 offset 6, after the 1 receive frame records, holds 0x00 where that "
         "layout leaves 0xFF"},
    };
    for (const Case& c : cases) {
        auto banks = std::make_unique<BankImages>(c.base->Banks());
        c.poke(*banks);
        EXPECT_EQ(DecodeError(*banks).substr(0, c.message.size()), c.message);
    }

    EXPECT_EQ(DecodeError(Compiled(none.path())->Banks()).substr(0, 100),
              std::string("The parameter block of bank 1 was never written (offsets 16000-16019 and 16099 are all "
                          "zero): the project that made these banks had no pargen.xml")
                  .substr(0, 100));
}

TEST(BankDecoder, WritesOnlyIntoAFolderWithoutProjectFiles) {
    TempDir src, out;
    Projects()[0](src);
    const DecodedBanks d = DecodeBanks(Compiled(src.path())->Banks());
    WriteFile(out / "TINFOCOB.XML", "<TInfoCob/>");
    try {
        WriteDecodedProject(out.path(), d);
        ADD_FAILURE() << "an existing project file would have been replaced";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "The folder \"" + out.path().string() +
                                             "\" already holds TINFOCOB.XML; a decoded project is written only into a "
                                             "folder without project files");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace vestrel
