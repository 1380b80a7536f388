#pragma once

#include "platform/result.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vestrel::gateway {
class GatewayModel;
}

// Modbus requests as the bench tools plan them and their outcomes as the
// engineer reads them. Plain data: the Qt adapter sends them.
namespace vestrel::live {

// The function codes the bench tools use.
enum class ReadFunction : std::uint8_t { HoldingRegisters = 3, InputRegisters = 4 };
enum class WriteFunction : std::uint8_t { SingleRegister = 6, MultipleRegisters = 16 };

// The most registers one request reads (03, 04) or writes (16).
inline constexpr int kMaxReadCount = 125;
inline constexpr int kMaxWriteCount = 123;

// A run of consecutive protocol addresses.
struct RegisterBlock {
    std::uint16_t start = 0;
    int count = 0;

    friend bool operator==(const RegisterBlock&, const RegisterBlock&) = default;
};

// The read requests for a set of protocol addresses: each run of consecutive
// addresses in as few requests as the limit allows, in ascending order.
// Addresses between runs are never read, since a device may refuse them.
std::vector<RegisterBlock> PlanReads(std::vector<std::uint16_t> addresses, int maxCount = kMaxReadCount);

// A write of register values, address -> value: one block per run of
// consecutive addresses.
std::vector<RegisterBlock> PlanWrites(const std::map<std::uint16_t, std::uint16_t>& values,
                                      int maxCount = kMaxWriteCount);

// What the Modbus poll starts with for a project, the Index taken as the
// protocol address: a read of the first run of receive registers and a
// write at the lowest transmit register. Address 0 and one register when
// the project names none.
struct PollDefaults {
    RegisterBlock read{0, 1};
    std::uint16_t write = 0;
};
PollDefaults PollDefaultsOf(const gateway::GatewayModel& model);

// Why a request got no value.
struct RequestFailure {
    enum class Kind {
        NoAnswer,   // the time-out ran out
        Exception,  // the device answered with an exception response
        Invalid,    // an answer that is not a valid response to the request
        Link,       // the serial port failed while the request was out
    };
    Kind kind = Kind::NoAnswer;
    int exceptionCode = 0;
    int crcErrors = 0;      // answers discarded because their CRC was wrong
    int mismatches = 0;     // answers from another address or to another request
    std::string detail;     // the port's or the library's own words
};

// "exception 02 (illegal data address)".
std::string ExceptionText(int code);

// The message for one failed request, e.g. "no answer from device 1 within
// 1000 ms" or "answer with a wrong CRC (1), then no valid answer within 200 ms".
std::string RequestFailureText(const RequestFailure& failure, int deviceAddress, int timeOutMs);

// Whether an answer is the one its request asks for, or why not. A read
// answer holds exactly the registers asked for; a write answer echoes the
// address and the value (06) or the address and the number of registers
// (16). `answer` is the answer's data after the function code.
Result<void> CheckReadAnswer(const RegisterBlock& block, std::size_t registersAnswered);
Result<void> CheckWriteAnswer(WriteFunction function, std::uint16_t address, const std::vector<std::uint16_t>& values,
                              const std::vector<std::uint8_t>& answer);

// "read holding registers (03) at protocol addresses 1-4" style names of
// requests, for messages; with a device, "... (03) from device 2 at ...".
std::string ReadRequestText(ReadFunction function, const RegisterBlock& block, int device = 0);
std::string WriteRequestText(WriteFunction function, const RegisterBlock& block, int device = 0);

}  // namespace vestrel::live
