#pragma once

#include "project/project_document.h"
#include "project/project_files.h"
#include "signaldb/register_plan.h"
#include "signaldb/signal_database.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// signals.xml: what the registers an import mapped mean. It lies in the
// project folder beside the five project files; the compiler never reads it,
// and a project without it is a project without imported signals.
//
//   <Signals>
//     <Message Direction="receive" Name="DriveStatus" CobID="0x181" Extended="N"
//              DLC="8" WordOrder="high-first" NewFrame="N"
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
// from Shift on, masked with Mask, are the signal's raw bits. Numbers are
// written the same in every locale.
namespace vestrel::signaldb {

inline constexpr std::string_view kSignalFile = "signals.xml";

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
};

struct ImportedMessage {
    FrameDirection direction = FrameDirection::Receive;
    std::string name;
    std::uint32_t id = 0;
    bool extended = false;
    int length = 0;  // data bytes (DLC)
    WordOrder order = WordOrder::HighFirst;
    bool newFrame = false;  // the import added the frame; removing its last row removes it
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
// ("word 1 of 2, high word first"). Names as the file holds them, not
// escaped. Empty when the file does not list the register.
std::string RegisterLine(const SignalFile& file, FrameDirection direction, std::int32_t index);

// Whether the signal's registers hold more than its bits: worked out from
// the halves of `registers` (the message's), its shift and length.
bool HoldsMoreThanSignal(const ImportedMessage& message, const ImportedSignal& signal);

}  // namespace vestrel::signaldb
