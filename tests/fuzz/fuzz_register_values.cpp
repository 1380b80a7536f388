// ParseRegisterValues, the grammar of every typed register value list. An
// accepted list reads back to the same values from the canonical "R=V" form
// and with its commas made blanks; a refused one says why. Values stay within
// 16 bits, however far beyond them the digits run.

#include "fuzz_support.h"

#include "gateway/register_values.h"
#include "signaldb/signal_names.h"

#include <algorithm>
#include <string>

namespace {

using vestrel::gateway::ParseRegisterValues;
using vestrel::gateway::RegisterValues;

std::string Canonical(const RegisterValues& values, bool negative) {
    std::string text;
    for (const auto& [reg, value] : values) {
        if (!text.empty()) text += ", ";
        const long typed = negative && value >= 0x8000 ? static_cast<long>(value) - 0x10000 : value;
        text += std::to_string(reg) + " = " + std::to_string(typed);
    }
    return text;
}

// Signal values: a name may hold blanks inside, never a comma or "=", nor
// blanks at its ends; a value holds no separator; the pairs read back the
// same from their canonical "NAME=VALUE, ..." form. Returns how many pairs
// were taken.
std::size_t CheckNamedValues(std::string_view list) {
    const auto named = vestrel::signaldb::ParseSignalValues(list);
    if (!named) {
        FUZZ_CHECK(!named.Why().empty(), "a refused list of named values without a reason");
        return 0;
    }
    std::string canonical;
    for (const auto& v : *named) {
        FUZZ_CHECK(!v.name.empty() && !v.value.empty(), "a named value without its name or value");
        FUZZ_CHECK(v.name.find_first_of(",=") == std::string::npos &&
                       v.name.find_first_of(" \t\r\n") != 0 && v.name.find_last_of(" \t\r\n") != v.name.size() - 1 &&
                       v.value.find_first_of(" \t\r\n,=") == std::string::npos,
                   "a separator inside a name or value");
        canonical += (canonical.empty() ? "" : ", ") + v.name + "=" + v.value;
    }
    const auto again = vestrel::signaldb::ParseSignalValues(canonical);
    FUZZ_CHECK(again && again->size() == named->size(), "the canonical form of signal values reads differently");
    for (std::size_t i = 0; again && i < again->size(); ++i)
        FUZZ_CHECK((*again)[i].name == (*named)[i].name && (*again)[i].value == (*named)[i].value,
                   "the canonical form of signal values reads differently");
    return named->size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view list = vestrel::fuzz::AsText(data, size);
    const std::size_t named = CheckNamedValues(list);
    // Values alone: a refusal says why; an accepted list has no "=" and
    // reads the same with its commas made blanks.
    if (const auto alone = vestrel::gateway::ParseRegisterValueList(list); !alone) {
        FUZZ_CHECK(!alone.Why().empty(), "a refused value list without a reason");
    } else {
        FUZZ_CHECK(!alone->empty() && list.find('=') == std::string_view::npos, "a value list taken with a pair in it");
        std::string blanks(list);
        std::replace(blanks.begin(), blanks.end(), ',', ' ');
        const auto again = vestrel::gateway::ParseRegisterValueList(blanks);
        FUZZ_CHECK(again && *again == *alone, "commas and blanks separate values differently");
    }
    const auto values = ParseRegisterValues(list);
    if (!values) {
        FUZZ_CHECK(!values.Why().empty(), "a refused list without a reason");
        return 0;
    }
    FUZZ_CHECK(named == values->size(), "a register value list is not the same list of named values");
    FUZZ_CHECK(!values->empty(), "an accepted list without values");
    FUZZ_CHECK(values->size() <= static_cast<std::size_t>(std::count(list.begin(), list.end(), '=')),
               "more values than pairs");
    for (bool negative : {false, true}) {
        const auto read = ParseRegisterValues(Canonical(*values, negative));
        FUZZ_CHECK(read && *read == *values, "the canonical form reads back differently: " + read.Why());
    }
    std::string blanks(list);
    std::replace(blanks.begin(), blanks.end(), ',', ' ');
    const auto spaced = ParseRegisterValues(blanks);
    FUZZ_CHECK(spaced && *spaced == *values, "commas and blanks separate differently: " + spaced.Why());
    return 0;
}
