#include "signaldb/signal_import.h"

#include "signaldb/importer.h"

#include "project/frame_mapping.h"
#include "compiler/bank_layout.h"
#include "platform/sha256.h"
#include "platform/text.h"
#include "signaldb/signal_listing.h"
#include "signaldb/signal_removal.h"

#include <algorithm>
#include <map>
#include <set>

namespace vestrel::signaldb {

namespace importing {



std::string Name(const Message& m) { return m.name + " (" + MessageIdText(m) + ")"; }
std::string Name(const Message& m, const Signal& s) { return m.name + "." + s.name; }

std::string NumberList(const std::vector<std::int32_t>& numbers) {
    std::string text;
    for (std::int32_t n : numbers) text += (text.empty() ? "" : ", ") + std::to_string(n);
    return text;
}

namespace {

// The data bytes (0-based) a PosComp names.
std::set<int> BytesOf(int posComp) {
    std::set<int> bytes;
    for (int nibble : {PosCompHigh(static_cast<std::uint32_t>(posComp)), PosCompLow(static_cast<std::uint32_t>(posComp))})
        if (DataByteOfNibble(nibble) >= 0) bytes.insert(DataByteOfNibble(nibble));
    return bytes;
}

std::string BytesText(const std::set<int>& bytes) {
    std::string text;
    for (int b : bytes) text += (text.empty() ? "B" : ", B") + std::to_string(b + 1);
    return text;
}

}  // namespace

// The group of the message that the import gives register `n` to, or null.
const Group* TakenBy(const Planned& p, std::int32_t n) {
    for (const Group& g : p.groups)
        if (n >= g.number && n < g.number + g.count) return &g;
    return nullptr;
}

// The frame whose rows map every register of `entry` as it was imported: the
// entry's frame after the user gave it another COB-ID.
std::optional<std::size_t> FrameHolding(const DirectionTables& t, const ImportedMessage& entry) {
    for (std::size_t f = 0; f < t.mappings.size() && !entry.registers.empty(); ++f) {
        const auto& rows = t.mappings[f].Registers;
        const bool all = std::all_of(entry.registers.begin(), entry.registers.end(), [&](const ImportedRegister& r) {
            return std::any_of(rows.begin(), rows.end(), [&](const TClIndMB& row) {
                return IntegerValue(row.Index) == r.index && IntegerValue(row.PosComp) == r.posComp;
            });
        });
        if (all) return f;
    }
    return std::nullopt;
}

namespace {

std::vector<Group> GroupsOf(const MessagePlan& plan) {
    std::vector<Group> groups;
    for (std::size_t i = 0; i < plan.placements.size(); ++i) {
        if (plan.Refused(i)) continue;
        const SignalPlan& p = plan.placements[i];
        auto it = std::find_if(groups.begin(), groups.end(), [&](const Group& g) { return g.first == p.firstRegister; });
        if (it == groups.end()) it = groups.insert(groups.end(), Group{p.firstRegister, p.registerCount, {}});
        it->members.push_back(i);
    }
    std::sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) { return a.first < b.first; });
    return groups;
}

}  // namespace


// What one pick imports, planned on its own.
void Importer::Select(FrameDirection direction, const MessagePick& pick) {
    const Message& m = db_.messages[pick.message];
    Planned p;
    p.direction = direction;
    p.source = &m;
    std::vector<bool> take(m.signalList.size(), pick.whole);
    for (std::size_t s : pick.signalList) take[s] = true;
    if (const ImportedMessage* before = EntryOfMessage(project_, direction, m, source_.path)) {
        for (const ImportedSignal& old : before->signalList) {
            const auto it = std::find_if(m.signalList.begin(), m.signalList.end(),
                                         [&](const Signal& s) { return s.name == old.signal.name; });
            if (it != m.signalList.end()) {
                take[static_cast<std::size_t>(it - m.signalList.begin())] = true;
                continue;
            }
            if (request_.prune)
                out_.notes.push_back(m.name + "." + old.signal.name + " is no longer in " + source_.path + ": removed");
            else
                p.keptStale.push_back(old.signal.name);
        }
    }
    p.subset = m;
    p.subset.signalList.clear();
    for (std::size_t s = 0; s < m.signalList.size(); ++s) {
        if (!take[s]) continue;
        p.subset.signalList.push_back(m.signalList[s]);
        p.named.push_back(std::find(pick.signalList.begin(), pick.signalList.end(), s) != pick.signalList.end());
        const auto given = pick.registers.find(s);
        p.given.push_back(given == pick.registers.end() ? std::nullopt : std::optional(given->second));
    }
    p.plan = PlanMessage(p.subset, project_.mode, request_.order);
    if (p.plan.refusal != Refusal::None) {
        refusals_.push_back(Name(m) + ": " + MessageRefusalText(p.subset, p.plan));
        return;
    }
    Refusals(p);
    if (const std::string origin = CobIdOriginText(m, db_.nodeId, request_.takeNodeIdCobIds); !origin.empty())
        out_.notes.push_back(Name(m) + ": COB-ID from " + origin);
    p.groups = GroupsOf(p.plan);
    if (p.groups.empty()) refusals_.push_back(Name(m) + ": none of its signals can be imported");
    else planned_.push_back(std::move(p));
}

