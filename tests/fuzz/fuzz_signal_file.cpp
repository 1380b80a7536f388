// signals.xml from arbitrary bytes through ReadSignalFile. A file is taken
// whole or refused whole with a message; what is taken holds only what the
// import could have written (every signal within its message and its
// registers, its mask that of its length, a sign bit only on a signed
// signal), names a line for every register, says why a signal whose scaling
// no reader takes has no value, and is written back by SignalFileText (in the
// newest version) into a file that reads the same.

#include "fuzz_support.h"

#include "platform/error.h"
#include "signaldb/signal_codec.h"
#include "signaldb/signal_file.h"

#include <algorithm>

namespace {

using namespace vestrel;
using namespace vestrel::signaldb;

void CheckMessage(const ImportedMessage& m) {
    FUZZ_CHECK(m.length >= 1 && m.length <= 8, "a message of " + std::to_string(m.length) + " bytes");
    FUZZ_CHECK(!m.signalList.empty(), "a message without signals");
    for (const ImportedSignal& s : m.signalList) {
        FUZZ_CHECK(FitsIn(s.signal, m.length), "a signal past its message");
        FUZZ_CHECK(!s.registers.empty() && s.registers.size() <= 4, "a signal in no or too many registers");
        FUZZ_CHECK(s.shift + s.signal.length <= 16 * static_cast<int>(s.registers.size()), "bits past the registers");
        FUZZ_CHECK(s.mask == LowBits(s.signal.length), "a mask that is not the signal's");
        FUZZ_CHECK(s.masked == HoldsMoreThanSignal(m, s), "masked and the registers disagree");
        FUZZ_CHECK(!s.signBit || (s.signal.type == ValueType::Signed && *s.signBit < s.signal.length),
                   "a sign bit outside a signed signal");
        FUZZ_CHECK(s.problem.empty() == !ScalingFaultOf(s.signal).has_value(), "a signal without a value and no why");
        for (std::int32_t r : s.registers)
            FUZZ_CHECK(std::any_of(m.registers.begin(), m.registers.end(), [&](const ImportedRegister& x) { return x.index == r; }),
                       "a signal in a register its message does not list");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::AsText(data, size);
    const auto dir = fuzz::EmptyFolder("project");
    fuzz::WriteBytes(dir / "signals.xml", bytes);
    const SignalFileRead read = ReadSignalFile(dir);
    FUZZ_CHECK(fuzz::ReadBytes(dir / "signals.xml") == bytes, "reading changed the file");
    if (!read.Loaded()) {
        FUZZ_CHECK(!read.error.empty() && read.file.messages.empty(), "a refusal without a message, or with a part");
        return 0;
    }
    for (const ImportedMessage& m : read.file.messages) {
        CheckMessage(m);
        for (const ImportedRegister& r : m.registers)
            FUZZ_CHECK(!RegisterLine(read.file, m.direction, r.index).empty(), "a register without a line");
    }
    std::string text;
    try {
        text = SignalFileText(read.file);
    } catch (const Error& e) {
        fuzz::Fail(std::string("a file that was read cannot be written back: ") + e.what());
    }
    const auto copy = fuzz::EmptyFolder("copy");
    fuzz::WriteBytes(copy / "signals.xml", text);
    const SignalFileRead again = ReadSignalFile(copy);
    FUZZ_CHECK(again.Loaded(), "the written file does not read: " + again.error);
    FUZZ_CHECK(SignalFileText(again.file) == text, "the written file reads differently");
    return 0;
}
