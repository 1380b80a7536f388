#include "signaldb/signal_database.h"

#include "platform/text.h"

#include <cmath>
#include <limits>

namespace vestrel::signaldb {

namespace {

std::string ErrorText(const std::string& file, int line, const std::string& reason) {
    return line > 0 ? file + ":" + std::to_string(line) + ": " + reason : file + ": " + reason;
}

}  // namespace

const char* FormatName(DatabaseFormat format) {
    switch (format) {
        case DatabaseFormat::Dbc: return "DBC";
        case DatabaseFormat::Eds: return "EDS";
        case DatabaseFormat::Dcf: return "DCF";
    }
    return "?";
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