// Signals the gateway cannot take: refused when the list names them, left
// out with a note when they came with their message.
void Importer::Refusals(Planned& p) {
    for (std::size_t i = 0; i < p.subset.signalList.size(); ++i) {
        if (!p.plan.Refused(i)) continue;
        const std::string why = Name(p.subset, p.subset.signalList[i]) + ": " + SignalRefusalText(p.subset, p.plan, i);
        if (p.named[i] || p.given[i]) refusals_.push_back("refused: " + why);
        else out_.notes.push_back("not imported: " + why);
    }
}

// signals.xml messages of this database that are no longer in it, and
// signals of messages not imported now that left their message: reported,
// and removed with prune.
void Importer::HandleLeftDatabase() {
    auto& messages = out_.tables.signalFile.messages;
    // The entries this import takes over; removing one from the end leaves those before it in place.
    std::set<std::size_t> taken;
    for (const Planned& p : planned_)
        if (const ImportedMessage* entry = EntryOfMessage(out_.tables, p.direction, *p.source, source_.path))
            taken.insert(static_cast<std::size_t>(entry - messages.data()));
    for (std::size_t e = messages.size(); e-- > 0;) {
        const ImportedMessage& m = messages[e];
        if (m.database != source_.path || taken.count(e)) continue;
        auto now = std::find_if(db_.messages.begin(), db_.messages.end(),
                                [&](const Message& d) { return d.id == m.id && d.extended == m.extended; });
        if (now == db_.messages.end())
            now = std::find_if(db_.messages.begin(), db_.messages.end(), [&](const Message& d) { return d.name == m.name; });
        std::vector<std::string> gone;
        for (const ImportedSignal& s : m.signalList)
            if (now == db_.messages.end() ||
                std::none_of(now->signalList.begin(), now->signalList.end(),
                             [&](const Signal& d) { return d.name == s.signal.name; }))
                gone.push_back(s.signal.name);
        if (gone.empty()) continue;
        std::vector<std::int32_t> numbers;
        for (const ImportedRegister& r : m.registers) numbers.push_back(r.index);
        std::string what = m.name + " (0x" + UpperHex(m.id) + ", " + DirectionWord(m.direction) + ")";
        if (now != db_.messages.end()) {
            what = m.name + ".";
            for (std::size_t i = 0; i < gone.size(); ++i) what += (i ? ", " : "") + gone[i];
        }
        const std::string where = (now == db_.messages.end() || gone.size() == 1 ? " is" : " are") +
                                  std::string(" no longer in ") + source_.path;
        if (!request_.prune) {
            out_.notes.push_back(what + where + ": registers " + NumberList(numbers) + " kept (--prune removes them)");
            continue;
        }
        RemovalLog log;
        RemoveImported(out_.tables, e, now == db_.messages.end() ? std::vector<std::string>{} : gone, log);
        std::vector<std::int32_t> removed;
        for (const RemovedRegister& r : log.registers) removed.push_back(r.index);
        out_.notes.push_back(what + where + ": removed" + (removed.empty() ? "" : ", with registers " + NumberList(removed)));
        out_.notes.insert(out_.notes.end(), log.notes.begin(), log.notes.end());
    }
}

