#include "compare/configuration_diff.h"

#include "compare/update_changes.h"
#include "compiler/bank_files.h"
#include "inspect/bank_decoder.h"
#include "platform/error.h"
#include "support/srecord_text.h"
#include "support/temp_dir.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace vestrel::compare {
namespace {

using namespace test;
namespace fs = std::filesystem;

const fs::path kDemo = VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo";

fs::path DemoCopy(const TempDir& dir, const std::string& name) {
    fs::copy(kDemo, dir / name, fs::copy_options::recursive);
    return dir / name;
}

void Edit(const fs::path& file, const std::string& from, const std::string& to) {
    std::string text = ReadFile(file);
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from << " in " << file;
    WriteFile(file, text.replace(at, from.size(), to));
}

std::vector<std::string> Lines(const Comparison& c) {
    std::vector<std::string> lines;
    for (const Change& change : c.changes) lines.push_back(change.text);
    return lines;
}

Comparison CompareFolders(const fs::path& a, const fs::path& b, const DiffOptions& options = {}) {
    return CompareSides(LoadSide(a), LoadSide(b), options);
}

// Each field of the demo project changed alone gives its one line, in the
// tool's words; a change the banks cannot carry says so.
TEST(ConfigurationDiff, OneFieldChangedGivesItsOneLine) {
    const struct {
        const char* file;
        std::string from, to, line;
        bool reaches = true;
    } kCases[] = {
        {"pargen.xml", "<BaudRateCAN>5", "<BaudRateCAN>6", "CAN bit rate: 250 kbit/s (BaudRateCAN 5) -> 500 kbit/s (BaudRateCAN 6)"},
        {"pargen.xml", "<CANType>0", "<CANType>1",
         "CAN mode: CAN 2.0A, 11-bit COB-IDs (CANType 0) -> CAN 2.0B, 29-bit COB-IDs (CANType 1)"},
        {"pargen.xml", "<Baud_Ser>4", "<Baud_Ser>7", "Serial bit rate: 19200 bit/s (Baud_Ser 4) -> 115200 bit/s (Baud_Ser 7)"},
        {"pargen.xml", "<Par_Ser>2", "<Par_Ser>1", "Parity: even (Par_Ser 2) -> odd (Par_Ser 1)"},
        {"pargen.xml", "<IDDev_Ser>1", "<IDDev_Ser>17", "Modbus device address: 1 -> 17"},
        {"pargen.xml", "<TimeOut_Ser>1000", "<TimeOut_Ser>250", "Serial time-out: 1000 ms -> 250 ms"},
        {"pargen.xml", "<TimeOut_Data>10", "<TimeOut_Data>0", "Data time-out: 10 s -> 0 s"},
        {"pargen.xml", "<TO_ModReg>100", "<TO_ModReg>101",
         "Time-out Modbus register: 100 (TO_ModReg, low byte) -> 101 (TO_ModReg, low byte)"},
        {"pargen.xml", "<TO_ModReg>100", "<TO_ModReg>356",
         "Time-out Modbus register: TO_ModReg 100 -> 356 (never reaches the device: the banks hold 100 (TO_ModReg, "
         "low byte) either way)",
         false},
        {"pargen.xml", "<Serial>1", "<Serial>0", "Serial interface: RS485 (Serial 1) -> RS232 (Serial 0)"},
        {"pargen.xml", "<Cancel_Data>0", "<Cancel_Data>1", "Cancel data after read: no (Cancel_Data 0) -> yes (Cancel_Data 1)"},
        {"pargen.xml", "<Can_Data_Inp_Reg>0", "<Can_Data_Inp_Reg>1",
         "No cancel if read Input Reg.: no (Can_Data_Inp_Reg 0) -> yes (Can_Data_Inp_Reg 1)"},
        {"RCobDef.xml", R"(CobID="0x281" Dimensin="4")", R"(CobID="0x281" Dimensin="6")",
         R"(receive frame 2 "Motor temperatures" (COB-ID 0x281): Dimensin 4 -> 6)"},
        {"RCobDef.xml", R"(CobID="0x281")", R"(CobID="0x282")",
         R"(receive frame 2 "Motor temperatures" (COB-ID 0x282): COB-ID 0x281 -> 0x282)"},
        {"RCobDef.xml", R"(Mnemonic="Alarm word")", R"(Mnemonic="Alarms")",
         R"(receive frame 3 (COB-ID 0x381): Mnemonic "Alarm word" -> "Alarms" (never reaches the device: the banks keep no mnemonics))",
         false},
        {"RCobDef.xml", "</COBID>", R"(<row CobID="0x481" Dimensin="8" Mnemonic="Pressure"/></COBID>)",
         R"(receive frame 4 "Pressure" (COB-ID 0x481, Dimensin 8): added)"},
        {"TCobDef.xml", R"(Dimensin="8" RTR="N")", R"(Dimensin="8" RTR="Y")",
         R"(transmit frame 1 "Speed set-point" (COB-ID 0x201): RTR N -> Y)"},
        {"TCobDef.xml", R"(Dimensin="8" RTR="N")", R"(Dimensin="24" RTR="N")",
         R"(transmit frame 1 "Speed set-point" (COB-ID 0x201): Dimensin 8 -> 24 (never reaches the device: the banks hold Dimensin 8 either way))",
         false},
        {"RInfoCob.xml", R"(Index="2" NrPdo="1" PosComp="52")", R"(Index="2" NrPdo="1" PosComp="86")",
         R"(receive register 2: high byte B3 -> B5, low byte B4 -> B6, of receive frame 1 "Drive status" (COB-ID 0x181))"},
        {"RInfoCob.xml", R"(Index="20" NrPdo="3")", R"(Index="20" NrPdo="2")",
         R"(receive register 20: now fed from receive frame 2 "Motor temperatures" (COB-ID 0x281) instead of receive frame 3 "Alarm word" (COB-ID 0x381))"},
        {"RInfoCob.xml", R"(Index="20")", R"(Index="21")",
         R"(receive register 20 -> 21: high byte B1, low byte B2 of receive frame 3 "Alarm word" (COB-ID 0x381))"},
        {"RInfoCob.xml", R"(Index="20")", R"(Index="65556")",
         "receive register 20: Index 20 -> 65556 (never reaches the device: the banks keep register numbers in 16 bits, "
         "20 either way)",
         false},
        {"TInfoCob.xml", R"(Index="110" NrPdo="2" PosComp="18")", R"(Index="110" NrPdo="2" PosComp="33")",
         R"(transmit register 110: high byte B1 -> B2, low byte B2 -> B1, of transmit frame 2 "Control word" (COB-ID 0x301))"},
        {"TInfoCob.xml", R"(<row Index="110" NrPdo="2" PosComp="18"/>)", "",
         R"(transmit register 110: removed (it had high byte B1, low byte B2 of transmit frame 2 "Control word" (COB-ID 0x301)))"},
    };
    TempDir dir;
    const fs::path demo = DemoCopy(dir, "Demo");
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.to);
        const fs::path changed = DemoCopy(dir, "Changed");
        Edit(changed / c.file, c.from, c.to);
        const Comparison comparison = CompareFolders(demo, changed);
        EXPECT_EQ(Lines(comparison), std::vector<std::string>{c.line});
        if (!comparison.changes.empty()) {
            EXPECT_EQ(comparison.changes[0].reachesDevice, c.reaches);
        }
        fs::remove_all(changed);
    }
}

