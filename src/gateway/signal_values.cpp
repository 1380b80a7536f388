#include "gateway/signal_values.h"

#include "platform/error.h"
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
    std::map<std::string, int> uses;
    for (const ImportedMessage& m : file_->messages)
        for (const ImportedSignal& s : m.signalList) ++uses[s.signal.name];
    for (const ImportedMessage& m : file_->messages)
        for (const ImportedSignal& s : m.signalList)
            entries_.push_back({&m, &s, uses[s.signal.name] > 1 ? m.name + "." + s.signal.name : s.signal.name});
}

const SignalValues::Entry* SignalValues::Find(FrameDirection direction, std::string_view name) const {
    for (const Entry& e : entries_)
        if (e.message->direction == direction &&
            (e.name == name || e.message->name + "." + e.signal->signal.name == name))
            return &e;
    return nullptr;
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
    return entry.name + " = " + (bits ? SignalValueText(entry.signal->signal, *bits) : std::string("?"));
}

SignalValuesLoad LoadSignalValues(const std::filesystem::path& projectDir) {
    signaldb::SignalFileRead read = signaldb::ReadSignalFile(projectDir);
    if (read.Loaded()) return {SignalValues(std::move(read.file)), {}};
    if (read.status == ProjectDocument::Status::Absent) return {};
    return {{}, read.fileName + " cannot be read, so values are shown without their signals: " + read.error};
}

void ApplySignalAssignments(const SignalValues& signalValues, const std::vector<NamedValue>& assignments,
                            RegisterValues& values, std::vector<std::string>& warnings) {
    for (const NamedValue& typed : assignments) {
        const SignalValues::Entry* entry = signalValues.Find(FrameDirection::Transmit, typed.name);
        if (!entry) {
            const bool received = signalValues.Find(FrameDirection::Receive, typed.name) != nullptr;
            throw Error(received ? typed.name + " is a signal of a frame the gateway receives, not one it transmits"
                                 : "no imported transmit signal is named " + typed.name);
        }
        const Signal& signal = entry->signal->signal;
        const signaldb::RawConversion raw = signaldb::PhysicalToRaw(signal, typed.value);
        switch (raw.outcome) {
            case signaldb::ToRaw::NotANumber:
                throw Error("the value '" + typed.value + "' of " + typed.name + " is not a number");
            case signaldb::ToRaw::OutsideRawRange:
                throw Error("the value " + typed.value + " of " + typed.name + " is outside what its " +
                            std::to_string(signal.length) + " bits hold (" +
                            signaldb::ShortestText(signaldb::RawMinimum(signal) * signal.factor + signal.offset) +
                            " to " +
                            signaldb::ShortestText(signaldb::RawMaximum(signal) * signal.factor + signal.offset) +
                            ")");
            case signaldb::ToRaw::Ok: break;
        }
        if (raw.outsideMinMax)
            warnings.push_back("the value " + typed.value + " of " + typed.name + " is outside its range " +
                               signaldb::RangeText(signal) + (signal.unit.empty() ? "" : " " + signal.unit));
        PlaceSignalBits(*entry->message, *entry->signal, raw.bits, values);
    }
}

}  // namespace vestrel::gateway
