#pragma once

#include "signaldb/signal_database.h"

#include <cstdint>
#include <span>
#include <string>

// Where a signal's bits lie in a frame's data, and what they mean. The bits
// of a signal are handled as an unsigned integer of `length` bits, least
// significant bit first ("raw bits"); the raw value is that integer read as
// unsigned, two's complement or IEEE float, and the physical value is
// raw × factor + offset.
namespace vestrel::signaldb {

// The other numbering of a byte's bits (7 - k within the byte): Motorola
// signals run along it without a break from one byte to the next.
constexpr int SawtoothBit(int bit) { return (bit & ~7) + 7 - (bit & 7); }

// The frame bit (8n + k: bit k of data byte n) that holds bit `i` of the
// signal's raw bits (0 = least significant).
int FrameBitOf(const Signal& signal, int i);

// The first and last data byte the signal touches.
int FirstByte(const Signal& signal);
int LastByte(const Signal& signal);

// Whether every bit of the signal lies within `bytes` data bytes.
bool FitsIn(const Signal& signal, int bytes);

// The raw bits from frame data; the signal must fit in `data`.
std::uint64_t ExtractBits(const Signal& signal, std::span<const std::uint8_t> data);
// Sets the signal's bits in `data` to `bits` (the low `length` bits count),
// leaving the other bits as they are; the signal must fit in `data`.
void InsertBits(const Signal& signal, std::uint64_t bits, std::span<std::uint8_t> data);

// The low `length` bits as a two's complement number.
std::int64_t SignExtend(std::uint64_t bits, int length);
std::uint64_t LowBits(int length);  // a mask of the low `length` bits (1 to 64)

// The raw value: exact integer text ("-12", "65535") or the shortest text
// that reads back as the same float ("3.25", "nan").
std::string RawText(const Signal& signal, std::uint64_t bits);
double RawNumber(const Signal& signal, std::uint64_t bits);
double PhysicalValue(const Signal& signal, std::uint64_t bits);

// The raw bits of an integer raw value, or of a float one for float types;
// nothing when the value is outside what the signal's bits hold.
std::optional<std::uint64_t> BitsOfInteger(const Signal& signal, std::int64_t raw);
std::optional<std::uint64_t> BitsOfUnsigned(const Signal& signal, std::uint64_t raw);
std::uint64_t BitsOfFloat(const Signal& signal, double raw);

}  // namespace vestrel::signaldb
