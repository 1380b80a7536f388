#pragma once

#include "gateway/signal_values.h"
#include "live/modbus_request.h"
#include "live/receive_verifier.h"
#include "live/transmit_verifier.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// The text of a bench check, as vestrel-cli verify prints it and the
// expected-against-read window sums it up, and whether it passed.
namespace vestrel::live {

// The steps of a bench check, for the test seam of vestrel-cli verify.
enum class VerifyStep {
    Listening,  // both interfaces are open; the frames on the bus are being counted
    Polling,    // listening has ended; the receive registers are being read
    Writing,    // the transmit check's writes go out
};

// One write of the transmit check and what appeared on the bus after it.
struct WriteCheck {
    gateway::RegisterValues values;  // register number (Index) -> value
    RegisterBlock block;             // the protocol addresses written
    WriteFunction function = WriteFunction::SingleRegister;
    std::string error;               // the request's failure, empty when the device took the write
    std::unique_ptr<TransmitVerifier> frames;
};

struct VerifyTally {
    int ok = 0;
    int mismatch = 0;
    int notFed = 0;
    int error = 0;
    int framesOk = 0;
    int framesBad = 0;  // not seen or different
    int writeErrors = 0;
    int outOfDate = 0;  // checks made against an expectation the traffic has changed since
};

// The tally of the checks; with a table, checks that are no longer current
// (StillCurrent) count as out of date, not by their verdict.
VerifyTally Tally(const std::vector<RegisterCheck>& checks, const std::vector<WriteCheck>& writes,
                  const gateway::RegisterTable* now = nullptr);

// Passed when every compared register agrees, no request failed, every
// expected transmit frame appeared with its bytes, no check is out of date,
// and at least one register or frame was compared at all. With `strict` a
// register that no frame fed fails the check as well.
bool Passed(const VerifyTally& tally, bool strict);

// The signals of receive register `index` as expected and as read: "A = 1"
// where both agree (or nothing was read: `read` empty), "expected: A = 1;
// read: A = 2" where they differ; empty when no signal is shown there.
std::string SignalsBeside(const gateway::SignalValues& meanings, std::uint16_t index,
                          const gateway::RegisterLookup& expected, const gateway::RegisterLookup& read);

// The table of receive registers: a heading that says which numbering the
// Index is taken in and which function read it, then one line per register:
// register, protocol address, expected, read, verdict (with the error, or
// which half was compared). With signal values, a register that signals
// were imported into ends with their physical values: expected, and read
// where it differs ("  MotorCurrent = 40.0 A", "  expected: A = 1; read: A = 2").
// A register that is also a transmit register (`shared`, ascending) says so.
std::vector<std::string> ReceiveLines(const std::vector<RegisterCheck>& checks, Numbering indexNumbering,
                                      ReadFunction function, const gateway::SignalValues* signalValues = nullptr,
                                      std::span<const std::uint16_t> shared = {});

// One block per write: the request and its outcome, then the frames; a
// written register that is also a receive register (`shared`) says so.
std::vector<std::string> WriteLines(const std::vector<WriteCheck>& writes, int frameWaitMs,
                                    std::span<const std::uint16_t> shared = {});

// "Summary: 7 registers OK, 0 MISMATCH, ...", then "PASS", "FAIL" with why,
// or "OUT OF DATE" when nothing failed but some checks are out of date.
std::vector<std::string> SummaryLines(const VerifyTally& tally, bool strict);

}  // namespace vestrel::live
