#pragma once

#include "gateway/register_report.h"
#include "gateway/signal_values.h"

#include <string>
#include <utility>
#include <vector>

// What the register map says beyond the mapping: how a PLC reaches this
// gateway, and what the registers that signals were imported into mean.
namespace vestrel::gateway {

inline constexpr const char* kPlcAccessTitle = "Reading this gateway from a PLC";

// The section's rows (name, value in words): device address, the serial
// line as the project sets it and what Modbus RTU fixes, the function codes
// of each direction and how the listed register numbers become the numbers
// a master counting from 1 and the 5- or 6-digit notation use.
std::vector<std::pair<std::string, std::string>> PlcAccessInWords(const GatewayModel& model);

// "register 10 is 40011 for function 03 and 30011 for function 04" in the
// notation that counts from 1: 5 digits up to register 9998, then 6
// ("410000").
std::string ModiconNumber(int functionCode, std::uint16_t reg);

// A direction's signals, one row each: registers, signal, message, bits,
// scaling, range, value table and comment. No rows when the direction has
// none.
ReportTable SignalTable(const SignalValues& signalValues, FrameDirection direction);

// What the register map says under the transmit signals where one of them
// spans two or more registers.
inline constexpr const char* kMultiRegisterWriteNote =
    "A PLC writes a signal over two or more registers in one function 16 (write multiple registers) request. What "
    "the device does with a write of some of its registers, such as function 06 one register at a time, is not "
    "known; the simulator sends the frame at each write, with the other registers as they were, so the bus sees a "
    "value that is neither the old nor the new one.";
bool HasMultiRegisterWrites(const SignalValues& signalValues);

// For the CSV: the signals a register carries, their scaling, unit, range
// and comment, each cell listing its signals' parts joined by "; ".
inline constexpr int kSignalCsvColumns = 5;
std::vector<std::string> SignalCsvCells(const SignalValues& signalValues, FrameDirection direction, std::uint16_t reg);
inline constexpr const char* kSignalCsvHeadings = "signal,scaling,unit,range,comment";

}  // namespace vestrel::gateway
