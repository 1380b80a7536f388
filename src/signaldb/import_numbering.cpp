#include "signaldb/importer.h"

#include "compiler/bank_layout.h"
#include "project/frame_mapping.h"
#include "project/register_directions.h"
#include "platform/text.h"

#include <algorithm>
#include <map>

// How an import numbers the registers it maps: given, kept from before, or
// the next free ones, never one the other direction uses.
namespace vestrel::signaldb::importing {

void Importer::NumberGroup(Planned& p, Group& g) {
    std::set<std::int32_t> given;
    for (std::size_t i : g.members)
        if (p.given[i]) given.insert(*p.given[i]);
    if (given.size() > 1) {
        std::string names;
        for (std::size_t i : g.members)
            if (p.given[i]) names += (names.empty() ? "" : " and ") + Name(p.subset, p.subset.signalList[i]);
        refusals_.push_back(names + " share data bytes, and so their registers: give one of them a register");
    }
    if (!given.empty()) {
        g.number = *given.begin();
        return;
    }
    if (!p.previous) return;
    const ImportedMessage& before = out_.tables.signalFile.messages[*p.previous];
    for (std::size_t i : g.members)
        for (const ImportedSignal& s : before.signalList)
            if (s.signal.name == p.subset.signalList[i].name && !s.registers.empty() &&
                (g.number < 0 || s.registers.front() < g.number))
                g.number = s.registers.front();
}

// The highest register a direction's rows map, -1 for none.
std::int32_t HighestMapped(const DirectionTables& t) {
    std::int32_t highest = -1;
    for (const TClPdo& frame : t.mappings)
        for (const TClIndMB& reg : frame.Registers) highest = std::max(highest, IntegerValue(reg.Index).value_or(-1));
    return highest;
}

// Numbers every group of the direction: given, kept from before, or the
// next free ones from the first register on, passing over every number the
// other direction maps or this import gives it, so that no address is both
// read and written. A direction that maps no register yet starts at 0
// (receive) or one above the receive registers (transmit); the request
// can say where each starts.
void Importer::Number(FrameDirection direction) {
    const FrameDirection other = direction == FrameDirection::Receive ? FrameDirection::Transmit : FrameDirection::Receive;
    const std::int32_t highest = HighestMapped(out_.tables.Of(direction));
    const std::set<std::int32_t> otherMapped = Mapped(other);
    std::set<std::int32_t> reserved = otherMapped;
    for (Planned& p : planned_)
        if (p.direction == other)
            for (const Group& g : p.groups)
                for (int k = 0; g.number >= 0 && k < g.count; ++k) reserved.insert(g.number + k);
    // Where a direction that maps nothing yet starts: above the other one's registers.
    const std::int32_t aboveOther = reserved.empty() ? 0 : *reserved.rbegin() + 1;
    const std::set<std::int32_t> otherNumbers = reserved;
    for (Planned& p : planned_) {
        if (p.direction != direction) continue;
        for (Group& g : p.groups) {
            for (int k = 0; g.number >= 0 && k < g.count; ++k) {
                reserved.insert(g.number + k);
                if (otherNumbers.count(g.number + k))
                    out_.notes.push_back("register " + std::to_string(g.number + k) + " (" + DirectionWord(direction) +
                                         ", " + Name(p.subset, p.subset.signalList[g.members.front()]) +
                                         ") is also a " + DirectionWord(other) + " register: " +
                                         std::string(kSharedAddressNote));
            }
        }
        for (const ImportedSignal* s : Stale(p)) reserved.insert(s->registers.begin(), s->registers.end());
    }
    std::optional<std::int32_t> first =
        direction == FrameDirection::Transmit && request_.firstTransmitRegister ? request_.firstTransmitRegister
                                                                                : request_.firstRegister;
    if (!first && direction == FrameDirection::Transmit && highest < 0) first = aboveOther;
    std::int32_t next = first.value_or(highest + 1);
    bool numbered = false;
    for (Planned& p : planned_) {
        if (p.direction != direction) continue;
        for (Group& g : p.groups) {
            if (g.number >= 0) continue;
            const auto free = [&](std::int32_t n) {
                for (int k = 0; k < g.count; ++k)
                    if (reserved.count(n + k)) return false;
                return true;
            };
            while (!free(next)) ++next;
            g.number = next;
            next += g.count;
            numbered = true;
        }
    }
    if (numbered && direction == FrameDirection::Transmit && !request_.firstTransmitRegister && highest < 0)
        out_.notes.push_back("transmit registers are numbered from " + std::to_string(*first) +
                             ", above every receive register, so that no address is both read and written");
    for (Planned& p : planned_)
        if (p.direction == direction) Settle(p);
    CheckCollisions(direction, highest);
}

// The registers a direction's rows map, but those this import replaces.
std::set<std::int32_t> Importer::Mapped(FrameDirection direction) const {
    std::set<std::int32_t> numbers;
    const DirectionTables& t = out_.tables.Of(direction);
    for (std::size_t f = 0; f < t.mappings.size(); ++f) {
        const auto owner = std::find_if(planned_.begin(), planned_.end(), [&](const Planned& p) {
            return p.direction == direction && p.frame == f;
        });
        for (const TClIndMB& reg : t.mappings[f].Registers) {
            const auto n = IntegerValue(reg.Index);
            if (n && (owner == planned_.end() || !owner->replaced.count(*n))) numbers.insert(*n);
        }
    }
    return numbers;
}

std::vector<const ImportedSignal*> Importer::Stale(const Planned& p) const {
    std::vector<const ImportedSignal*> stale;
    if (!p.previous) return stale;
    for (const ImportedSignal& s : out_.tables.signalFile.messages[*p.previous].signalList)
        if (std::find(p.keptStale.begin(), p.keptStale.end(), s.signal.name) != p.keptStale.end()) stale.push_back(&s);
    return stale;
}

// A signal that left the database keeps its registers and their rows, unless
// the import gives one of them to a signal that is still there: it goes
// then. Every other register the message had is mapped anew.
void Importer::Settle(Planned& p) {
    if (!p.previous) return;
    std::set<std::int32_t> kept;
    std::vector<std::string> stay;
    for (const ImportedSignal* s : Stale(p)) {
        const auto taken = std::find_if(s->registers.begin(), s->registers.end(),
                                        [&](std::int32_t n) { return TakenBy(p, n) != nullptr; });
        const std::string what = p.source->name + "." + s->signal.name + " is no longer in " + source_.path;
        if (taken == s->registers.end()) {
            kept.insert(s->registers.begin(), s->registers.end());
            stay.push_back(s->signal.name);
            out_.notes.push_back(what + ": kept (--prune removes it)");
        } else {
            const Group& g = *TakenBy(p, *taken);
            out_.notes.push_back(what + ": removed, its register " + std::to_string(*taken) + " now holds " +
                                 Name(p.subset, p.subset.signalList[g.members.front()]));
        }
    }
    p.keptStale = std::move(stay);
    for (const ImportedRegister& r : out_.tables.signalFile.messages[*p.previous].registers)
        if (kept.count(r.index) == 0) p.replaced.insert(r.index);
}

// Registers above 65535, one register for two groups, and registers that
// rows the import does not replace already use.
void Importer::CheckCollisions(FrameDirection direction, std::int32_t highest) {
    const char* word = DirectionWord(direction);
    std::map<std::int32_t, std::string> mine;  // register -> the signal that gets it
    for (const Planned& p : planned_) {
        if (p.direction != direction) continue;
        for (const Group& g : p.groups) {
            const std::string who = Name(p.subset, p.subset.signalList[g.members.front()]);
            if (g.number + g.count - 1 > kHighestRegister) {
                refusals_.push_back(who + ": register " + std::to_string(g.number + g.count - 1) + " (" + word +
                                    ") is above 65535, the highest the banks hold");
                continue;
            }
            for (int k = 0; k < g.count; ++k) {
                const auto [it, first] = mine.try_emplace(g.number + k, who);
                if (!first)
                    refusals_.push_back("register " + std::to_string(g.number + k) + " (" + word + ") would hold both " +
                                        it->second + " and " + who);
            }
        }
    }
    const DirectionTables& t = out_.tables.Of(direction);
    bool collided = false;
    for (std::size_t f = 0; f < t.mappings.size(); ++f) {
        const auto owner = std::find_if(planned_.begin(), planned_.end(), [&](const Planned& p) {
            return p.direction == direction && p.frame == f;
        });
        for (const TClIndMB& reg : t.mappings[f].Registers) {
            const std::int32_t n = *IntegerValue(reg.Index);
            const auto it = mine.find(n);
            if (it == mine.end() || (owner != planned_.end() && owner->replaced.count(n))) continue;
            refusals_.push_back("register " + std::to_string(n) + " (" + word + ") is already mapped to " +
                                FrameText(direction, t, f) + ", PosComp " + reg.PosComp + ": " + it->second +
                                " cannot have it");
            collided = true;
        }
    }
    if (collided && request_.firstRegister)
        refusals_.push_back("the " + std::string(word) + " registers in use end at " + std::to_string(highest) +
                            ": --first-register " + std::to_string(highest + 1) + " starts above them");
}

}  // namespace vestrel::signaldb::importing
