#include "signaldb/signal_database.h"

#include "platform/text.h"

#include <cmath>
#include <limits>
#include <utility>

namespace vestrel::signaldb {

namespace {

std::string ErrorText(const std::string& file, int line, const std::string& reason) {
    return line > 0 ? file + ":" + std::to_string(line) + ": " + reason : file + ": " + reason;
}

constexpr std::pair<ByteOrder, const char*> kByteOrderWords[] = {
    {ByteOrder::Intel, "Intel"},
    {ByteOrder::Motorola, "Motorola"},
};
constexpr std::pair<ValueType, const char*> kValueTypeWords[] = {
    {ValueType::Unsigned, "unsigned"},
    {ValueType::Signed, "signed"},
    {ValueType::Float32, "float"},
    {ValueType::Float64, "double"},
};

template <typename Enum, std::size_t N>
const char* WordOf(const std::pair<Enum, const char*> (&table)[N], Enum value) {
    for (const auto& [e, word] : table)
        if (e == value) return word;
    return "";
}

template <typename Enum, std::size_t N>
std::optional<Enum> EnumOf(const std::pair<Enum, const char*> (&table)[N], std::string_view word) {
    for (const auto& [e, w] : table)
        if (word == w) return e;
    return std::nullopt;
}

}  // namespace

const char* ByteOrderWord(ByteOrder order) { return WordOf(kByteOrderWords, order); }
std::optional<ByteOrder> ByteOrderOfWord(std::string_view word) { return EnumOf(kByteOrderWords, word); }
const char* ValueTypeWord(ValueType type) { return WordOf(kValueTypeWords, type); }
std::optional<ValueType> ValueTypeOfWord(std::string_view word) { return EnumOf(kValueTypeWords, word); }

std::optional<ScalingFault> ScalingFaultOf(const Signal& s) {
    constexpr const char* kNotFinite = "is not a finite number";
    if (!std::isfinite(s.factor)) return ScalingFault{ScalingPart::Factor, kNotFinite};
    if (s.factor == 0) return ScalingFault{ScalingPart::Factor, "is 0: no raw value gives a physical one"};
    if (!std::isfinite(s.offset)) return ScalingFault{ScalingPart::Offset, kNotFinite};
    if (!std::isfinite(s.minimum)) return ScalingFault{ScalingPart::Minimum, kNotFinite};
    if (!std::isfinite(s.maximum)) return ScalingFault{ScalingPart::Maximum, kNotFinite};
    return std::nullopt;
}

std::string ScalingProblem(const Signal& s) {
    const auto fault = ScalingFaultOf(s);
    if (!fault) return {};
    constexpr const char* kParts[] = {"factor", "offset", "minimum", "maximum"};
    return std::string("its ") + kParts[static_cast<int>(fault->part)] + " " + fault->reason;
}

std::string NoteText(const Database& database, const DatabaseNote& note) {
    return ErrorText(database.fileName, note.line, note.text);
}

std::size_t Database::SignalCount() const {
    std::size_t count = 0;
    for (const Message& m : messages) count += m.signalList.size();
    return count;
}

DatabaseError::DatabaseError(std::string file, int line, std::string reason)
    : Error(ErrorText(file, line, reason)), file_(std::move(file)), line_(line), reason_(std::move(reason)) {}

double RawMinimum(const Signal& signal) {
    switch (signal.type) {
        case ValueType::Unsigned: return 0;
        case ValueType::Signed: return -std::ldexp(1.0, signal.length - 1);
        case ValueType::Float32: return -static_cast<double>(std::numeric_limits<float>::max());
        case ValueType::Float64: return -std::numeric_limits<double>::max();
    }
    return 0;
}

double RawMaximum(const Signal& signal) {
    switch (signal.type) {
        case ValueType::Unsigned: return std::ldexp(1.0, signal.length) - 1;
        case ValueType::Signed: return std::ldexp(1.0, signal.length - 1) - 1;
        case ValueType::Float32: return static_cast<double>(std::numeric_limits<float>::max());
        case ValueType::Float64: return std::numeric_limits<double>::max();
    }
    return 0;
}

std::string MessageIdText(const Message& message) {
    return "0x" + UpperHex(message.id, message.extended ? 8 : 1);
}

}  // namespace vestrel::signaldb
