#include "compare/side_diffs.h"

#include "platform/printable_text.h"
#include "platform/text.h"
#include "signaldb/physical_value.h"
#include "signaldb/register_plan.h"
#include "signaldb/signal_listing.h"

#include <map>
#include <tuple>

namespace vestrel::compare {

namespace {

using signaldb::ImportedMessage;
using signaldb::ImportedSignal;

using SignalKey = std::tuple<int, std::uint32_t, bool, std::string>;
struct Imported {
    const ImportedMessage* message;
    const ImportedSignal* signal;
};

std::map<SignalKey, Imported> SignalsOf(const signaldb::SignalFile& file) {
    std::map<SignalKey, Imported> signals;
    for (const ImportedMessage& m : file.messages)
        for (const ImportedSignal& s : m.signalList)
            signals.emplace(SignalKey{static_cast<int>(m.direction), m.id, m.extended, s.signal.name}, Imported{&m, &s});
    return signals;
}

std::string RegistersText(const std::vector<std::int32_t>& registers) {
    std::vector<std::string> numbers;
    for (const std::int32_t r : registers) numbers.push_back(std::to_string(r));
    return (registers.size() == 1 ? "register " : "registers ") + JoinedWithAnd(numbers);
}

std::string OrNone(const std::string& text) { return text.empty() ? "none" : text; }

// What changed of an imported signal, in the order its meaning depends on it.
std::vector<std::string> SignalParts(const Imported& a, const Imported& b) {
    const signaldb::Signal& x = a.signal->signal;
    const signaldb::Signal& y = b.signal->signal;
    std::vector<std::string> parts;
    auto arrow = [&](const std::string& what, const std::string& from, const std::string& to) {
        if (from != to) parts.push_back(what + " " + from + " -> " + to);
    };
    arrow("registers", RegistersText(a.signal->registers), RegistersText(b.signal->registers));
    if (a.signal->registers.size() > 1 || b.signal->registers.size() > 1)
        arrow("word order", signaldb::WordOrderText(a.message->order), signaldb::WordOrderText(b.message->order));
    arrow("bits", signaldb::SignalBitsText(x), signaldb::SignalBitsText(y));
    arrow("scaling", signaldb::ScalingText(x), signaldb::ScalingText(y));
    arrow("range", OrNone(signaldb::RangeText(x)), OrNone(signaldb::RangeText(y)));
    if (x.values != y.values) parts.push_back("value table changed");
    if (x.comment != y.comment) parts.push_back("comment changed");
    return parts;
}

std::string Subject(const Imported& s) {
    return std::string(signaldb::DirectionWord(s.message->direction)) + " signal " + s.message->name + "." +
           s.signal->signal.name + ": ";
}

}  // namespace

void CompareSignals(const ComparedSide& old, const ComparedSide& now, Comparison& out) {
    if (!old.project || !now.project) {
        for (const auto& [side, other, which] : {std::tuple{&old, &now, "old"}, std::tuple{&now, &old, "new"}}) {
            if (side->project && side->project->hasSignals)
                out.notes.push_back(std::string("the signals of ") + which + " are not compared: the other side is " +
                                    (other->kind == SideKind::BankFolder ? "a bank folder" : "an image") +
                                    ", which holds no signals.xml");
        }
        return;
    }
    const std::map<SignalKey, Imported> a = SignalsOf(old.project->signals);
    const std::map<SignalKey, Imported> b = SignalsOf(now.project->signals);
    const std::string why = NeverReaches("signals.xml is not compiled into the banks");
    auto add = [&](std::string text) { out.changes.push_back({Topic::Signal, std::move(text) + why, false}); };
    for (const auto& [key, s] : a) {
        const auto there = b.find(key);
        if (there == b.end()) {
            add(Subject(s) + "removed");
            continue;
        }
        const std::vector<std::string> parts = SignalParts(s, there->second);
        std::string text;
        for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
        if (!text.empty()) add(Subject(there->second) + text);
    }
    for (const auto& [key, s] : b)
        if (!a.contains(key))
            add(Subject(s) + "added, " + RegistersText(s.signal->registers) + ", " + signaldb::ScalingText(s.signal->signal));
}

}  // namespace vestrel::compare