// Frames are matched by COB-ID and registers follow the frame their NrPdo
// names: a frame put in front of the others, with the mapping rows
// renumbered as the editor does, is the one change; a number typed
// differently is none; a COB-ID held twice says which frame the lookup takes.
TEST(ConfigurationDiff, FramesAreMatchedByCobIdAndRegistersFollowThem) {
    TempDir dir;
    const fs::path demo = DemoCopy(dir, "Demo");
    const fs::path inserted = DemoCopy(dir, "Inserted");
    Edit(inserted / "RCobDef.xml", "<COBID>", R"(<COBID><row CobID="0x701" Dimensin="1" Mnemonic="Heartbeat"/>)");
    WriteFile(inserted / "RInfoCob.xml",
              R"(<RInfoCob><row Index="1" NrPdo="2" PosComp="18"/><row Index="2" NrPdo="2" PosComp="52"/>)"
              R"(<row Index="3" NrPdo="2" PosComp="86"/><row Index="4" NrPdo="2" PosComp="120"/><row Index="10" )"
              R"(NrPdo="3" PosComp="18"/><row Index="11" NrPdo="3" PosComp="52"/><row Index="20" NrPdo="4" )"
              R"(PosComp="18"/></RInfoCob>)");
    EXPECT_EQ(Lines(CompareFolders(demo, inserted)),
              std::vector<std::string>{R"(receive frame 1 "Heartbeat" (COB-ID 0x701, Dimensin 1): added)"});

    const fs::path typed = DemoCopy(dir, "Typed");
    Edit(typed / "RCobDef.xml", R"(CobID="0x181")", R"(CobID="385")");
    Edit(typed / "pargen.xml", "<Cancel_Data>0</Cancel_Data>", "");
    const Comparison same = CompareFolders(demo, typed);
    EXPECT_TRUE(same.changes.empty());
    EXPECT_EQ(same.notes, std::vector<std::string>{"the files differ, but not in what they configure: in how they are "
                                                   "written only"});

    const fs::path twice = DemoCopy(dir, "Twice");
    Edit(twice / "RCobDef.xml", "</COBID>", R"(<row CobID="0x181" Dimensin="2" Mnemonic="Copy"/></COBID>)");
    const Comparison shared = CompareFolders(demo, twice);
    EXPECT_EQ(Lines(shared), std::vector<std::string>{R"(receive frame 4 "Copy" (COB-ID 0x181, Dimensin 2): added)"});
    EXPECT_EQ(shared.notes, std::vector<std::string>{"new: receive frames 1 and 4 have COB-ID 0x181: the banks' lookup "
                                                     "table selects frame 4, the later one; frame 1 never receives"});

    // Two frames swapped, their rows with them: one of them only moved.
    const fs::path swapped = DemoCopy(dir, "Swapped");
    WriteFile(swapped / "TCobDef.xml", R"(<COBID><row CobID="0x301" Dimensin="2" RTR="N" Mnemonic="Control word"/>)"
                                       R"(<row CobID="0x201" Dimensin="8" RTR="N" Mnemonic="Speed set-point"/></COBID>)");
    WriteFile(swapped / "TInfoCob.xml", R"(<TInfoCob><row Index="100" NrPdo="2" PosComp="18"/><row Index="101" NrPdo="2" )"
                                        R"(PosComp="52"/><row Index="110" NrPdo="1" PosComp="18"/></TInfoCob>)");
    const std::vector<std::string> moved = Lines(CompareFolders(demo, swapped));
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_NE(moved[0].find(": only moved, from position "), std::string::npos) << moved[0];
}

