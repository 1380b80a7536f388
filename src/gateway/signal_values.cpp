#include "gateway/signal_values.h"

#include "platform/error.h"
#include "platform/text.h"
#include "signaldb/physical_value.h"
#include "signaldb/signal_codec.h"

#include <algorithm>

namespace vestrel::gateway {

using signaldb::Signal;
using signaldb::ValueType;
using signaldb::WordOrder;

namespace {

// How far up the joined words register k of n sits: high-first lists the
// most significant word first.
int WordShift(WordOrder order, std::size_t k, std::size_t n) {
    return 16 * static_cast<int>(order == WordOrder::HighFirst ? n - 1 - k : k);
}

}  // namespace

std::optional<std::uint64_t> ReadSignalBits(const ImportedMessage& message, const ImportedSignal& signal,
                                            const RegisterLookup& registers) {
    const std::size_t n = signal.registers.size();
    if (n == 0 || n > 4) return std::nullopt;
    std::uint64_t value = 0;
    std::uint64_t known = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const RegisterValue reg = registers(signal.registers[k]);
        const int shift = WordShift(message.order, k, n);
        value |= std::uint64_t{reg.bits} << shift;
        known |= std::uint64_t{(reg.highKnown ? 0xFF00u : 0u) | (reg.lowKnown ? 0xFFu : 0u)} << shift;
    }
    if (signal.shift < 0 || signal.shift >= 64) return std::nullopt;
    if ((known >> signal.shift & signal.mask) != signal.mask) return std::nullopt;
    return value >> signal.shift & signal.mask;
}

void PlaceSignalBits(const ImportedMessage& message, const ImportedSignal& signal, std::uint64_t bits,
                     RegisterValues& values) {
    const std::size_t n = signal.registers.size();
    if (n == 0 || n > 4 || signal.shift < 0 || signal.shift >= 64) return;
    const std::uint64_t mask = signal.mask << signal.shift;
    const std::uint64_t placed = (bits & signal.mask) << signal.shift;
    for (std::size_t k = 0; k < n; ++k) {
        const int shift = WordShift(message.order, k, n);
        const auto wordMask = static_cast<std::uint16_t>(mask >> shift);
        if (wordMask == 0) continue;
        const auto reg = static_cast<std::uint16_t>(signal.registers[k]);
        const std::uint16_t held = values.count(reg) ? values[reg] : 0;
        values[reg] = static_cast<std::uint16_t>((held & ~wordMask) | (static_cast<std::uint16_t>(placed >> shift) & wordMask));
    }
}

SignalValues::SignalValues(SignalFile file) : file_(std::make_unique<SignalFile>(std::move(file))) {
    std::vector<std::string> names = signaldb::ShownSignalNames(*file_);
    std::size_t i = 0;
    for (const ImportedMessage& m : file_->messages)
        for (const ImportedSignal& s : m.signalList) entries_.push_back({&m, &s, std::move(names[i++])});
}

Result<const SignalValues::Entry*> SignalValues::Find(FrameDirection direction, std::string_view name) const {
    if (!file_) return Failure{"no imported signal is named " + std::string(name)};
    const Result<signaldb::SignalRef> found = signaldb::FindSignal(*file_, direction, name);
    if (!found) return Failure{found.Why()};
    for (const Entry& e : entries_)
        if (e.signal == found->signal) return &e;
    return Failure{"no imported signal is named " + std::string(name)};
}

std::vector<const SignalValues::Entry*> SignalValues::ShownAt(FrameDirection direction, std::int32_t index) const {
    std::vector<const Entry*> shown;
    for (const Entry& e : entries_)
        if (e.message->direction == direction && !e.signal->registers.empty() && e.signal->registers.front() == index)
            shown.push_back(&e);
    return shown;
}

std::string SignalValues::RegisterNote(FrameDirection direction, std::int32_t index,
                                       const RegisterLookup& registers) const {
    std::string note;
    for (const Entry* e : ShownAt(direction, index)) {
        if (!note.empty()) note += ", ";
        note += SignalReadingText(*e, ReadSignalBits(*e->message, *e->signal, registers));
    }
    return note;
}

