#include "live/modbus_request.h"

#include "gateway/gateway_model.h"
#include "platform/text.h"

#include <algorithm>

namespace vestrel::live {

namespace {

std::vector<RegisterBlock> Runs(const std::vector<std::uint16_t>& sorted, int maxCount) {
    std::vector<RegisterBlock> blocks;
    for (std::uint16_t address : sorted) {
        if (!blocks.empty()) {
            RegisterBlock& last = blocks.back();
            if (last.start + last.count == address && last.count < maxCount) {
                ++last.count;
                continue;
            }
        }
        blocks.push_back(RegisterBlock{address, 1});
    }
    return blocks;
}

std::string Range(const RegisterBlock& block) {
    if (block.count == 1) return "protocol address " + std::to_string(block.start);
    return "protocol addresses " + std::to_string(block.start) + "-" + std::to_string(block.start + block.count - 1);
}

}  // namespace

std::vector<RegisterBlock> PlanReads(std::vector<std::uint16_t> addresses, int maxCount) {
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    return Runs(addresses, std::max(1, maxCount));
}

std::vector<RegisterBlock> PlanWrites(const std::map<std::uint16_t, std::uint16_t>& values, int maxCount) {
    std::vector<std::uint16_t> addresses;
    for (const auto& [address, value] : values) addresses.push_back(address);
    return Runs(addresses, std::max(1, maxCount));
}

PollDefaults PollDefaultsOf(const gateway::GatewayModel& model) {
    PollDefaults defaults;
    const std::vector<RegisterBlock> reads = PlanReads(model.ReceiveRegisters());
    if (!reads.empty()) defaults.read = reads.front();
    const auto& transmit = model.Transmit().mappings;
    const auto lowest = std::min_element(transmit.begin(), transmit.end(),
                                         [](const auto& a, const auto& b) { return a.reg < b.reg; });
    if (lowest != transmit.end()) defaults.write = lowest->reg;
    return defaults;
}

std::string ExceptionText(int code) {
    const char* name = nullptr;
    switch (code) {
        case 1: name = "illegal function"; break;
        case 2: name = "illegal data address"; break;
        case 3: name = "illegal data value"; break;
        case 4: name = "server device failure"; break;
        case 5: name = "acknowledge"; break;
        case 6: name = "server device busy"; break;
        case 8: name = "memory parity error"; break;
        case 10: name = "gateway path unavailable"; break;
        case 11: name = "gateway target device failed to respond"; break;
        default: break;
    }
    return "exception " + UpperHex(code & 0xFF, 2) + (name ? std::string(" (") + name + ")" : std::string());
}

std::string RequestFailureText(const RequestFailure& f, int deviceAddress, int timeOutMs) {
    switch (f.kind) {
        case RequestFailure::Kind::Exception:
            return "device " + std::to_string(deviceAddress) + " answered " + ExceptionText(f.exceptionCode);
        case RequestFailure::Kind::Invalid:
            return "invalid answer from device " + std::to_string(deviceAddress) +
                   (f.detail.empty() ? std::string() : ": " + f.detail);
        case RequestFailure::Kind::Link:
            return "the serial line failed: " + f.detail;
        case RequestFailure::Kind::NoAnswer: break;
    }
    std::string seen;
    if (f.crcErrors > 0) seen += Plural(f.crcErrors, "answer", "answers") + " with a wrong CRC";
    if (f.mismatches > 0) {
        if (!seen.empty()) seen += " and ";
        seen += Plural(f.mismatches, "answer", "answers") + " from another device address or to another request";
    }
    const std::string within = " within " + std::to_string(timeOutMs) + " ms";
    if (seen.empty()) return "no answer from device " + std::to_string(deviceAddress) + within;
    return seen + ", no valid answer from device " + std::to_string(deviceAddress) + within;
}

Result<void> CheckReadAnswer(const RegisterBlock& block, std::size_t registersAnswered) {
    if (registersAnswered == static_cast<std::size_t>(block.count)) return {};
    return Failure{"the answer holds " + Plural(static_cast<int>(registersAnswered), "register", "registers") + ", " +
           std::to_string(block.count) + (block.count == 1 ? " was" : " were") + " asked for"};
}

Result<void> CheckWriteAnswer(WriteFunction function, std::uint16_t address, const std::vector<std::uint16_t>& values,
                              const std::vector<std::uint8_t>& answer) {
    if (answer.size() != 4)
        return Failure{"the answer does not echo the request: it holds " +
                       Plural(static_cast<int>(answer.size()), "data byte", "data bytes")};
    const bool single = function == WriteFunction::SingleRegister;
    const int second = single ? (values.empty() ? 0 : values[0]) : static_cast<int>(values.size());
    const int echoedAddress = (answer[0] << 8) | answer[1], echoedSecond = (answer[2] << 8) | answer[3];
    if (echoedAddress == address && echoedSecond == second) return {};
    auto what = [single](int at, int n) {
        return "protocol address " + std::to_string(at) +
               (single ? " with value " + std::to_string(n) : " and " + Plural(n, "register", "registers"));
    };
    return Failure{"the answer echoes " + what(echoedAddress, echoedSecond) + ", not " + what(address, second)};
}

std::string ReadRequestText(ReadFunction function, const RegisterBlock& block, int device) {
    return std::string(function == ReadFunction::HoldingRegisters ? "read holding registers (03) "
                                                                  : "read input registers (04) ") +
           (device > 0 ? "from device " + std::to_string(device) + " " : std::string()) + "at " + Range(block);
}

std::string WriteRequestText(WriteFunction function, const RegisterBlock& block, int device) {
    return std::string(function == WriteFunction::SingleRegister ? "write single register (06) "
                                                                 : "write multiple registers (16) ") +
           (device > 0 ? "to device " + std::to_string(device) + " " : std::string()) + "at " + Range(block);
}

}  // namespace vestrel::live