// Banks written as bank files, each as `edit` leaves them.
fs::path BankFolder(const TempDir& dir, const std::string& name, const BankImages& banks,
                    const std::function<void(BankImages&)>& edit = {}) {
    auto copy = std::make_unique<BankImages>(banks);
    if (edit) edit(*copy);
    fs::create_directories(dir / name);
    for (int n = 1; n <= 2; ++n) {
        const auto bank = copy->Bank(n);
        WriteFile(dir / name / ("bank" + std::to_string(n) + ".bin"),
                  std::string(reinterpret_cast<const char*>(bank.data()), bank.size()));
    }
    return dir / name;
}

// Bytes that a compile leaves as an earlier one wrote them are named; no
// byte of banks 1 and 2 but a stamp differs without a line that says so.
TEST(ConfigurationDiff, NoBankByteDiffersUnsaid) {
    TempDir dir;
    const ComparedSide demo = LoadSide(kDemo);
    const fs::path a = BankFolder(dir, "a", *demo.banks);
    const fs::path b = BankFolder(dir, "b", *demo.banks, [](BankImages& banks) {
        for (std::size_t at = 4352 + 4 * 7; at < 4352 + 4 * 8; ++at) banks.Bank(1)[at] = 0x5A;
        banks.Bank(1)[16030] = 1;
    });
    EXPECT_EQ(Lines(CompareFolders(a, b)),
              (std::vector<std::string>{
                  "bank 1 offsets 4380-4383: 4 bytes differ that no field explains (past the 7 receive mapping records)",
                  "bank 1 offset 16030: 1 byte differs that no field explains (in the parameter block, which no "
                  "compile writes)"}));

    // Every other byte changed alone, where the decoder takes the banks.
    std::vector<std::pair<int, std::size_t>> offsets;
    for (std::size_t o = 0; o < kBankSize; o += 61) offsets.emplace_back(1 + static_cast<int>(o % 2), o);
    for (std::size_t o = 16000; o < 16100; ++o) offsets.emplace_back(1, o);
    for (std::size_t o : {0, 1, 2, 750, 751, 752, 1500, 1501, 1502, 1503}) offsets.emplace_back(2, o);
    for (std::size_t o : {0x302, 0x303, 4144, 4352, 4353, 4354, 4355}) offsets.emplace_back(1, o);
    std::size_t decoded = 0;
    for (const auto& [bank, offset] : offsets) {
        ComparedSide changed = demo;
        auto banks = std::make_shared<BankImages>(*demo.banks);
        banks->Bank(bank)[offset] ^= 0x5A;
        try {
            changed.model = std::make_shared<const gateway::GatewayModel>(DecodeBanks(*banks));
        } catch (const Error&) {
            continue;
        }
        ++decoded;
        changed.kind = SideKind::BankFolder;
        changed.banks = banks;
        changed.project.reset();
        const bool stamp = bank == 1 && offset >= 16020 && offset < 16024;
        EXPECT_EQ(CompareSides(demo, changed).changes.empty(), stamp) << "bank " << bank << " offset " << offset;
    }
    EXPECT_GT(decoded, offsets.size() / 2);
}