std::string SignalValueText(const Signal& signal, std::uint64_t bits) {
    std::string text = signaldb::PhysicalText(signal, bits);
    if (!signal.unit.empty()) text += " " + signal.unit;
    if (signal.type == ValueType::Unsigned || signal.type == ValueType::Signed) {
        const std::int64_t raw = signal.type == ValueType::Signed ? signaldb::SignExtend(bits, signal.length)
                                                                  : static_cast<std::int64_t>(bits);
        const auto named = std::find_if(signal.values.begin(), signal.values.end(),
                                        [&](const signaldb::ValueName& v) { return v.value == raw; });
        if (named != signal.values.end()) text += " \"" + named->text + "\"";
    }
    return text;
}

std::string SignalReadingText(const SignalValues::Entry& entry, const std::optional<std::uint64_t>& bits) {
    if (!entry.signal->problem.empty()) return entry.name + ": no value (" + entry.signal->problem + ")";
    return entry.name + " = " + (bits ? SignalValueText(entry.signal->signal, *bits) : std::string("?"));
}

SignalValuesLoad LoadSignalValues(const std::filesystem::path& projectDir) {
    signaldb::SignalFileRead read = signaldb::ReadSignalFile(projectDir);
    if (read.status == ProjectDocument::Status::Absent) return {};
    if (!read.Loaded())
        return {{}, read.fileName + " cannot be read, so values are shown without their signals: " + read.error, {}};
    SignalValuesLoad load{SignalValues(std::move(read.file)), {}, {}};
    for (const SignalValues::Entry& e : load.signalValues.Entries())
        if (!e.signal->problem.empty())
            load.notes.push_back(read.fileName + ": " + e.message->name + "." + e.signal->signal.name +
                                 " is shown without a value: " + e.signal->problem);
    return load;
}

Result<void> ApplySignalAssignments(const SignalValues& signalValues, const std::vector<NamedValue>& assignments,
                                    RegisterValues& values, std::vector<std::string>& warnings) {
    for (const NamedValue& typed : assignments) {
        const Result<const SignalValues::Entry*> entry = signalValues.Find(FrameDirection::Transmit, typed.name);
        if (!entry) return Failure{entry.Why()};
        const ImportedSignal& imported = *(*entry)->signal;
        if (!imported.problem.empty()) return Failure{typed.name + " takes no value: " + imported.problem};
        const Signal& signal = imported.signal;
        const signaldb::RawConversion raw = signaldb::PhysicalToRaw(signal, typed.value);
        switch (raw.outcome) {
            case signaldb::ToRaw::NotANumber:
                return Failure{"the value '" + typed.value + "' of " + typed.name + " is not a number"};
            case signaldb::ToRaw::OutsideRawRange:
                return Failure{"the value " + typed.value + " of " + typed.name + " is outside what its " +
                               std::to_string(signal.length) + " bits hold (" + signaldb::PhysicalLimitText(signal, false) +
                               " to " + signaldb::PhysicalLimitText(signal, true) + ")"};
            case signaldb::ToRaw::Ok: break;
        }
        if (raw.outsideMinMax)
            warnings.push_back("the value " + typed.value + " of " + typed.name + " is outside its range " +
                               signaldb::RangeText(signal) + (signal.unit.empty() ? "" : " " + signal.unit));
        PlaceSignalBits(*(*entry)->message, imported, raw.bits, values);
    }
    return {};
}

std::vector<std::string> PartialSignalWrites(const SignalValues& signalValues, const RegisterValues& written) {
    std::vector<std::string> texts;
    for (const SignalValues::Entry& e : signalValues.Entries()) {
        const std::vector<std::int32_t>& registers = e.signal->registers;
        if (e.message->direction != FrameDirection::Transmit || registers.size() < 2) continue;
        std::vector<std::string> given, all;
        for (std::int32_t reg : registers) {
            all.push_back(std::to_string(reg));
            if (written.count(static_cast<std::uint16_t>(reg))) given.push_back(std::to_string(reg));
        }
        if (given.empty() || given.size() == registers.size()) continue;
        texts.push_back(std::string(given.size() == 1 ? "register " : "registers ") + JoinedWithAnd(given) +
                        (given.size() == 1 ? " is" : " are") + " of the " + std::to_string(registers.size()) +
                        " registers of " + e.name + " (" + JoinedWithAnd(all) +
                        "): a write of some of them sends its frame with the others as they were; write all in one "
                        "function 16 request");
    }
    return texts;
}

}  // namespace vestrel::gateway
