// The physical values behind registers: a signal is shown only once every
// bit of it is known, signed values are sign-extended whatever their length,
// and typed values become register values or say why not.
#include "gateway/signal_values.h"
#include "signaldb/signal_codec.h"

#include <gtest/gtest.h>

namespace vestrel::gateway {
namespace {

using signaldb::ValueType;

ImportedSignal MakeSignal(const char* name, int length, ValueType type, std::vector<std::int32_t> registers,
                          int shift = 0) {
    ImportedSignal s;
    s.signal.name = name;
    s.signal.length = length;
    s.signal.type = type;
    s.registers = std::move(registers);
    s.shift = shift;
    s.mask = signaldb::LowBits(length);
    return s;
}

// Receive: a 32-bit signal in registers 10 and 11 (high word first), a byte
// in the low half of 12, four bits from bit 4 of 13. Transmit: a signed
// 32-bit velocity in 100 and 101, a signed 64-bit value in 102-105, an
// unsigned 64-bit one in 106-109, a signed 16-bit one scaled by 0.1 in 110,
// and one whose factor no reader takes in 111.
SignalValues Sample() {
    SignalFile file;
    ImportedMessage r;
    r.name = "Status";
    r.signalList = {MakeSignal("Count", 32, ValueType::Signed, {10, 11}), MakeSignal("Byte", 8, ValueType::Unsigned, {12}),
                    MakeSignal("Nibble", 4, ValueType::Unsigned, {13}, 4)};
    ImportedMessage t;
    t.name = "Command";
    t.direction = FrameDirection::Transmit;
    t.signalList = {MakeSignal("Target velocity", 32, ValueType::Signed, {100, 101}),
                    MakeSignal("Big", 64, ValueType::Signed, {102, 103, 104, 105}),
                    MakeSignal("Huge", 64, ValueType::Unsigned, {106, 107, 108, 109}),
                    MakeSignal("Torque", 16, ValueType::Signed, {110}), MakeSignal("Broken", 8, ValueType::Unsigned, {111})};
    t.signalList[3].signal.factor = 0.1;
    t.signalList[4].problem = "Factor 'nan' is not a finite number";
    file.messages = {r, t};
    return SignalValues(std::move(file));
}

struct Halves {
    std::uint16_t bits;
    bool high, low;
};

TEST(SignalValues, ASignalIsShownOnlyWhenEveryBitOfItIsKnown) {
    const SignalValues values = Sample();
    const struct {
        std::map<std::int32_t, Halves> registers;
        std::int32_t at;
        const char* note;
    } kCases[] = {
        {{{10, {0xFFFF, true, true}}, {11, {0xFFFE, true, true}}}, 10, "Count = -2"},
        {{{10, {0x0001, true, true}}, {11, {0x0000, true, false}}}, 10, "Count = ?"},
        {{{10, {0x0001, false, true}}, {11, {0x0000, true, true}}}, 10, "Count = ?"},
        {{{12, {0x00AB, false, true}}}, 12, "Byte = 171"},  // its half alone counts
        {{{12, {0xAB00, true, false}}}, 12, "Byte = ?"},
        {{{13, {0x00F0, false, true}}}, 13, "Nibble = 15"},
        {{{13, {0x00F0, true, false}}}, 13, "Nibble = ?"},
        {{}, 11, ""},  // shown once, on its first register
    };
    for (const auto& c : kCases) {
        const RegisterLookup lookup = [&](std::int32_t index) {
            const auto it = c.registers.find(index);
            return it == c.registers.end() ? RegisterValue{} : RegisterValue{it->second.bits, it->second.high, it->second.low};
        };
        const FrameDirection d = c.at >= 100 ? FrameDirection::Transmit : FrameDirection::Receive;
        EXPECT_EQ(values.RegisterNote(d, c.at, lookup), c.note) << c.note;
    }
    EXPECT_EQ(values.RegisterNote(FrameDirection::Transmit, 111, [](std::int32_t) { return RegisterValue{}; }),
              "Broken: no value (Factor 'nan' is not a finite number)");
}

// Signed values of every length are sign-extended from their own top bit.
TEST(SignalValues, SignedValuesOf32BitsAndMoreAreSignExtended) {
    const struct {
        int length;
        std::uint64_t bits;
        const char* text;
    } kCases[] = {
        {32, 0xFFFFFFFF, "-1"},
        {32, 0x80000000, "-2147483648"},
        {32, 0x7FFFFFFF, "2147483647"},
        {40, 0xFFFFFFFFFF, "-1"},
        {40, 0x8000000000, "-549755813888"},
        {48, 0x800000000001, "-140737488355327"},
        {63, 0x4000000000000000, "-4611686018427387904"},
        {64, 0xFFFFFFFFFFFFFFFF, "-1"},
        {64, 0x8000000000000000, "-9223372036854775808"},
    };
    for (const auto& c : kCases) {
        signaldb::Signal s;
        s.length = c.length;
        s.type = ValueType::Signed;
        EXPECT_EQ(SignalValueText(s, c.bits), c.text) << c.length;
    }
    // From registers: four words of ones are -1, high word first or last.
    const SignalValues values = Sample();
    const auto& big = values.Entries()[4];
    for (signaldb::WordOrder order : {signaldb::WordOrder::HighFirst, signaldb::WordOrder::LowFirst}) {
        ImportedMessage m = *big.message;
        m.order = order;
        const auto bits = ReadSignalBits(m, *big.signal, [](std::int32_t) { return RegisterValue{0xFFFF, true, true}; });
        ASSERT_TRUE(bits);
        EXPECT_EQ(SignalValueText(big.signal->signal, *bits), "-1");
    }
}

// Typed physical values into register values, or the reason; the limits of
// what a signal's bits hold are printed exactly.
TEST(SignalValues, TypedValuesGiveRegistersOrSayWhyNot) {
    const SignalValues values = Sample();
    const struct {
        const char* name;
        const char* value;
        std::string outcome;  // the registers given, or the reason
    } kCases[] = {
        {"Target velocity", "-1000", "100=FFFF 101=FC18"},
        {"Command.Torque", "-3276.8", "110=8000"},
        {"Torque", "3276.8", "the value 3276.8 of Torque is outside what its 16 bits hold (-3276.8 to 3276.7)"},
        {"Big", "9223372036854775808",
         "the value 9223372036854775808 of Big is outside what its 64 bits hold (-9223372036854775808 to "
         "9223372036854775807)"},
        {"Huge", "18446744073709551616",
         "the value 18446744073709551616 of Huge is outside what its 64 bits hold (0 to 18446744073709551615)"},
        {"Huge", "18446744073709551615", "106=FFFF 107=FFFF 108=FFFF 109=FFFF"},
        {"Broken", "1", "Broken takes no value: Factor 'nan' is not a finite number"},
        {"Count", "1", "Count is a signal of a frame the gateway receives, not one it transmits"},
        {"Torque", "fast", "the value 'fast' of Torque is not a number"},
    };
    for (const auto& c : kCases) {
        RegisterValues registers;
        std::vector<std::string> warnings;
        const Result<void> applied = ApplySignalAssignments(values, {{c.name, c.value}}, registers, warnings);
        std::string got = applied.Why();
        char text[16];
        for (const auto& [reg, value] : registers) {
            std::snprintf(text, sizeof text, "%u=%04X", reg, value);
            got += (got.empty() ? "" : " ") + std::string(text);
        }
        EXPECT_EQ(got, c.outcome) << c.name << "=" << c.value;
    }
}

TEST(SignalValues, AWriteOfSomeRegistersOfASignalIsSaid) {
    const SignalValues values = Sample();
    EXPECT_EQ(PartialSignalWrites(values, {{101, 0}, {110, 0}}),
              (std::vector<std::string>{"register 101 is of the 2 registers of Target velocity (100 and 101): a write "
                                        "of some of them sends its frame with the others as they were; write all in "
                                        "one function 16 request"}));
    EXPECT_EQ(PartialSignalWrites(values, {{102, 0}, {103, 0}}).at(0).substr(0, 50),
              "registers 102 and 103 are of the 4 registers of Bi");
    EXPECT_TRUE(PartialSignalWrites(values, {{100, 0}, {101, 0}, {110, 0}}).empty());
}

}  // namespace
}  // namespace vestrel::gateway