// An image: the base image's header, data outside the banks and end
// record come first; banks 1 and 2 from the demo's compile.
std::string Image(const BankImages& banks, const std::string& header, const std::string& code,
                  std::uint32_t start = 0) {
    std::string image = SRecord('0', 0, 2, header) + SRecord('2', 0x001000, 3, code);
    image += S2Block(0x388000, banks.Bank(1)) + S2Block(0x398000, banks.Bank(2));
    return image + SRecord('9', start, 2);
}

TEST(ConfigurationDiff, ADifferentBaseImageIsSaidFirst) {
    TempDir dir;
    const ComparedSide demo = LoadSide(kDemo);
    auto changed = std::make_unique<BankImages>(*demo.banks);
    changed->Bank(1)[16004] = 9;  // the device address
    WriteFile(dir / "a.sx", Image(*demo.banks, "demo", std::string(16, '\x11')));
    WriteFile(dir / "b.sx", Image(*changed, "demo 2", std::string(3, '\x11') + '\x12' + std::string(20, '\x11'), 0x1000));
    EXPECT_EQ(Lines(CompareFolders(dir / "a.sx", dir / "b.sx")),
              (std::vector<std::string>{
                  R"(the base image's header record: "demo" -> "demo 2")",
                  "the base image differs outside banks 1 and 2: 1 byte differs and 8 bytes are only in the new "
                  "image, at 0x001003 and 0x001010-0x001017",
                  "the base image's end record: S9, start address 0x000000 -> S9, start address 0x001000",
                  "Modbus device address: 1 -> 9"}));
}

TEST(ConfigurationDiff, AnUpdateIsComparedWithTheImageBeforeIt) {
    TempDir dir;
    const ComparedSide demo = LoadSide(kDemo);
    const fs::path bin = BankFolder(dir, "bin", *demo.banks, [](BankImages& banks) { banks.Bank(1)[16003] = 3; });
    WriteFile(dir / "base.sx", Image(*demo.banks, "base", std::string(16, '\x11')));

    const UpdateChanges first = ChangesOfUpdate(dir / "New_base.sx", dir / "base.sx", bin);
    EXPECT_EQ(first.outcome, UpdateChanges::Outcome::FirstUpdate);
    EXPECT_EQ(first.count + " " + first.about,
              "First update: nothing to compare with There is no New_base.sx in the project folder yet.");

    WriteFile(dir / "New_base.sx", Image(*demo.banks, "base", std::string(16, '\x11')));
    const UpdateChanges second = ChangesOfUpdate(dir / "New_base.sx", dir / "base.sx", bin);
    EXPECT_EQ(second.outcome, UpdateChanges::Outcome::Compared);
    EXPECT_EQ(second.count, "1 change against the image in the project folder");
    EXPECT_EQ(second.about.rfind("New_base.sx, written ", 0), 0u) << second.about;
    EXPECT_NE(second.about.find("; the device may hold another image."), std::string::npos);
    EXPECT_NE(second.list.find("\nParity: even (Par_Ser 2) -> odd (Par_Ser 1)\n1 change\n"), std::string::npos)
        << second.list;

    WriteFile(dir / "New_base.sx", "S0030000FC\r\n");
    const UpdateChanges broken = ChangesOfUpdate(dir / "New_base.sx", dir / "base.sx", bin);
    EXPECT_EQ(broken.outcome, UpdateChanges::Outcome::NotCompared);
    EXPECT_NE(broken.about.find("no end record"), std::string::npos) << broken.about;
    EXPECT_TRUE(broken.list.empty());
}

}  // namespace
}  // namespace vestrel::compare
