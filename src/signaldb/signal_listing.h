#pragma once

#include "signaldb/register_plan.h"
#include "signaldb/signal_database.h"

#include <optional>
#include <string>
#include <string_view>

// A database in words: every message and signal, and what the import would
// make of each. Whatever the file holds is made printable (control
// characters as \xHH).
namespace vestrel::signaldb {

// "7|16 Motorola signed": start bit, length, byte order and type.
std::string SignalBitsText(const Signal& signal);

// Where a CANopen PDO's COB-ID comes from: "DefaultValue with node 5 (line
// 230)", "ParameterValue (line 230), which node 5 does not change: its
// DefaultValue gives 0x185 (TAKE_OTHER takes that)", where `takeOther`
// names the option that takes it; empty for a DBC message.
std::string CobIdOriginText(const Message& message, std::optional<int> nodeId, std::string_view takeOther);

// What the import makes of a signal: "1 register (high B1, low B2)",
// "2 registers (high B1, low B2) (high B3, low B4)", with the shift and mask
// the PLC applies and the sign extension it does, and for a frame the
// gateway may transmit over two or more registers that a PLC writes them in
// one function 16 request; or "refused: WHY".
std::string SignalFitText(const Message& message, const MessagePlan& plan, std::size_t signal);

// The whole listing, as `vestrel-cli signals` prints it.
std::string DatabaseListing(const Database& database, const DatabasePlan& plan);

}  // namespace vestrel::signaldb
