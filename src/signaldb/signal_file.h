#pragma once

#include "project/project_document.h"
#include "project/project_files.h"
#include "signaldb/register_plan.h"
#include "signaldb/signal_database.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// signals.xml: what the registers an import mapped mean. It lies in the
// project folder beside the five project files; the compiler never reads it,
// and a project without it is a project without imported signals.
//
//   <Signals Version="2">
//     <Message Direction="receive" Name="DriveStatus" CobID="0x181" Extended="N"
//              DLC="8" WordOrder="high-first" NewFrame="N" CycleTime="100"
//              Database="../demo-drive.dbc" SHA256="<64 hex digits>">
//       <Register Index="21" PosComp="18"/>
//       <Signal Name="MotorCurrent" Registers="21" Shift="0" Mask="0xFFFF"
//               StartBit="39" Length="16" ByteOrder="Motorola" Type="signed"
//               Factor="0.1" Offset="0" Minimum="-300" Maximum="300" Unit="A"
//               Comment="...">
//         <Value Raw="0" Text="off"/>
//       </Signal>
//     </Message>
//   </Signals>
//
// One Message per frame the import mapped (per direction and COB-ID), its
// registers and the signals they hold. A signal's registers are listed in
// the order they are numbered; joined as the message's word order says
// (high-first: the first listed is the most significant word), their bits
// from Shift on, masked with Mask, are the signal's raw bits, and SignBit,
// where given, is the bit the PLC sign-extends. CycleTime is the message's
// cycle time in ms where the database gives one, and DatabaseCobID the
// COB-ID the database gives the message where the frame has another. Numbers
// are written the same in every locale.
//
// Version 2 added SignBit, CycleTime and DatabaseCobID; a file without Version (version 1)
// is read with the sign bit the register plan gives its signals and no
// cycle times.
namespace vestrel::signaldb {

inline constexpr std::string_view kSignalFile = "signals.xml";
// The version this tool writes; it reads every version up to it.
inline constexpr int kSignalFileVersion = 2;

// signals.xml may describe every register the banks hold, each signal with
// its value table and comment: more than kMaxProjectFileBytes. Larger files
// are neither written nor read.
inline constexpr std::size_t kMaxSignalFileBytes = 16u << 20;

struct ImportedRegister {
    std::int32_t index = 0;  // the register number (0 to 65535)
    std::uint8_t posComp = 0;

    friend bool operator==(const ImportedRegister&, const ImportedRegister&) = default;
};

struct ImportedSignal {
    // As the database described it: name, bits, byte order, type, scaling,
    // range, unit, value table and comment (receivers, multiplexing and the
    // line are not kept).
    Signal signal;
    std::vector<std::int32_t> registers;  // in the order they are numbered
    int shift = 0;
    std::uint64_t mask = 0;  // LowBits(length)
    // The registers hold more than the signal: the PLC applies shift and
    // mask. Worked out from the registers' halves, not stored.
    bool masked = false;
    std::optional<int> signBit;  // the bit the PLC sign-extends, where it does
    // Why the signal has no physical value: what a database reader would
    // refuse of its scaling ("Factor 'nan' is not a finite number"), naming
    // the attribute; empty when it has one. Worked out on reading, not stored.
    std::string problem;
};

// What the PLC does with the signal's registers.
PlcSteps StepsOf(const ImportedSignal& signal);

struct ImportedMessage {
    FrameDirection direction = FrameDirection::Receive;
    std::string name;
    std::uint32_t id = 0;  // the frame's COB-ID
    // The COB-ID the database gives the message where it is not `id`: the
    // user gave the frame another one in the frame table, which a new
    // import keeps.
    std::optional<std::uint32_t> databaseId;
    bool extended = false;
    int length = 0;  // data bytes (DLC)
    WordOrder order = WordOrder::HighFirst;
    bool newFrame = false;  // the import added the frame; removing its last row removes it
    std::optional<int> cycleTimeMs;  // as the database gave it
    std::string database;   // the database file, relative to the project folder, "/" between names
    std::string sha256;     // of the database file as it was imported, lower-case hex
    std::vector<ImportedRegister> registers;  // in the order they are numbered
    std::vector<ImportedSignal> signalList;
};

struct SignalFile {
    std::vector<ImportedMessage> messages;

    // The message of that frame, or null.
    const ImportedMessage* Find(FrameDirection direction, std::uint32_t id, bool extended) const;
    ImportedMessage* Find(FrameDirection direction, std::uint32_t id, bool extended);
};

struct SignalFileRead {
    ProjectDocument::Status status = ProjectDocument::Status::Absent;
    std::string fileName = std::string(kSignalFile);  // as found on disk
    std::string error;  // Unreadable: why, naming the message and signal at fault
    SignalFile file;

    bool Loaded() const { return status == ProjectDocument::Status::Loaded; }
};

// Reads signals.xml from the project folder, letter case ignored. A file
// that is not well-formed, or holds anything this tool would not write (an
// unknown direction, a signal past its message's length, a register listed
// twice, ...), is Unreadable as a whole: nothing of it is used.
SignalFileRead ReadSignalFile(const std::filesystem::path& projectDir);

// The file's text as it is written. Throws Error for text an XML file cannot
// hold and for a file larger than kMaxSignalFileBytes.
std::string SignalFileText(const SignalFile& file);

// "receive" or "transmit", as the file and the import's output say it.
const char* DirectionWord(FrameDirection direction);

// What a register holds, in one line: "receive 21: 0x481 DriveDiagnostics,
// high B2, low B1: Ready (shift right 0, mask 0x1), Fault (shift right 1,
// mask 0x1)"; a signal over several registers says which word this one is
// ("word 1 of 2, high word first"), and in a transmit frame that a PLC
// writes all its registers in one function 16 request. Names as the file
// holds them, not escaped. Empty when the file does not list the register.
std::string RegisterLine(const SignalFile& file, FrameDirection direction, std::int32_t index);

// Whether the signal's registers hold more than its bits: worked out from
// the halves of `registers` (the message's), its shift and length.
bool HoldsMoreThanSignal(const ImportedMessage& message, const ImportedSignal& signal);

}  // namespace vestrel::signaldb
