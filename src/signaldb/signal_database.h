#pragma once

#include "platform/error.h"
#include "project/project_files.h"
#include "signaldb/database_formats.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a CAN database says about the frames on a bus: messages and the
// signals they carry, read from a DBC file or worked out from a CANopen
// EDS/DCF. One model for every format; the readers fill it, the codec and
// the register plan read it.
namespace vestrel::signaldb {

enum class ByteOrder {
    Intel,     // little-endian (DBC @1, every CANopen PDO)
    Motorola,  // big-endian (DBC @0)
};

enum class ValueType {
    Unsigned,
    Signed,   // two's complement
    Float32,  // IEEE 754 single
    Float64,  // IEEE 754 double
};

// The words listings and signals.xml use: "Intel", "Motorola"; "unsigned",
// "signed", "float", "double". One table each, read both ways, so that a
// stored word never depends on the order of the enum.
const char* ByteOrderWord(ByteOrder order);
std::optional<ByteOrder> ByteOrderOfWord(std::string_view word);
const char* ValueTypeWord(ValueType type);
std::optional<ValueType> ValueTypeOfWord(std::string_view word);

enum class Multiplexing {
    None,
    Multiplexor,  // DBC "M": the signal that selects the others
    Multiplexed,  // DBC "mN": present only when the multiplexor holds `muxValue`
};

struct ValueName {
    std::int64_t value = 0;
    std::string text;

    friend bool operator==(const ValueName&, const ValueName&) = default;
};

struct Signal {
    std::string name;
    // Bit k of data byte n is bit 8n + k. Intel signals start at their least
    // significant bit and go up; Motorola signals start at their most
    // significant bit, go down within a byte and on at bit 7 of the next one.
    int startBit = 0;
    int length = 0;  // bits
    ByteOrder order = ByteOrder::Intel;
    ValueType type = ValueType::Unsigned;
    double factor = 1;  // physical = raw × factor + offset
    double offset = 0;
    double minimum = 0;  // physical; both 0: the file gives no range
    double maximum = 0;
    std::string unit;
    std::vector<std::string> receivers;
    Multiplexing mux = Multiplexing::None;
    std::int64_t muxValue = 0;      // Multiplexed: the multiplexor's value
    std::vector<ValueName> values;  // value table, ascending by value
    std::string comment;
    // Why the file's description of this signal cannot be used (its bits lie
    // past any CAN frame, a float type on the wrong length, an object the
    // EDS does not define, ...); empty when it can.
    std::string problem;
    int line = 0;  // where the file defines it
    // EDS/DCF: the object the PDO maps (index, subindex); 0 in a DBC.
    std::uint16_t objectIndex = 0;
    std::uint8_t objectSubIndex = 0;
};

// CANopen: which entry of the file a PDO's COB-ID comes from.
struct CobIdOrigin {
    enum class Entry { None, ParameterValue, DefaultValue };
    Entry entry = Entry::None;  // None: a DBC, or a PDO that gives no COB-ID
    int line = 0;               // the entry's line
    bool usesNodeId = false;    // the entry's value holds $NODEID
    // A ParameterValue that ignores the node id, where the DefaultValue
    // with the node id gives another COB-ID: that one.
    std::optional<std::uint32_t> nodeIdCobId;
    // The file's ParameterValue was passed over for the DefaultValue
    // (ReadOptions::nodeIdCobIds): the COB-ID it gave.
    std::optional<std::uint32_t> passedOver;
};

struct Message {
    std::string name;
    std::uint32_t id = 0;   // the CAN identifier, without format flags
    bool extended = false;  // 29-bit identifier
    int length = 0;         // data bytes (DLC)
    std::vector<std::string> transmitters;
    std::optional<int> cycleTimeMs;
    std::string comment;
    std::vector<Signal> signalList;  // in file order
    // EDS/DCF: which way the gateway sees the PDO (the node's transmit PDOs
    // are frames the gateway receives). A DBC leaves it to the user.
    std::optional<FrameDirection> direction;
    bool disabled = false;  // EDS/DCF: bit 31 of the PDO's COB-ID is set
    CobIdOrigin cobIdOrigin;
    // DBC: the frame format its VFrameFormat attribute (or that attribute's
    // default) names, "StandardCAN_FD"; empty where the file names none.
    std::string frameFormat;
    bool canFd = false;  // a CAN FD frame, whatever its length
    std::string problem;    // why the file's description of it cannot be used; empty when it can
    int line = 0;
};

// What a reader skipped and went on, on the line it names: a statement
// that only adds a comment, a value table or an attribute and cannot be
// read, and the message a broken definition refuses.
struct DatabaseNote {
    int line = 0;
    std::string text;

    friend bool operator==(const DatabaseNote&, const DatabaseNote&) = default;
};

struct Database {
    DatabaseFormat format = DatabaseFormat::Dbc;
    std::string fileName;  // as the reader was given it, for messages
    std::vector<Message> messages;  // in file order
    std::optional<int> nodeId;      // EDS/DCF: the node id the COB-IDs were worked out with
    bool nodeIdFromFile = false;    // DCF: the node id came from the file, not from the caller
    std::vector<DatabaseNote> notes;

    std::size_t SignalCount() const;
};

// A file that cannot be read as a whole: nothing of it is used. The text
// reads "FILE:LINE: REASON" ("FILE: REASON" where no line applies); the
// parts are kept as values as well.
class DatabaseError : public Error {
public:
    DatabaseError(std::string file, int line, std::string reason);

    const std::string& File() const { return file_; }
    int Line() const { return line_; }  // 0 when no line applies
    const std::string& Reason() const { return reason_; }

private:
    std::string file_;
    int line_;
    std::string reason_;
};

// An EDS whose COB-IDs depend on $NODEID, read without a node id.
class NodeIdNeeded : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

// Sizes no database reaches: a file above them is refused whole, so that
// reading takes bounded memory and time.
inline constexpr std::size_t kMaxDatabaseBytes = 64u << 20;
inline constexpr std::size_t kMaxMessages = 65536;
inline constexpr std::size_t kMaxSignals = 1000000;
inline constexpr int kMaxFrameBytes = 64;  // CAN FD; the gateway itself takes 8

// What makes a signal's scaling or range unusable: a factor of 0 (no raw
// value gives a physical one) or one that is not finite, an offset, minimum
// or maximum that is not finite. The readers of every database and of
// signals.xml apply it alike, each naming the part its own way.
enum class ScalingPart { Factor, Offset, Minimum, Maximum };
struct ScalingFault {
    ScalingPart part = ScalingPart::Factor;
    std::string reason;  // "is 0: no raw value gives a physical one", "is not a finite number"
};
std::optional<ScalingFault> ScalingFaultOf(const Signal& signal);
// "its factor is 0: no raw value gives a physical one"; empty when usable.
std::string ScalingProblem(const Signal& signal);

// "FILE:LINE: TEXT", as a note is said.
std::string NoteText(const Database& database, const DatabaseNote& note);

// The raw range a signal's bits hold, as doubles (float types: their finite range).
double RawMinimum(const Signal& signal);
double RawMaximum(const Signal& signal);

// "0x181", or "0x18FF0001" (eight digits) for a 29-bit id: as the bus tools show ids.
std::string MessageIdText(const Message& message);

}  // namespace vestrel::signaldb
