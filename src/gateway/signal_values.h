#pragma once

#include "gateway/gateway_model.h"
#include "gateway/register_values.h"
#include "platform/result.h"
#include "signaldb/signal_file.h"
#include "signaldb/signal_names.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The physical values behind register values: what the signals an import
// recorded in signals.xml read from the registers the gateway fills, and the
// register values that give a physical value. Preview, replay, the report,
// verify and the bench all read signals through this one place.
namespace vestrel::gateway {

using signaldb::ImportedMessage;
using signaldb::ImportedSignal;
using signaldb::NamedValue;
using signaldb::SignalFile;

// The halves known of a register number of one direction.
using RegisterLookup = std::function<RegisterValue(std::int32_t index)>;

// The signal's raw bits from its registers' words, joined as the message's
// word order says (high-first: the first listed is the most significant),
// from `shift` on and masked; nothing unless every bit of the signal is
// known, the bits of a half no frame has fed being unknown.
std::optional<std::uint64_t> ReadSignalBits(const ImportedMessage& message, const ImportedSignal& signal,
                                            const RegisterLookup& registers);

// The register words that carry `bits` for the signal, in the order of its
// registers, merged into `values` (bits outside the signal's keep what the
// register held, 0 where it held nothing).
void PlaceSignalBits(const ImportedMessage& message, const ImportedSignal& signal, std::uint64_t bits,
                     RegisterValues& values);

// The signals of a project, each with the name it is shown with.
class SignalValues {
public:
    struct Entry {
        const ImportedMessage* message = nullptr;
        const ImportedSignal* signal = nullptr;
        // The signal's name, or MESSAGE.SIGNAL where the project has another
        // signal of that name (ShownSignalNames). As the file holds it, not
        // escaped.
        std::string name;
    };

    SignalValues() = default;
    explicit SignalValues(SignalFile file);

    bool Empty() const { return entries_.empty(); }
    const std::vector<Entry>& Entries() const { return entries_; }
    const SignalFile& File() const { return *file_; }

    // The signal typed as NAME or MESSAGE.SIGNAL in `direction`, or why
    // there is none (FindSignal).
    Result<const Entry*> Find(FrameDirection direction, std::string_view name) const;

    // The signals shown on the line of a register: those whose first
    // register it is, so that a signal over several registers is shown
    // once, whole.
    std::vector<const Entry*> ShownAt(FrameDirection direction, std::int32_t index) const;

    // "A = 1.5 A, B = 0", the signals ShownAt the register with the values
    // the lookup gives; a value with any bit not known is "NAME = ?", a
    // signal whose scaling cannot be used "NAME: no value (WHY)". Empty when
    // no signal is shown there. Names and units as the file holds them.
    std::string RegisterNote(FrameDirection direction, std::int32_t index, const RegisterLookup& registers) const;

private:
    std::unique_ptr<SignalFile> file_;
    std::vector<Entry> entries_;
};

// "12.5 A", "-3", "2 \"overvoltage\"" where the value table names the raw
// value: the physical value as the user reads it.
std::string SignalValueText(const signaldb::Signal& signal, std::uint64_t bits);

// "NAME = VALUE" for a reading, "NAME = ?" for none, "NAME: no value (WHY)"
// for a signal whose scaling cannot be used.
std::string SignalReadingText(const SignalValues::Entry& entry, const std::optional<std::uint64_t>& bits);

// The signals of the project folder's signals.xml: none where there is no
// file; none and the reason where it cannot be read (the values are then
// shown as registers only); a note for each signal that has no value and why.
struct SignalValuesLoad {
    SignalValues signalValues;
    std::string problem;
    std::vector<std::string> notes;
};
SignalValuesLoad LoadSignalValues(const std::filesystem::path& projectDir);

// The register values that give the typed transmit signals' physical values,
// merged over `values`; each value outside its signal's minimum..maximum
// adds a warning. The reason, for the first signal that cannot be named (as
// FindSignal says), has no value, or takes no such value: one that is not
// a number or that the signal's bits cannot hold (their limits printed
// exactly).
Result<void> ApplySignalAssignments(const SignalValues& signalValues, const std::vector<NamedValue>& assignments,
                                    RegisterValues& values, std::vector<std::string>& warnings);

// What a write of `written` (register -> value) does to the transmit
// signals over two or more registers that it gives only some registers of:
// "register 100 is one of the 2 registers of Speed (100, 101): a write of
// some of them sends a frame with the others as they were; write all in one
// function 16 request". One text per such signal.
std::vector<std::string> PartialSignalWrites(const SignalValues& signalValues, const RegisterValues& written);

}  // namespace vestrel::gateway
