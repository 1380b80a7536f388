#pragma once

#include "gateway/register_table.h"
#include "gateway/signal_values.h"
#include "live/modbus_request.h"
#include "live/register_numbering.h"

#include <cstdint>
#include <string>
#include <vector>

// What the bench window's tables show, as plain text: the CAN monitor, the
// values a Modbus read returned, and expected against read. The window's
// views only display these rows; every decision about a cell is here.
namespace vestrel::live {

class BusMonitor;
struct RegisterCheck;

struct TextCell {
    std::string text;
    bool standsOut = false;  // should catch the eye: an unknown COB-ID, a mismatch
};
using TextRow = std::vector<TextCell>;

struct TextTable {
    std::vector<std::string> headings;
    std::vector<TextRow> rows;  // each as long as the headings
};

// Per identifier the COB-ID, count, rate over the second before `now`
// (microseconds), last data, what the project makes of it and the register
// values now held; a last row counts the identifiers not listed. No monitor
// gives no rows.
TextTable MonitorTable(const BusMonitor* monitor, const gateway::SignalValues* meanings, std::int64_t now);

// The registers a read returned from `block`, named in numbering `n`: the
// number, the protocol address, the value in hex and decimal, and what
// imported signals make of it.
TextTable ReadValuesTable(RegisterBlock block, const std::vector<std::uint16_t>& values, Numbering n,
                          const gateway::SignalValues* meanings);

// Every mapped receive register with the value the table expects, and once
// a read and compare has finished (`checks`, one per register in order) the
// value read and the verdict, judged against the expectation as it now is.
// No model or table gives no rows.
TextTable ExpectedTable(const gateway::GatewayModel* model, const gateway::RegisterTable* table, Numbering n,
                        const std::vector<RegisterCheck>* checks, const gateway::SignalValues* meanings);

// "[8] 11 22 33 44 55 66 77 88", "CAN FD [12] ...", "remote request [2]",
// "error frame".
std::string MonitorDataText(const can::CanFrame& frame);

}  // namespace vestrel::live
