#include "gateway/report_signals.h"

#include "inspect/bank_decoder.h"
#include "signaldb/physical_value.h"
#include "signaldb/signal_listing.h"

#include <algorithm>

namespace vestrel::gateway {

namespace {

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? "" : separator) + parts[i];
    return text;
}

std::string RegistersText(const SignalValues::Entry& e) {
    std::vector<std::string> numbers;
    for (std::int32_t reg : e.signal->registers) numbers.push_back(std::to_string(reg));
    std::string text = Joined(numbers, ", ");
    if (numbers.size() > 1) text += std::string(" (") + signaldb::WordOrderText(e.message->order) + ")";
    return text;
}

// "7|16 Motorola signed", then what the PLC does with the registers: the
// steps of the one home, and for a transmit signal over several registers
// how it writes them.
std::string BitsText(const SignalValues::Entry& e) {
    std::string text = signaldb::SignalBitsText(e.signal->signal);
    if (const std::string steps = signaldb::PlcStepsText(signaldb::StepsOf(*e.signal)); !steps.empty())
        text += "; " + steps;
    if (e.message->direction == FrameDirection::Transmit)
        if (const std::string write = signaldb::MultiRegisterWriteText(static_cast<int>(e.signal->registers.size()));
            !write.empty())
            text += "; " + write;
    return text;
}

std::string RangeWithUnit(const signaldb::Signal& s) {
    const std::string range = signaldb::RangeText(s);
    return range.empty() || s.unit.empty() ? range : range + " " + s.unit;
}

std::string ValueTableText(const signaldb::Signal& s) {
    std::vector<std::string> names;
    for (const signaldb::ValueName& v : s.values) names.push_back(std::to_string(v.value) + " = " + v.text);
    return Joined(names, "; ");
}

bool Carries(const SignalValues::Entry& e, FrameDirection direction, std::uint16_t reg) {
    return e.message->direction == direction &&
           std::find(e.signal->registers.begin(), e.signal->registers.end(), reg) != e.signal->registers.end();
}

}  // namespace

std::string ModiconNumber(int functionCode, std::uint16_t reg) {
    const long counted = static_cast<long>(reg) + 1;
    const long prefix = functionCode == 4 ? 3 : 4;
    return std::to_string(prefix * (reg <= 9998 ? 10000 : 100000) + counted);
}

std::vector<std::pair<std::string, std::string>> PlcAccessInWords(const GatewayModel& model) {
    const DecodedBanks& banks = model.Banks();
    std::vector<std::pair<std::string, std::string>> rows;
    rows.emplace_back("Protocol", "Modbus RTU; the gateway is a slave");
    rows.emplace_back("Device address", std::to_string(banks.deviceAddress));
    const std::optional<int> rate = SerialBitRate(banks.serialRate);
    const char* parity = ParityWord(banks.parityCode);
    rows.emplace_back("Serial line",
                      std::string(banks.serialInterface == 1 ? "RS-485" : banks.serialInterface == 0 ? "RS-232" : "neither RS-232 nor RS-485") +
                          ", " + (rate ? std::to_string(*rate) + " bit/s" : "a bit rate the device does not know") +
                          ", parity " + (parity ? parity : "unknown"));
    rows.emplace_back("Data bits", "8, as Modbus RTU fixes them");
    rows.emplace_back("Stop bits",
                      "not set by the project (Modbus RTU asks for 1 with parity and 2 without; the device decides)");
    rows.emplace_back("Receive registers",
                      "the values of the frames the gateway receives: read them with function 03 (read holding "
                      "registers) or 04 (read input registers)");
    rows.emplace_back("Transmit registers",
                      "the values of the frames the gateway sends: write them with function 06 (write single "
                      "register) or 16 (write multiple registers)");
    // The example: the lowest receive register, or 10 in a project without one.
    std::uint16_t example = 10;
    if (!model.Receive().mappings.empty()) {
        example = 0xFFFF;
        for (const GatewayMapping& m : model.Receive().mappings) example = std::min(example, m.reg);
    }
    rows.emplace_back("Register numbers",
                      "the numbers listed here are the protocol addresses of the requests. A master that counts "
                      "registers from 1 adds 1: register " +
                          std::to_string(example) + " is " + std::to_string(example + 1) +
                          " there, and in the 5-digit notation " + ModiconNumber(3, example) + " for function 03 and " +
                          ModiconNumber(4, example) + " for function 04; registers above 9998 need the 6-digit form (" +
                          "register 9999 is " + ModiconNumber(3, 9999) + ")");
    return rows;
}

ReportTable SignalTable(const SignalValues& signalValues, FrameDirection direction) {
    ReportTable table;
    table.headings = {"Register", "Signal", "Message", "Bits", "Scaling", "Range", "Values", "Comment"};
    table.numeric = {true, false, false, false, false, false, false, false};
    for (const SignalValues::Entry& e : signalValues.Entries()) {
        if (e.message->direction != direction) continue;
        const signaldb::Signal& s = e.signal->signal;
        // A signal whose scaling cannot be used has no value to scale.
        const std::string scaling = e.signal->problem.empty() ? signaldb::ScalingText(s) : "no value: " + e.signal->problem;
        table.rows.push_back({RegistersText(e), e.name, e.message->name, BitsText(e), scaling,
                              e.signal->problem.empty() ? RangeWithUnit(s) : "", ValueTableText(s), s.comment});
    }
    std::stable_sort(table.rows.begin(), table.rows.end(), [](const auto& a, const auto& b) {
        return std::stol(a[0]) < std::stol(b[0]);
    });
    return table;
}

bool HasMultiRegisterWrites(const SignalValues& signalValues) {
    return std::any_of(signalValues.Entries().begin(), signalValues.Entries().end(), [](const SignalValues::Entry& e) {
        return e.message->direction == FrameDirection::Transmit && e.signal->registers.size() > 1;
    });
}

std::vector<std::string> SignalCsvCells(const SignalValues& signalValues, FrameDirection direction, std::uint16_t reg) {
    std::vector<std::vector<std::string>> parts(kSignalCsvColumns);
    for (const SignalValues::Entry& e : signalValues.Entries()) {
        if (!Carries(e, direction, reg)) continue;
        const signaldb::Signal& s = e.signal->signal;
        parts[0].push_back(e.name);
        parts[1].push_back(e.signal->problem.empty() ? signaldb::ScalingText(s) : "no value: " + e.signal->problem);
        parts[2].push_back(s.unit);
        parts[3].push_back(signaldb::RangeText(s));
        parts[4].push_back(s.comment);
    }
    std::vector<std::string> cells;
    for (const auto& p : parts) cells.push_back(Joined(p, "; "));
    return cells;
}

}  // namespace vestrel::gateway
