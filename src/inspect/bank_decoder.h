#pragma once

#include "compiler/bank_image.h"
#include "project/comm_parameters.h"
#include "project/frame_mapping.h"
#include "project/frame_table.h"
#include "project/project_files.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vestrel {

struct DecodedFrame {
    std::uint32_t cobId = 0;
    int length = 0;       // receive: the length byte; transmit: bits 0-3 of the control byte
    bool remote = false;  // transmit: bit 4 of the control byte

    friend bool operator==(const DecodedFrame&, const DecodedFrame&) = default;
};

struct DecodedMapping {
    std::uint16_t index = 0;
    std::uint8_t nrPdo = 0;
    std::uint8_t posComp = 0;

    friend bool operator==(const DecodedMapping&, const DecodedMapping&) = default;
};

// What banks 1 and 2 configure, field by field as the banks hold it. Only the
// records that the counts of the parameter block cover are read; what lies
// beyond them may be left over from an earlier compile.
struct DecodedBanks {
    CanMode mode = CanMode::Can20A;
    std::uint8_t canRateCode = 0;      // 16000: BaudRateCAN + 1, 1-9 for 10-1000 kbit/s
    std::uint8_t canType = 0;          // 16001
    std::uint8_t serialRate = 0;       // 16002: Baud_Ser, 0-7 for 1200-115200 bit/s
    std::uint8_t parityCode = 0;       // 16003: 0 none, 3 odd, 2 even
    std::uint8_t deviceAddress = 0;    // 16004
    std::uint16_t serialTimeOut = 0;   // 16005, milliseconds
    std::uint8_t dataTimeOut = 0;      // 16007, seconds
    std::uint8_t timeOutRegister = 0;  // 16008: the low byte of TO_ModReg
    std::uint8_t serialInterface = 0;  // 16099: 1 RS485, 0 RS232
    std::uint8_t cancelData = 0;       // 16024
    std::uint8_t cancelDataInputReg = 0;  // 16025
    std::uint16_t packedDate = 0;      // 16020
    std::uint16_t packedTime = 0;      // 16022
    std::vector<DecodedFrame> receiveFrames;
    std::vector<DecodedFrame> transmitFrames;
    std::vector<DecodedMapping> receiveMappings;
    std::vector<DecodedMapping> transmitMappings;
};

// Reads banks 1 and 2. Throws Error with a message for banks that no compile
// could have produced: a parameter block that was never written, counts
// beyond the layout's capacity, a lookup table or bitmap that disagrees with
// the receive records in CAN 2.0A, regions of CAN 2.0B that hold what that
// layout never writes, a control byte with bits 5-7 set, a parity code or a
// TO_ModReg high byte that the compiler never writes.
DecodedBanks DecodeBanks(const BankImages& banks);

// The serial bit rate of a Baud_Ser code (0-7: 1200 to 115200 bit/s);
// nothing for a code no compile writes.
std::optional<int> SerialBitRate(std::uint8_t serialRate);
// "none", "even" or "odd" for the parity code the banks hold; null for a
// code no compile writes.
const char* ParityWord(std::uint8_t parityCode);

// The project files that compile back to the banks. Numbers come in one form:
// COB-IDs as "0x" and upper-case hexadecimal, everything else in decimal.
CommParameters DecodedCommParameters(const DecodedBanks& decoded);
FrameTable DecodedFrameTable(const DecodedBanks& decoded, FrameDirection direction);

// Writes pargen.xml, RCobDef.xml, TCobDef.xml, RInfoCob.xml and TInfoCob.xml
// into `projectDir`, creating the folder when it is missing. Refuses, before
// writing anything, a folder that already holds one of these files.
void WriteDecodedProject(const std::filesystem::path& projectDir, const DecodedBanks& decoded);

// Writes the project into a scratch folder, compiles it on a fresh compiler
// and compares the result with `original` wherever that compile writes, the
// stamps at 16020-16023 excepted. Throws Error naming the first difference.
void VerifyDecodedProject(const DecodedBanks& decoded, const BankImages& original);

// The first byte where `recompiled` differs from `original` among the bytes
// that a compile of the decoded project writes (stamps excepted), as
// "bank 1 offset 16003: 0x03 here, 0x02 after a compile", or nothing.
std::optional<std::string> FirstDifference(const DecodedBanks& decoded, const BankImages& original,
                                           const BankImages& recompiled);

// The bytes of banks 1 and 2 that a compile of the decoded configuration
// writes, the stamps at 16020-16023 excepted: mask[bank - 1][offset]. What a
// compile writes there follows from the decoded fields alone; every other
// byte keeps what the banks held before.
using BankByteMask = std::array<std::vector<bool>, 2>;
BankByteMask CompiledBytes(const DecodedBanks& decoded);

// Where a byte lies that a compile of the decoded configuration does not
// write: "past the 7 receive mapping records", "which no compile writes".
std::string UnwrittenRegion(const DecodedBanks& decoded, int bank, std::size_t offset);

// One setting of the communication parameters as the reader reads it:
// "CAN bit rate" and "250 kbit/s (BaudRateCAN 4)".
struct SettingRow {
    std::string name;
    std::string value;
    const char* element = "";  // the element of pargen.xml it comes from; "" for the compile stamp
};
// The settings in the order DescribeDecodedBanks lists them, the compile
// stamp last when asked for.
std::vector<SettingRow> DecodedSettings(const DecodedBanks& decoded, bool withCompileStamp = true);

// The configuration as text, one item a line, each line ending in '\n':
// the settings ("name: value"), then the frames and the mapping records.
std::string DescribeDecodedBanks(const DecodedBanks& decoded);

// What the decoded project cannot give back as the engineer had it, one
// sentence each: mnemonics, the high byte of TO_ModReg, register numbers above
// 16 bits, how numbers were typed, a mapping order that the mapping editor
// would change.
std::vector<std::string> DecodeNotes(const DecodedBanks& decoded);

}  // namespace vestrel
