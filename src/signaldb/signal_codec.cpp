#include "signaldb/signal_codec.h"

#include <bit>
#include <charconv>
#include <cmath>

namespace vestrel::signaldb {

int FrameBitOf(const Signal& signal, int i) {
    if (signal.order == ByteOrder::Intel) return signal.startBit + i;
    return SawtoothBit(SawtoothBit(signal.startBit) + signal.length - 1 - i);
}

int FirstByte(const Signal& signal) { return signal.startBit / 8; }

int LastByte(const Signal& signal) {
    if (signal.order == ByteOrder::Intel) return (signal.startBit + signal.length - 1) / 8;
    return (SawtoothBit(signal.startBit) + signal.length - 1) / 8;
}

bool FitsIn(const Signal& signal, int bytes) {
    if (signal.length < 1 || signal.startBit < 0 || signal.startBit >= bytes * 8) return false;
    return LastByte(signal) < bytes;
}

std::uint64_t LowBits(int length) { return length >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << length) - 1; }

std::uint64_t ExtractBits(const Signal& signal, std::span<const std::uint8_t> data) {
    std::uint64_t bits = 0;
    for (int i = 0; i < signal.length; ++i) {
        const int at = FrameBitOf(signal, i);
        if (data[static_cast<std::size_t>(at / 8)] >> (at % 8) & 1u) bits |= std::uint64_t{1} << i;
    }
    return bits;
}

void InsertBits(const Signal& signal, std::uint64_t bits, std::span<std::uint8_t> data) {
    for (int i = 0; i < signal.length; ++i) {
        const int at = FrameBitOf(signal, i);
        auto& byte = data[static_cast<std::size_t>(at / 8)];
        const auto mask = static_cast<std::uint8_t>(1u << (at % 8));
        byte = static_cast<std::uint8_t>((bits >> i & 1u) ? (byte | mask) : (byte & ~mask));
    }
}

std::int64_t SignExtend(std::uint64_t bits, int length) {
    bits &= LowBits(length);
    if (length < 64 && (bits >> (length - 1) & 1u)) bits |= ~LowBits(length);
    return static_cast<std::int64_t>(bits);
}

double RawNumber(const Signal& signal, std::uint64_t bits) {
    switch (signal.type) {
        case ValueType::Unsigned: return static_cast<double>(bits & LowBits(signal.length));
        case ValueType::Signed: return static_cast<double>(SignExtend(bits, signal.length));
        case ValueType::Float32: return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
        case ValueType::Float64: return std::bit_cast<double>(bits);
    }
    return 0;
}

std::string RawText(const Signal& signal, std::uint64_t bits) {
    char text[40];
    std::to_chars_result r{};
    switch (signal.type) {
        case ValueType::Unsigned: r = std::to_chars(text, text + sizeof text, bits & LowBits(signal.length)); break;
        case ValueType::Signed: r = std::to_chars(text, text + sizeof text, SignExtend(bits, signal.length)); break;
        case ValueType::Float32:
            r = std::to_chars(text, text + sizeof text, std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
            break;
        case ValueType::Float64: r = std::to_chars(text, text + sizeof text, std::bit_cast<double>(bits)); break;
    }
    return std::string(text, r.ptr);
}

double PhysicalValue(const Signal& signal, std::uint64_t bits) {
    return RawNumber(signal, bits) * signal.factor + signal.offset;
}

std::optional<std::uint64_t> BitsOfInteger(const Signal& signal, std::int64_t raw) {
    if (raw >= 0) return BitsOfUnsigned(signal, static_cast<std::uint64_t>(raw));
    if (signal.type != ValueType::Signed) return std::nullopt;
    if (signal.length < 64 && raw < -(std::int64_t{1} << (signal.length - 1))) return std::nullopt;
    return static_cast<std::uint64_t>(raw) & LowBits(signal.length);
}

std::optional<std::uint64_t> BitsOfUnsigned(const Signal& signal, std::uint64_t raw) {
    if (signal.type == ValueType::Float32 || signal.type == ValueType::Float64) return std::nullopt;
    const int valueBits = signal.type == ValueType::Signed ? signal.length - 1 : signal.length;
    if (valueBits < 64 && raw > LowBits(valueBits)) return std::nullopt;
    return raw;
}

std::uint64_t BitsOfFloat(const Signal& signal, double raw) {
    if (signal.type == ValueType::Float32) return std::bit_cast<std::uint32_t>(static_cast<float>(raw));
    return std::bit_cast<std::uint64_t>(raw);
}

}  // namespace vestrel::signaldb
