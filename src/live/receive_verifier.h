#pragma once

#include "gateway/register_table.h"
#include "live/modbus_request.h"
#include "live/register_numbering.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Expected against read for the receive direction: every register that a
// receive mapping feeds, the value the model holds from the traffic seen and
// the value the device answers. The Qt side only carries the requests.
namespace vestrel::live {

enum class Verdict { Ok, Mismatch, NotFed, Error };

// "OK", "MISMATCH", "NOT FED", "ERROR".
const char* VerdictName(Verdict verdict);

struct RegisterCheck {
    std::uint16_t index = 0;                // the register number of the mapping (Index)
    std::optional<std::uint16_t> address;   // its protocol address; none when the numbering gives none
    gateway::RegisterValue expected;        // the model's value the read was compared with
    std::optional<std::uint16_t> read;
    std::string error;                      // why there is no read value
    Verdict verdict = Verdict::NotFed;
    bool readTwice = false;                 // the first read differed and the register was read again
};

// Whether `read` equals `expected` in every half the model knows.
bool Agrees(const gateway::RegisterValue& expected, std::uint16_t read);

// Whether a check still stands: the table now expects of the register what
// the check was made against. Once the traffic (or a cleared monitor) has
// changed that, the check says nothing about the device any more.
bool StillCurrent(const RegisterCheck& check, const gateway::RegisterTable& table);

// "OUT OF DATE: compared with 0x0003, the traffic now gives 0x0004".
std::string OutOfDateText(const RegisterCheck& check, const gateway::RegisterTable& table);

// Reads the fed registers in as few requests as possible and compares each
// answer with the model as it stood when the request went out and when the
// answer came, so that a frame arriving in between does not make a
// difference. A register that still differs is read once more after all
// others, since the device may still have been applying a frame; only the
// second answer counts then.
class ReceiveVerifier {
public:
    ReceiveVerifier(const gateway::GatewayModel& model, Numbering indexNumbering);

    // Takes the registers from the table as it stands: those with a known
    // half are read, the others are NOT FED and not read.
    void Begin(const gateway::RegisterTable& table);
    // The next request, or nothing when every register has its verdict.
    std::optional<RegisterBlock> NextRequest(const gateway::RegisterTable& table);
    // The answer to the request NextRequest gave last.
    void OnValues(const gateway::RegisterTable& table, const std::vector<std::uint16_t>& values);
    void OnFailure(const std::string& error);

    const std::vector<RegisterCheck>& Checks() const { return checks_; }

private:
    RegisterCheck* CheckAt(std::uint16_t address);
    void QueueReads(bool mismatchesOnly);

    const gateway::GatewayModel& model_;
    Numbering numbering_;
    std::vector<RegisterCheck> checks_;
    std::map<std::uint16_t, std::size_t> byAddress_;  // protocol address -> check
    std::vector<RegisterBlock> pending_;
    bool retrying_ = false;
    std::optional<RegisterBlock> current_;
    std::vector<gateway::RegisterValue> atRequest_;  // per address of the current request
};

}  // namespace vestrel::live
