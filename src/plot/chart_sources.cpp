#include "plot/chart_sources.h"

#include "gateway/model_wording.h"
#include "platform/error.h"
#include "platform/text.h"
#include "project/integer_text.h"
#include "signaldb/physical_value.h"
#include "signaldb/signal_names.h"

#include <algorithm>

namespace vestrel::plot {

using gateway::GatewayModel;
using gateway::SignalValues;

namespace {

constexpr FrameDirection kDirections[] = {FrameDirection::Receive, FrameDirection::Transmit};

const char* DirectionName(FrameDirection direction) {
    return direction == FrameDirection::Receive ? "receive" : "transmit";
}

// The items of a comma-separated list, blanks around each taken off.
std::vector<std::string> ListItems(std::string_view list) {
    std::vector<std::string> items;
    std::size_t begin = 0;
    while (begin <= list.size()) {
        const std::size_t comma = std::min(list.find(',', begin), list.size());
        std::string_view item = list.substr(begin, comma - begin);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
        items.emplace_back(item);
        begin = comma + 1;
    }
    return items;
}

bool Maps(const gateway::GatewayDirection& direction, std::uint16_t reg) {
    return std::any_of(direction.mappings.begin(), direction.mappings.end(),
                       [reg](const gateway::GatewayMapping& m) { return m.reg == reg; });
}

// The registers a chart reads.
std::vector<std::uint16_t> RegistersOf(const ChartSource& source) {
    if (!source.signal) return {source.reg};
    std::vector<std::uint16_t> regs;
    for (std::int32_t reg : source.signal->signal->registers) regs.push_back(static_cast<std::uint16_t>(reg));
    return regs;
}

// Whether a register holds the sign bit of a signed signal as its own bit
// 15, so that its raw value reads best as a 16-bit two's complement.
bool HoldsSignBit(const SignalValues& meanings, FrameDirection direction, std::uint16_t reg) {
    for (const SignalValues::Entry& e : meanings.Entries()) {
        const signaldb::ImportedSignal& s = *e.signal;
        if (e.message->direction != direction || s.signal.type != signaldb::ValueType::Signed) continue;
        // The bit the PLC takes for the sign, counted in the joined registers.
        const signaldb::PlcSteps steps = signaldb::StepsOf(s);
        const int top = steps.shift + steps.signBit.value_or(s.signal.length - 1);
        const std::size_t n = s.registers.size(), word = static_cast<std::size_t>(top / 16);
        if (top % 16 != 15 || word >= n) continue;
        const std::size_t at = e.message->order == signaldb::WordOrder::HighFirst ? n - 1 - word : word;
        if (s.registers[at] == reg) return true;
    }
    return false;
}

std::string FramesText(const GatewayModel& model, const ChartSource& source) {
    const gateway::GatewayDirection& d = model.Direction(source.direction);
    const std::vector<int> frames = FeedingFrames(model, source);
    if (frames.empty()) return std::string("no ") + DirectionName(source.direction) + " frame feeds it";
    std::vector<std::string> names;
    for (int f : frames)
        names.push_back(gateway::FrameName(source.direction, d.frames[static_cast<std::size_t>(f)], f,
                                           {.direction = names.empty()}));
    return JoinedWithAnd(names);
}

}  // namespace

std::optional<int> CycleTimeMs(const signaldb::ImportedMessage& message) { return message.cycleTimeMs; }

std::vector<ChartSource> DefaultSources(const GatewayModel& model, const SignalValues* meanings) {
    std::vector<ChartSource> sources;
    if (meanings && !meanings->Empty()) {
        for (const SignalValues::Entry& e : meanings->Entries()) sources.push_back({e.message->direction, &e, 0});
        return sources;
    }
    for (const FrameDirection direction : kDirections) {
        std::vector<std::uint16_t> regs;
        for (const gateway::GatewayMapping& m : model.Direction(direction).mappings) regs.push_back(m.reg);
        std::sort(regs.begin(), regs.end());
        regs.erase(std::unique(regs.begin(), regs.end()), regs.end());
        for (std::uint16_t reg : regs) sources.push_back({direction, nullptr, reg});
    }
    return sources;
}

std::vector<ChartSource> NamedSignals(const SignalValues* meanings, std::string_view list) {
    if (!meanings || meanings->Empty()) throw Error("--signals needs a project with imported signals (signals.xml)");
    const Result<std::vector<std::string>> names = signaldb::ParseSignalNames(list);
    if (!names) throw Error("--signals: " + names.Why());
    std::vector<ChartSource> sources;
    for (const std::string& name : *names) {
        // Either direction: a chart of a transmit signal is as good as one of a receive signal.
        const Result<signaldb::SignalRef> found = signaldb::FindSignal(meanings->File(), std::nullopt, name);
        if (!found) throw Error("--signals: " + found.Why());
        const auto entry = std::find_if(meanings->Entries().begin(), meanings->Entries().end(),
                                        [&](const SignalValues::Entry& e) { return e.signal == found->signal; });
        if (entry == meanings->Entries().end()) throw Error("--signals: " + name + " has no registers to read");
        const ChartSource source{entry->message->direction, &*entry, 0};
        if (std::find(sources.begin(), sources.end(), source) == sources.end()) sources.push_back(source);
    }
    return sources;
}

std::vector<ChartSource> NamedRegisters(const GatewayModel& model, std::string_view list) {
    std::vector<ChartSource> sources;
    for (const std::string& item : ListItems(list)) {
        const std::optional<std::int32_t> number = ParseIntegerText(item);
        if (!number || *number < 0 || *number > 65535)
            throw Error("--registers takes register numbers from 0 to 65535 separated by commas, not '" + item + "'");
        const auto reg = static_cast<std::uint16_t>(*number);
        bool mapped = false;
        for (const FrameDirection direction : kDirections) {
            if (!Maps(model.Direction(direction), reg)) continue;
            mapped = true;
            const ChartSource source{direction, nullptr, reg};
            if (std::find(sources.begin(), sources.end(), source) == sources.end()) sources.push_back(source);
        }
        if (!mapped) throw Error("register " + item + " is mapped in neither direction");
    }
    return sources;
}

std::vector<int> FeedingFrames(const GatewayModel& model, const ChartSource& source) {
    const gateway::GatewayDirection& d = model.Direction(source.direction);
    const std::vector<std::uint16_t> regs = RegistersOf(source);
    std::vector<int> frames;
    for (const gateway::GatewayMapping& m : d.mappings)
        if (std::find(regs.begin(), regs.end(), m.reg) != regs.end() && d.FrameOf(m))
            frames.push_back(m.frame - 1);
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    return frames;
}

const signaldb::ImportedMessage* MessageOf(const GatewayModel& model, const SignalValues* meanings,
                                           const ChartSource& source) {
    if (source.signal) return source.signal->message;
    if (!meanings || meanings->Empty()) return nullptr;
    const bool extended = UsesExtendedIds(model.Mode());
    for (int f : FeedingFrames(model, source)) {
        const std::uint32_t id = model.Direction(source.direction).frames[static_cast<std::size_t>(f)].cobId;
        if (const auto* message = meanings->File().Find(source.direction, id, extended)) return message;
    }
    return nullptr;
}

Chart ChartHead(const GatewayModel& model, const SignalValues* meanings, const ChartSource& source) {
    Chart chart;
    chart.origin = FramesText(model, source);
    if (const signaldb::ImportedMessage* message = MessageOf(model, meanings, source))
        if (const std::optional<int> cycle = CycleTimeMs(*message))
            chart.origin += ", every " + std::to_string(*cycle) + " ms";
    if (!source.signal) {
        chart.kind = meanings && HoldsSignBit(*meanings, source.direction, source.reg) ? ChartKind::SignedRegister
                                                                                     : ChartKind::Register;
        chart.name = std::string(DirectionName(source.direction)) + " register " + std::to_string(source.reg);
        return chart;
    }
    const signaldb::Signal& signal = source.signal->signal->signal;
    chart.kind = ChartKind::Signal;
    chart.name = source.signal->name;
    chart.unit = signal.unit;
    chart.decimals = signal.type == signaldb::ValueType::Float32 || signal.type == signaldb::ValueType::Float64
                         ? 3
                         : signaldb::PhysicalDecimals(signal);
    chart.states = signal.values;
    chart.factor = signal.factor;
    chart.offset = signal.offset;
    return chart;
}

}  // namespace vestrel::plot
