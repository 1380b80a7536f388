#pragma once

#include "signaldb/signal_database.h"

#include <optional>
#include <string>
#include <string_view>

namespace vestrel::signaldb {

// The lowest and highest CANopen node id.
inline constexpr int kMinNodeId = 1;
inline constexpr int kMaxNodeId = 127;

// A CANopen EDS or DCF (CiA 306, an INI file) from its bytes as stored. The
// node's transmit PDOs (communication parameters 0x1800-0x19FF, mapping
// 0x1A00-0x1BFF) become messages the gateway receives, its receive PDOs
// (0x1400-0x15FF, 0x1600-0x17FF) messages the gateway transmits: first the
// transmit PDOs, then the receive PDOs, each by number. Each mapped object
// becomes an Intel signal named by its ParameterName and typed by its
// DataType; dummy entries (indexes below 0x0020) only take their bits.
// ParameterValue, where given, wins over DefaultValue, except for a COB-ID
// with `options.nodeIdCobIds`: each message's `cobIdOrigin` says which entry
// gave its COB-ID and what the node id would give instead. `$NODEID` in a
// value stands for `options.nodeId`, or, when none is given, for the NodeID
// of a DCF's [DeviceComissioning]. A PDO whose COB-ID has bit 31 set is
// marked disabled.
//
// Throws DatabaseError for what stops the whole file (a line that is no INI
// line, a section or key given twice, an encoding error, a node id out of
// range, more sections or entries than IniDocument reads) and NodeIdNeeded
// when a value uses $NODEID and there is no node id.
// What makes one PDO or mapped object unusable is left in its `problem`.
Database ReadEds(std::string_view bytes, const std::string& fileName, const ReadOptions& options);

}  // namespace vestrel::signaldb
