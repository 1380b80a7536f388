#include "live/bench_tables.h"

#include "gateway/model_wording.h"
#include "live/bus_monitor.h"
#include "live/receive_verifier.h"
#include "live/verify_report.h"
#include "platform/text.h"

#include <cstdio>

namespace vestrel::live {

namespace {

std::string RateText(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", rate);
    return text;
}

// The read values a signal beside register `reg` may take its other
// registers from.
gateway::RegisterLookup ReadFrom(const std::vector<RegisterCheck>& checks) {
    return [&checks](std::int32_t r) {
        for (const RegisterCheck& other : checks)
            if (other.index == r && other.read) return gateway::RegisterValue{*other.read, true, true};
        return gateway::RegisterValue{};
    };
}

std::string ResultText(const RegisterCheck& c, const gateway::RegisterTable& table) {
    if (!StillCurrent(c, table)) return OutOfDateText(c, table);
    std::string result = VerdictName(c.verdict);
    switch (c.verdict) {
        case Verdict::Mismatch: return result + " (expected " + gateway::RegisterValueText(c.expected) + ")";
        case Verdict::Error: return result + ": " + c.error;
        case Verdict::NotFed: return result + ": no frame has fed it, not checked";
        case Verdict::Ok: break;
    }
    return result;
}

}  // namespace

std::string MonitorDataText(const can::CanFrame& frame) {
    if (frame.error) return "error frame";
    if (frame.remote) return "remote request [" + std::to_string(frame.length) + "]";
    std::string text = (frame.fd ? "CAN FD [" : "[") + std::to_string(frame.length) + "]";
    for (int i = 0; i < frame.length; ++i) {
        text += ' ';
        text += UpperHex(frame.data[static_cast<std::size_t>(i)], 2);
    }
    return text;
}

TextTable MonitorTable(const BusMonitor* monitor, const gateway::SignalValues* meanings, std::int64_t now) {
    TextTable table{{"COB-ID", "Count", "Rate /s", "Last data", "In the project", "Registers now"}, {}};
    if (!monitor) return table;
    for (const MonitorEntry& e : monitor->Entries()) {
        const bool odd = BusMonitor::StandsOut(e);
        table.rows.push_back({{e.error ? "error" : can::BusIdText(e.id, e.extended), odd},
                              {std::to_string(e.count), odd},
                              {RateText(BusMonitor::Rate(e, now)), odd},
                              {MonitorDataText(e.last), odd},
                              {monitor->RoleText(e), odd},
                              {monitor->RegistersText(e, meanings), odd}});
    }
    if (monitor->Unlisted() > 0)
        table.rows.push_back({{"more", true},
                              {std::to_string(monitor->Unlisted()), true},
                              {},
                              {},
                              {"identifiers in no frame table beyond the first " +
                                   std::to_string(BusMonitor::kMaxOtherEntries) + ": counted, not listed",
                               true},
                              {}});
    return table;
}

TextTable ReadValuesTable(RegisterBlock block, const std::vector<std::uint16_t>& values, Numbering n,
                          const gateway::SignalValues* meanings) {
    TextTable table{{"Register", "Protocol address", "Hex", "Decimal", "Signals"}, {}};
    auto read = [&](std::int32_t reg) {
        const long at = reg - static_cast<long>(block.start);
        return at >= 0 && at < static_cast<long>(values.size())
                   ? gateway::RegisterValue{values[static_cast<std::size_t>(at)], true, true}
                   : gateway::RegisterValue{};
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto address = static_cast<std::uint16_t>(block.start + i);
        table.rows.push_back({{std::to_string(NumberOf(address, n))},
                              {std::to_string(address)},
                              {gateway::RegisterValueText(values[i])},
                              {std::to_string(values[i])},
                              {meanings ? meanings->RegisterNote(FrameDirection::Receive, address, read) : ""}});
    }
    return table;
}

TextTable ExpectedTable(const gateway::GatewayModel* model, const gateway::RegisterTable* registers, Numbering n,
                        const std::vector<RegisterCheck>* checks, const gateway::SignalValues* meanings) {
    TextTable table{{"Register", "Protocol address", "Expected", "Read", "Result", "Signals"}, {}};
    if (!model || !registers) return table;
    const std::vector<std::uint16_t>& receive = model->ReceiveRegisters();
    if (checks && checks->size() != receive.size()) checks = nullptr;
    const gateway::RegisterLookup expected = [registers](std::int32_t r) {
        return registers->Value(static_cast<std::uint16_t>(r));
    };
    for (std::size_t i = 0; i < receive.size(); ++i) {
        const std::uint16_t reg = receive[i];
        const auto address = AddressOf(reg, n);
        TextRow row{{std::to_string(reg)},
                    {address ? std::to_string(*address) : "-"},
                    {gateway::RegisterValueText(registers->Value(reg))}};
        if (!checks) {
            row.insert(row.end(), {{}, {}, {meanings ? SignalsBeside(*meanings, reg, expected, {}) : ""}});
        } else {
            const RegisterCheck& c = (*checks)[i];
            const bool bad =
                StillCurrent(c, *registers) && (c.verdict == Verdict::Mismatch || c.verdict == Verdict::Error);
            row.insert(row.end(),
                       {{c.read ? gateway::RegisterValueText(*c.read) : "-", bad},
                        {ResultText(c, *registers), bad},
                        {meanings ? SignalsBeside(*meanings, reg, expected, ReadFrom(*checks)) : "", bad}});
        }
        table.rows.push_back(std::move(row));
    }
    return table;
}

}  // namespace vestrel::live