// The entry and the frame a planned message meets in the project: the frame
// with its COB-ID, or, for a message imported before, the entry's frame,
// which keeps a COB-ID the user gave it in the frame table.
void Importer::Locate(Planned& p) {
    const DirectionTables& t = out_.tables.Of(p.direction);
    p.cobId = p.source->id;
    p.frame = t.FrameWithId(p.source->id, refusals_);
    const ImportedMessage* before = EntryOfMessage(out_.tables, p.direction, *p.source, source_.path);
    if (!before) {
        if (request_.adoptRows && p.frame) Adopt(p);
        return;
    }
    p.previous = static_cast<std::size_t>(before - out_.tables.signalFile.messages.data());
    if (before->database != source_.path)
        out_.notes.push_back(Name(*p.source) + " was imported from " + before->database + "; it now comes from " +
                             source_.path);
    if (p.frame) return;
    std::vector<std::string> ignored;
    p.frame = before->id != p.source->id ? t.FrameWithId(before->id, ignored) : std::nullopt;
    if (!p.frame) p.frame = FrameHolding(t, *before);
    if (!p.frame) return;
    const auto cobId = IntegerValue(t.frames.rows[*p.frame].CobID);
    if (!cobId || static_cast<std::uint32_t>(*cobId) == p.source->id) return;
    p.cobId = static_cast<std::uint32_t>(*cobId);
    out_.notes.push_back(Name(*p.source) + ": " + FrameText(p.direction, t, *p.frame) + " keeps its COB-ID, which " +
                         source_.path + " gives as " + MessageIdText(*p.source));
}

// Takes the rows of the message's frame that map each group's registers
// exactly (the same data bytes, consecutive numbers) as this import's, so
// that they keep their numbers and are mapped anew. A group the rows do not
// map so is numbered as usual, and its bytes are then refused as mapped.
void Importer::Adopt(Planned& p) {
    const DirectionTables& t = out_.tables.Of(p.direction);
    std::map<std::int32_t, int> posCompOf;  // register -> the PosComp its row maps, -1 for two rows
    for (const TClIndMB& reg : t.mappings[*p.frame].Registers) {
        const auto n = IntegerValue(reg.Index);
        const auto posComp = IntegerValue(reg.PosComp);
        if (!n || !posComp) continue;
        const auto [it, first] = posCompOf.try_emplace(*n, *posComp & 0xFF);
        if (!first) it->second = -1;
    }
    const auto posCompOfPlan = [&](const Group& g, int k) {
        return static_cast<int>(p.plan.registers[static_cast<std::size_t>(g.first + k)].posComp);
    };
    std::vector<std::int32_t> adopted;
    for (Group& g : p.groups) {
        for (const auto& [n, posComp] : posCompOf) {
            bool all = posComp == posCompOfPlan(g, 0);
            for (int k = 1; all && k < g.count; ++k) {
                const auto next = posCompOf.find(n + k);
                all = next != posCompOf.end() && next->second == posCompOfPlan(g, k);
            }
            if (!all) continue;
            g.number = n;
            for (int k = 0; k < g.count; ++k) {
                p.replaced.insert(n + k);
                adopted.push_back(n + k);
            }
            break;
        }
    }
    if (!adopted.empty())
        out_.notes.push_back(Name(*p.source) + ": the rows of " + (adopted.size() == 1 ? "register " : "registers ") +
                             NumberList(adopted) + " in " +
                             FrameText(p.direction, t, *p.frame) + " map what the import maps and are taken as its own");
}

// A reused frame must carry the bytes, carry data at all, and not have them
// mapped by rows the import does not replace.
void Importer::CheckFrame(const Planned& p) {
    if (!p.frame) return;
    const DirectionTables& t = out_.tables.Of(p.direction);
    const FrameRow& row = t.frames.rows[*p.frame];
    std::map<int, std::string> mine;  // data byte -> "register 21 (DriveStatus.Speed)"
    for (const Group& g : p.groups)
        for (int k = 0; k < g.count; ++k)
            for (int b : BytesOf(p.plan.registers[static_cast<std::size_t>(g.first + k)].posComp))
                mine[b] = "register " + std::to_string(g.number + k) + " (" +
                          Name(p.subset, p.subset.signalList[g.members.front()]) + ")";
    const int needed = mine.empty() ? 0 : mine.rbegin()->first + 1;
    const auto dimension = IntegerValue(row.Dimensin);
    if (!dimension || *dimension < needed)
        refusals_.push_back(FrameText(p.direction, t, *p.frame) + " has Dimensin " + row.Dimensin + ", and " +
                            Name(*p.source) + " needs " + std::to_string(needed) + " data bytes");
    if (p.direction == FrameDirection::Transmit && (row.RTR == "Y" || row.RTR == "y"))
        refusals_.push_back(FrameText(p.direction, t, *p.frame) + " is a remote frame (RTR Y), which carries no data");
    bool mapped = false;
    for (const TClIndMB& reg : t.mappings[*p.frame].Registers) {
        const std::int32_t n = *IntegerValue(reg.Index);
        if (p.replaced.count(n) || TakenBy(p, n)) continue;  // a register the import takes is refused as such
        std::set<int> shared;
        for (int b : BytesOf(*IntegerValue(reg.PosComp) & 0xFF))
            if (mine.count(b)) shared.insert(b);
        if (shared.empty()) continue;
        refusals_.push_back("register " + std::to_string(n) + " already maps " + BytesText(shared) + " of " +
                            FrameText(p.direction, t, *p.frame) + ", which the import maps to " +
                            mine[*shared.begin()]);
        mapped = true;
    }
    if (mapped && !p.previous && !request_.adoptRows)
        refusals_.push_back("if these rows are what an earlier import of " + Name(*p.source) +
                            " wrote and signals.xml has lost it, " + request_.adoptRowsOption +
                            " takes the rows that map exactly the import's bytes back as its own");
}

