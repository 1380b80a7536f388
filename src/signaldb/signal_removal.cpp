#include "signaldb/signal_removal.h"


#include <algorithm>
#include <set>

namespace vestrel::signaldb {

namespace {

// The project's frame of a signals.xml message: the row with its COB-ID that
// maps one of its registers, else the first row with its COB-ID.
std::optional<std::size_t> FrameOf(const DirectionTables& t, const ImportedMessage& m) {
    std::optional<std::size_t> first;
    for (std::size_t i = 0; i < t.frames.rows.size(); ++i) {
        const auto id = IntegerValue(t.frames.rows[i].CobID);
        if (!id || *id < 0 || static_cast<std::uint32_t>(*id) != m.id) continue;
        if (!first) first = i;
        for (const TClIndMB& reg : t.mappings[i].Registers)
            for (const ImportedRegister& r : m.registers)
                if (IntegerValue(reg.Index) == r.index) return i;
    }
    return first;
}

void DropRows(std::vector<TClIndMB>& rows, const std::set<std::int32_t>& numbers) {
    std::erase_if(rows, [&](const TClIndMB& reg) {
        const auto value = IntegerValue(reg.Index);
        return value && numbers.count(*value) != 0;
    });
}

}  // namespace

void RemoveImported(ProjectTables& tables, std::size_t entry, const std::vector<std::string>& names,
                    RemovalLog& log) {
    ImportedMessage& m = tables.signalFile.messages[entry];
    DirectionTables& t = tables.Of(m.direction);
    const auto named = [&](const ImportedSignal& s) {
        return names.empty() || std::find(names.begin(), names.end(), s.signal.name) != names.end();
    };
    std::set<std::int32_t> held;
    for (const ImportedSignal& s : m.signalList)
        if (!named(s)) held.insert(s.registers.begin(), s.registers.end());
    std::set<std::int32_t> freed;
    for (const ImportedRegister& r : m.registers)
        if (held.count(r.index) == 0) {
            freed.insert(r.index);
            log.registers.push_back({m.direction, r.index, RegisterLine(tables.signalFile, m.direction, r.index)});
        }
    const std::optional<std::size_t> frame = FrameOf(t, m);
    if (frame && !freed.empty()) DropRows(t.mappings[*frame].Registers, freed);
    t.changed = t.changed || !freed.empty();
    std::erase_if(m.registers, [&](const ImportedRegister& r) { return freed.count(r.index) != 0; });
    std::erase_if(m.signalList, named);
    tables.signalFileChanged = true;
    if (!m.signalList.empty()) return;

    const bool newFrame = m.newFrame;
    tables.signalFile.messages.erase(tables.signalFile.messages.begin() + static_cast<std::ptrdiff_t>(entry));
    if (!frame || !newFrame) return;
    const std::string text = FrameText(t.frames.direction, t, *frame);
    if (t.mappings[*frame].Registers.empty()) {
        t.RemoveFrame(*frame);
        log.notes.push_back(text + " removed: the import had added it and nothing maps it now");
    } else {
        log.notes.push_back(text + " kept: registers mapped by hand still use it");
    }
}

RemovalLog RemoveSignals(ProjectTables& tables, const std::vector<std::string>& targets) {
    // Resolve every target first: a name signals.xml does not hold changes nothing.
    std::vector<std::pair<std::size_t, std::string>> picks;  // (entry, signal or "" for all)
    std::vector<std::string> refusals;
    const auto& messages = tables.signalFile.messages;
    for (const std::string& target : targets) {
        std::size_t before = picks.size();
        for (std::size_t e = 0; e < messages.size(); ++e) {
            const ImportedMessage& m = messages[e];
            if (target == m.name) {
                picks.emplace_back(e, "");
                continue;
            }
            if (target.size() <= m.name.size() + 1 || target.compare(0, m.name.size(), m.name) != 0 ||
                target[m.name.size()] != '.')
                continue;
            const std::string signal = target.substr(m.name.size() + 1);
            for (const ImportedSignal& s : m.signalList)
                if (s.signal.name == signal) picks.emplace_back(e, signal);
        }
        if (picks.size() == before)
            refusals.push_back("\"" + target + "\": no message or signal of that name in " + tables.signalFileName);
    }
    if (!refusals.empty()) throw ImportRefused(std::move(refusals));

    // Entries by frame, so that erasing one does not move those still to come.
    std::vector<std::tuple<FrameDirection, std::uint32_t, bool, std::vector<std::string>>> work;
    for (const auto& [entry, signal] : picks) {
        const ImportedMessage& m = messages[entry];
        auto it = std::find_if(work.begin(), work.end(), [&](const auto& w) {
            return std::get<0>(w) == m.direction && std::get<1>(w) == m.id && std::get<2>(w) == m.extended;
        });
        if (it == work.end()) it = work.insert(work.end(), {m.direction, m.id, m.extended, {}});
        auto& names = std::get<3>(*it);
        if (signal.empty()) {
            names.clear();
            for (const ImportedSignal& s : m.signalList) names.push_back(s.signal.name);
        } else if (std::find(names.begin(), names.end(), signal) == names.end()) {
            names.push_back(signal);
        }
    }
    RemovalLog log;
    for (const auto& [direction, id, extended, names] : work) {
        const ImportedMessage* m = tables.signalFile.Find(direction, id, extended);
        RemoveImported(tables, static_cast<std::size_t>(m - tables.signalFile.messages.data()), names, log);
    }
    return log;
}

}  // namespace vestrel::signaldb
