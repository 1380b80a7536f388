#include "signaldb/signal_names.h"

#include "platform/text.h"

#include <algorithm>
#include <map>

namespace vestrel::signaldb {

namespace {

bool IsNameBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view TrimName(std::string_view text) {
    while (!text.empty() && IsNameBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsNameBlank(text.back())) text.remove_suffix(1);
    return text;
}

constexpr const char* kSignalValueForm = "signal values are NAME=VALUE pairs separated by commas (a NAME may hold blanks)";

// The item as typed, up to the next comma, for messages.
std::string ValueItemText(std::string_view list, std::size_t from) {
    const std::size_t comma = list.find(',', from);
    return std::string(TrimName(list.substr(from, comma == std::string_view::npos ? comma : comma - from)));
}

std::string QualifiedName(const ImportedMessage& m, const ImportedSignal& s) { return m.name + "." + s.signal.name; }

}  // namespace

Result<std::vector<NamedValue>> ParseSignalValues(std::string_view list) {
    std::vector<NamedValue> values;
    std::size_t at = 0;
    const auto skipBlanks = [&] {
        while (at < list.size() && IsNameBlank(list[at])) ++at;
    };
    skipBlanks();
    if (at == list.size()) return Failure{kSignalValueForm};
    while (at < list.size()) {
        const std::size_t start = at;
        const std::size_t equals = list.find_first_of("=,", at);
        if (equals == std::string_view::npos || list[equals] == ',')
            return Failure{std::string(kSignalValueForm) + ", not '" + ValueItemText(list, start) + "'"};
        const std::string_view name = TrimName(list.substr(start, equals - start));
        at = equals + 1;
        skipBlanks();
        const std::size_t valueStart = at;
        while (at < list.size() && !IsNameBlank(list[at]) && list[at] != ',' && list[at] != '=') ++at;
        const std::string_view value = list.substr(valueStart, at - valueStart);
        if (name.empty() || (at < list.size() && list[at] == '='))
            return Failure{std::string(kSignalValueForm) + ", not '" + ValueItemText(list, start) + "'"};
        if (value.empty()) return Failure{"'" + ValueItemText(list, start) + "' is not NAME=VALUE: the value is missing"};
        if (std::any_of(values.begin(), values.end(), [&](const NamedValue& v) { return v.name == name; }))
            return Failure{std::string(name) + " is given twice"};
        values.push_back({std::string(name), std::string(value)});
        skipBlanks();
        if (at < list.size() && list[at] == ',') {
            ++at;
            skipBlanks();
            if (at == list.size() || list[at] == ',')
                return Failure{std::string(kSignalValueForm) + ", not '" + std::string(list) + "': a comma with no pair after it"};
        }
    }
    return values;
}

Result<std::vector<std::string>> ParseSignalNames(std::string_view list) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at <= list.size()) {
        std::size_t end = list.find(',', at);
        if (end == std::string_view::npos) end = list.size();
        const std::string_view name = TrimName(list.substr(at, end - at));
        if (name.empty()) return Failure{"signal names are separated by commas, not '" + std::string(list) + "'"};
        if (name.find('=') != std::string_view::npos) return Failure{"'" + std::string(name) + "' is no signal name"};
        if (std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
        at = end + 1;
    }
    return names;
}

Result<SignalRef> FindSignal(const SignalFile& file, std::optional<FrameDirection> direction, std::string_view name) {
    std::vector<SignalRef> found, elsewhere;
    for (const ImportedMessage& m : file.messages)
        for (const ImportedSignal& s : m.signalList)
            if (s.signal.name == name || QualifiedName(m, s) == name)
                (!direction || m.direction == *direction ? found : elsewhere).push_back({&m, &s});
    const std::string typed(name);
    if (found.size() == 1) return found.front();
    if (found.size() > 1) {
        std::vector<std::string> messages, qualified;
        for (const SignalRef& r : found) {
            messages.push_back(r.message->name);
            qualified.push_back(QualifiedName(*r.message, *r.signal));
        }
        const std::string names = JoinedWithAnd(messages);
        std::string choices;
        for (std::size_t i = 0; i < qualified.size(); ++i)
            choices += (i == 0 ? "" : i + 1 == qualified.size() ? " or " : ", ") + qualified[i];
        return Failure{typed + " is a signal of " + names + ": name it " + choices};
    }
    const char* word = !direction ? "" : *direction == FrameDirection::Receive ? "receive " : "transmit ";
    if (!elsewhere.empty())
        return Failure{typed + " is a signal of a frame the gateway " +
                       (*direction == FrameDirection::Receive ? "transmits, not one it receives"
                                                              : "receives, not one it transmits")};
    return Failure{"no imported " + std::string(word) + "signal is named " + typed};
}

std::vector<std::string> ShownSignalNames(const SignalFile& file) {
    std::map<std::string_view, int> uses;
    for (const ImportedMessage& m : file.messages)
        for (const ImportedSignal& s : m.signalList) ++uses[s.signal.name];
    std::vector<std::string> names;
    for (const ImportedMessage& m : file.messages)
        for (const ImportedSignal& s : m.signalList)
            names.push_back(uses[s.signal.name] > 1 ? QualifiedName(m, s) : s.signal.name);
    return names;
}

}  // namespace vestrel::signaldb