ImportedMessage Importer::Entry(const Planned& p, bool newFrame) const {
    ImportedMessage e;
    e.direction = p.direction;
    e.name = p.source->name;
    e.id = p.cobId;
    if (p.cobId != p.source->id) e.databaseId = p.source->id;
    e.extended = p.source->extended;
    e.length = p.source->length;
    e.order = request_.order;
    e.newFrame = newFrame;
    e.cycleTimeMs = p.source->cycleTimeMs;
    e.database = source_.path;
    e.sha256 = source_.sha256;
    std::vector<std::int32_t> numbers(p.plan.registers.size());
    for (const Group& g : p.groups)
        for (int k = 0; k < g.count; ++k) numbers[static_cast<std::size_t>(g.first + k)] = g.number + k;
    for (std::size_t r = 0; r < numbers.size(); ++r) e.registers.push_back({numbers[r], p.plan.registers[r].posComp});
    for (std::size_t i = 0; i < p.subset.signalList.size(); ++i) {
        if (p.plan.Refused(i)) continue;
        const SignalPlan& placement = p.plan.placements[i];
        ImportedSignal s;
        s.signal = p.subset.signalList[i];
        s.signal.receivers.clear();
        s.signal.mux = Multiplexing::None;
        s.signal.muxValue = 0;
        s.signal.line = 0;
        for (int k = 0; k < placement.registerCount; ++k)
            s.registers.push_back(numbers[static_cast<std::size_t>(placement.firstRegister + k)]);
        s.shift = placement.shift;
        s.mask = placement.mask;
        s.masked = placement.masked;
        s.signBit = placement.signBit;
        e.signalList.push_back(std::move(s));
    }
    return e;
}

// Writes one message into the tables: its frame, its rows, its entry.
void Importer::Apply(const Planned& p) {
    DirectionTables& t = out_.tables.Of(p.direction);
    t.changed = true;
    std::size_t frame = 0;
    if (p.frame) {
        frame = *p.frame;
        if (!p.previous)
            out_.notes.push_back(Name(*p.source) + ": mapped to " + FrameText(p.direction, t, frame) +
                                 ", Mnemonic \"" + t.frames.rows[frame].Mnemonic + "\" kept");
    } else {
        frame = t.frames.rows.size();
        t.frames.rows.push_back(FrameRow{MessageIdText(*p.source), std::to_string(p.source->length),
                                         p.direction == FrameDirection::Transmit ? "N" : "", p.source->name});
        t.mappings.emplace_back(t.frames.rows.back().CobID, static_cast<std::int32_t>(frame + 1));
        added_[p.direction == FrameDirection::Receive ? 0 : 1].push_back(p.source);
    }
    auto& rows = t.mappings[frame].Registers;
    std::erase_if(rows, [&](const TClIndMB& reg) { return p.replaced.count(*IntegerValue(reg.Index)) != 0; });

    auto& messages = out_.tables.signalFile.messages;
    // A frame the import adds is its own; one it found is the user's, unless an earlier import added it.
    ImportedMessage entry = Entry(p, !p.frame || (p.previous && messages[*p.previous].newFrame));
    const std::size_t at = p.previous.value_or(messages.size());
    for (const ImportedRegister& r : entry.registers) {
        rows.push_back(TClIndMB{std::to_string(r.index), std::to_string(r.posComp)});
        out_.assigned.push_back({p.direction, r.index, at, p.replaced.count(r.index) != 0});
    }
    if (p.previous) {
        // Signals that left the database stay, with their registers and rows, unless pruned.
        for (const ImportedSignal& s : messages[at].signalList)
            if (std::find(p.keptStale.begin(), p.keptStale.end(), s.signal.name) != p.keptStale.end())
                entry.signalList.push_back(s);
        for (const ImportedRegister& r : messages[at].registers)
            if (!p.replaced.count(r.index)) entry.registers.push_back(r);
    }
    if (p.previous) messages[at] = std::move(entry);
    else messages.push_back(std::move(entry));
    out_.tables.signalFileChanged = true;
}

