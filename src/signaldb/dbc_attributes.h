#pragma once

#include "signaldb/signal_database.h"
#include "signaldb/text_scanner.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vestrel::signaldb {

// The attributes of a DBC file that change what its messages are or are
// called, as the DBC reader meets them (BA_DEF_, BA_DEF_DEF_, BA_):
//
// - GenMsgCycleTime: a message's cycle time in ms (the default where none
//   is given), 0 for none;
// - VFrameFormat: the frame format of a message, an index into the values
//   its BA_DEF_ lists or one of their names; StandardCAN_FD and
//   ExtendedCAN_FD are CAN FD frames, which the gateway never takes;
// - SystemMessageLongSymbol, SystemSignalLongSymbol: the full names of
//   messages and signals whose names the format cuts to 32 characters.
//
// Every other attribute only adds to a message and is skipped.
class DbcAttributes {
public:
    // The message with that DBC id (format flag included), or -1.
    using MessageIndex = std::function<int(std::uint64_t rawId)>;

    void StartStatement() { name_.reset(); }
    void AddMessage() { messages_.emplace_back(); }

    // A BA_, BA_DEF_ or BA_DEF_DEF_ statement after its keyword, to its ';'.
    void Read(std::string_view keyword, TextScanner& s, int line, const MessageIndex& messageIndex);

    // For a statement that could not be read: whether it names an attribute
    // that only adds to what it is on (so that skipping it changes no
    // frame's format and no name).
    bool OnlyAdds() const;

    struct Fault {
        int line = 0;
        std::string reason;
    };
    // Gives the messages their cycle time, frame format and long names, once
    // the file is read; `signalsByName` per message. A long name that two
    // messages, or two signals of one message, would share is a fault of the
    // whole file.
    std::optional<Fault> Apply(Database& db, const std::vector<std::unordered_map<std::string, int>>& signalsByName) const;

private:
    struct Value {
        std::optional<double> number;  // a number, or an ENUM's index
        std::string text;              // a quoted value
        int line = 0;
    };
    struct LongName {
        std::string name;
        int line = 0;
    };
    struct PerMessage {
        std::optional<double> cycleTime;
        std::optional<Value> frameFormat;
        std::optional<LongName> longName;
        std::vector<std::pair<std::string, LongName>> signalNames;  // short name -> long name
    };

    void ReadDefinition(TextScanner& s);
    void ReadDefault(TextScanner& s, int line);
    void ReadValue(TextScanner& s, int line, const MessageIndex& messageIndex);
    static Value ValueOf(TextScanner& s, int line, const char* what);
    void ApplyFrameFormat(Message& m, const PerMessage& own) const;

    std::optional<std::string> name_;  // of the attribute being read
    std::vector<PerMessage> messages_;
    std::optional<double> defaultCycleTime_;
    std::optional<Value> defaultFrameFormat_;
    std::optional<std::vector<std::string>> frameFormats_;  // VFrameFormat's ENUM values
};

}  // namespace vestrel::signaldb
