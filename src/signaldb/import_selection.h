#pragma once

#include "project/project_files.h"
#include "signaldb/signal_database.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Which messages and signals of a database an import takes, in which
// direction, and the registers the user gave. A list is comma-separated
// items: MESSAGE (all its signals), MESSAGE.SIGNAL, or MESSAGE.SIGNAL=REGISTER
// (the signal's first register; the others follow it).
namespace vestrel::signaldb {

struct MessagePick {
    std::size_t message = 0;  // index into Database::messages
    bool whole = false;       // MESSAGE: every signal the gateway can take
    std::vector<std::size_t> signalList;  // named signals, indexes into Message::signalList
    std::map<std::size_t, std::int32_t> registers;  // named signal -> the register given to it
};

struct DirectionPicks {
    FrameDirection direction = FrameDirection::Receive;
    std::vector<MessagePick> messages;  // in the order the list first names them
};

// Resolves a list against the database. Message and signal names are
// matched exactly; a name may hold dots (MESSAGE.SIGNAL is split where the
// part before the dot names a message). Appends to `refusals`, with the
// item, what cannot be resolved: an unknown message or signal, a register
// that is no number from 0 to 65535, a register given to a whole message,
// one signal given two registers, and a CANopen PDO listed against its
// direction.
DirectionPicks ResolveList(const Database& database, FrameDirection direction, std::string_view list,
                           std::vector<std::string>& refusals);

}  // namespace vestrel::signaldb