// One note per direction: "3 frames added to RCobDef.xml as rows 4 to 6: A, B, C".
void Importer::NoteAddedFrames() {
    constexpr std::size_t kNamed = 8;
    for (FrameDirection d : {FrameDirection::Receive, FrameDirection::Transmit}) {
        const auto& added = added_[d == FrameDirection::Receive ? 0 : 1];
        if (added.empty()) continue;
        const DirectionTables& t = out_.tables.Of(d);
        const std::size_t last = t.frames.rows.size(), first = last - added.size() + 1;
        if (added.size() == 1) {
            out_.notes.push_back(Name(*added[0]) + ": added as " + FrameText(d, t, last - 1));
            continue;
        }
        std::string names;
        for (std::size_t i = 0; i < std::min(added.size(), kNamed); ++i) names += (i ? ", " : "") + added[i]->name;
        if (added.size() > kNamed) names += " and " + std::to_string(added.size() - kNamed) + " more";
        out_.notes.push_back(std::to_string(added.size()) + " frames added to " + std::string(FramesFileName(d)) +
                             " as rows " + std::to_string(first) + " to " + std::to_string(last) + ": " + names);
    }
}

void Importer::CheckCapacity() {
    for (FrameDirection d : {FrameDirection::Receive, FrameDirection::Transmit}) {
        const DirectionTables& t = out_.tables.Of(d);
        const std::size_t frames = t.frames.rows.size(), rows = t.MappingCount();
        const std::size_t maxRows = static_cast<std::size_t>(
            d == FrameDirection::Receive ? layout::kMaxReceiveMappings : layout::kMaxTransmitMappings);
        if (frames > static_cast<std::size_t>(layout::kMaxFrames))
            refusals_.push_back("the " + std::string(DirectionWord(d)) + " direction would have " +
                                std::to_string(frames) + " frames; the banks hold " +
                                std::to_string(layout::kMaxFrames));
        if (rows > maxRows)
            refusals_.push_back("the " + std::string(DirectionWord(d)) + " direction would have " +
                                std::to_string(rows) + " mapping rows; the banks hold " + std::to_string(maxRows));
    }
}

}  // namespace importing

DatabaseSource DescribeDatabase(const std::filesystem::path& projectDir, const std::filesystem::path& file,
                                std::string_view bytes) {
    std::error_code ec;
    std::filesystem::path relative = std::filesystem::relative(file, projectDir, ec);
    if (ec || relative.empty()) relative = std::filesystem::absolute(file, ec);
    return DatabaseSource{relative.generic_string(), Sha256Hex(bytes)};
}

const ImportedMessage* EntryOfMessage(const ProjectTables& tables, FrameDirection direction, const Message& message,
                                      const std::string& database) {
    const SignalFile& file = tables.signalFile;
    for (const ImportedMessage& m : file.messages)
        if (m.direction == direction && m.extended == message.extended && m.databaseId == message.id &&
            m.database == database)  // a frame the user gave another COB-ID
            return &m;
    if (const ImportedMessage* byId = file.Find(direction, message.id, message.extended)) return byId;
    const DirectionTables& t = tables.Of(direction);
    for (const ImportedMessage& m : file.messages) {
        if (m.direction != direction || m.database != database || m.name != message.name || m.extended != message.extended)
            continue;
        // Only a frame the user gave another COB-ID: one whose COB-ID the database changed is a new frame.
        const auto frame = importing::FrameHolding(t, m);
        const auto cobId = frame ? IntegerValue(t.frames.rows[*frame].CobID) : std::nullopt;
        if (cobId && static_cast<std::uint32_t>(*cobId) != m.id) return &m;
    }
    return nullptr;
}

ImportOutcome PlanImport(const ProjectTables& project, const Database& database, const DatabaseSource& source,
                         const ImportRequest& request) {
    return importing::Importer(project, database, source, request).Run();
}

}  // namespace vestrel::signaldb
