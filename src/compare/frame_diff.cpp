#include "compare/side_diffs.h"

#include "can/can_frame.h"
#include "gateway/model_wording.h"
#include "inspect/bank_decoder.h"
#include "platform/text.h"

#include <algorithm>
#include <map>
#include <optional>
#include <tuple>

namespace vestrel::compare {

namespace {

using can::CobIdText;
using gateway::FrameName;
using gateway::GatewayDirection;
using gateway::GatewayFrame;

const char* DirectionText(FrameDirection d) { return d == FrameDirection::Receive ? "receive" : "transmit"; }

std::string Joined(const std::vector<std::string>& parts, const std::string& between = ", ") {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : between) + part;
    return text;
}

// Which frame of one side is which of the other.
struct FrameMatch {
    std::vector<int> newOfOld;  // -1: removed
    std::vector<int> oldOfNew;  // -1: added
    std::vector<bool> moved;    // per old frame: its place among the frames both sides hold changed
};

// The matched frames that are not on the longest chain of them that keeps
// its order on both sides: those moved, where inserting or removing frames
// only shifted the others.
void MarkMoved(FrameMatch& m) {
    std::vector<int> olds;
    for (std::size_t i = 0; i < m.newOfOld.size(); ++i)
        if (m.newOfOld[i] >= 0) olds.push_back(static_cast<int>(i));
    auto value = [&](int k) { return m.newOfOld[static_cast<std::size_t>(olds[static_cast<std::size_t>(k)])]; };
    std::vector<int> tails;  // per chain length, the chain's last element with the smallest value
    std::vector<int> before(olds.size(), -1);
    for (int k = 0; k < static_cast<int>(olds.size()); ++k) {
        const auto at = std::lower_bound(tails.begin(), tails.end(), value(k),
                                         [&](int t, int v) { return value(t) < v; });
        if (at != tails.begin()) before[static_cast<std::size_t>(k)] = *(at - 1);
        if (at == tails.end())
            tails.push_back(k);
        else
            *at = k;
    }
    std::vector<bool> kept(olds.size());
    for (int k = tails.empty() ? -1 : tails.back(); k >= 0; k = before[static_cast<std::size_t>(k)])
        kept[static_cast<std::size_t>(k)] = true;
    for (std::size_t k = 0; k < olds.size(); ++k)
        if (!kept[k]) m.moved[static_cast<std::size_t>(olds[k])] = true;
}

FrameMatch MatchFrames(const std::vector<GatewayFrame>& old, const std::vector<GatewayFrame>& now) {
    FrameMatch m{std::vector<int>(old.size(), -1), std::vector<int>(now.size(), -1), std::vector<bool>(old.size())};
    auto pair = [&](std::size_t i, std::size_t j) {
        m.newOfOld[i] = static_cast<int>(j);
        m.oldOfNew[j] = static_cast<int>(i);
    };
    // The k-th frame with a COB-ID on one side is the k-th with it on the other.
    std::map<std::uint32_t, std::vector<std::size_t>> newById;
    for (std::size_t j = 0; j < now.size(); ++j) newById[now[j].cobId].push_back(j);
    std::map<std::uint32_t, std::size_t> seen;
    for (std::size_t i = 0; i < old.size(); ++i) {
        const std::size_t k = seen[old[i].cobId]++;
        const auto it = newById.find(old[i].cobId);
        if (it != newById.end() && k < it->second.size()) pair(i, it->second[k]);
    }
    // Left over at the same position: one frame whose COB-ID changed.
    for (std::size_t i = 0; i < std::min(old.size(), now.size()); ++i)
        if (m.newOfOld[i] < 0 && m.oldOfNew[i] < 0) pair(i, i);
    MarkMoved(m);
    return m;
}

// A side's frames of one direction as the lines name them: a side read from
// banks borrows the mnemonic of the frame it matches on the other side.
std::vector<GatewayFrame> NamedFrames(const GatewayDirection& own, const GatewayDirection& other,
                                      const std::vector<int>& otherOfOwn) {
    std::vector<GatewayFrame> named;
    for (std::size_t i = 0; i < own.frames.size(); ++i) {
        const GatewayFrame& f = own.frames[i];
        GatewayFrame& n = named.emplace_back();
        n.cobId = f.cobId;
        n.length = f.length;
        n.remote = f.remote;
        n.mnemonic = f.mnemonic;
        const int o = otherOfOwn[i];
        if (n.mnemonic.empty() && o >= 0) n.mnemonic = other.frames[static_cast<std::size_t>(o)].mnemonic;
    }
    return named;
}

// One direction on both sides, as its lines need it.
struct DirectionPair {
    FrameDirection direction;
    const ComparedSide& oldSide;
    const ComparedSide& newSide;
    const GatewayDirection& old;
    const GatewayDirection& now;
    FrameMatch match;
    std::vector<GatewayFrame> oldNamed, newNamed;

    DirectionPair(FrameDirection d, const ComparedSide& o, const ComparedSide& n)
        : direction(d), oldSide(o), newSide(n), old(o.model->Direction(d)), now(n.model->Direction(d)),
          match(MatchFrames(old.frames, now.frames)), oldNamed(NamedFrames(old, now, match.newOfOld)),
          newNamed(NamedFrames(now, old, match.oldOfNew)) {}

    bool BothProjects() const { return oldSide.project && newSide.project; }
    std::string NewName(int j, gateway::FrameNameParts parts = {.direction = true}) const {
        return FrameName(direction, newNamed[static_cast<std::size_t>(j)], j, parts);
    }
    std::string OldName(int i, gateway::FrameNameParts parts = {.direction = true}) const {
        return FrameName(direction, oldNamed[static_cast<std::size_t>(i)], i, parts);
    }
};

std::string QuotedMnemonic(const std::string& mnemonic) {
    return mnemonic.empty() ? "none" : gateway::MnemonicSuffix(mnemonic).substr(1);
}

std::string Arrow(const std::string& what, const std::string& a, const std::string& b) {
    return what + " " + a + " -> " + b;
}

// The lines of frame j of the new side, matched with frame i of the old one.
void MatchedFrameLines(const DirectionPair& p, int i, int j, Comparison& out) {
    const GatewayFrame& a = p.old.frames[static_cast<std::size_t>(i)];
    const GatewayFrame& b = p.now.frames[static_cast<std::size_t>(j)];
    std::vector<std::string> parts;
    if (a.cobId != b.cobId) parts.push_back(Arrow("COB-ID", CobIdText(a.cobId), CobIdText(b.cobId)));
    if (a.length != b.length) parts.push_back(Arrow("Dimensin", std::to_string(a.length), std::to_string(b.length)));
    if (p.direction == FrameDirection::Transmit && a.remote != b.remote)
        parts.push_back(Arrow("RTR", a.remote ? "Y" : "N", b.remote ? "Y" : "N"));
    if (p.match.moved[static_cast<std::size_t>(i)]) {
        const std::string place = "from position " + std::to_string(i + 1) + " to " + std::to_string(j + 1);
        parts.push_back(parts.empty() ? "only moved, " + place : "moved " + place);
    }
    if (!parts.empty()) out.changes.push_back({Topic::Frame, p.NewName(j) + ": " + Joined(parts)});
    if (!p.BothProjects()) return;
    if (a.mnemonic != b.mnemonic)
        out.changes.push_back({Topic::Frame,
                               p.NewName(j, {.direction = true, .mnemonic = false}) + ": " +
                                   Arrow("Mnemonic", QuotedMnemonic(a.mnemonic), QuotedMnemonic(b.mnemonic)) +
                                   NeverReaches("the banks keep no mnemonics"),
                               false});
    const auto& da = p.oldSide.project->Of(p.direction).dimensin;
    const auto& db = p.newSide.project->Of(p.direction).dimensin;
    const auto ia = static_cast<std::size_t>(i), jb = static_cast<std::size_t>(j);
    if (a.length == b.length && ia < da.size() && jb < db.size() && da[ia] && db[jb] && *da[ia] != *db[jb])
        out.changes.push_back({Topic::Frame,
                               p.NewName(j) + ": " + Arrow("Dimensin", std::to_string(*da[ia]), std::to_string(*db[jb])) +
                                   NeverReaches("the banks hold Dimensin " + std::to_string(a.length) + " either way"),
                               false});
}

// The frame lines of a direction; returns how many reach the device.
std::size_t FrameLines(const DirectionPair& p, Comparison& out) {
    const std::size_t before = out.changes.size();
    const gateway::FrameNameParts whole{.direction = true, .dimensin = true};
    for (std::size_t j = 0; j < p.now.frames.size(); ++j) {
        const int i = p.match.oldOfNew[j];
        if (i >= 0) {
            MatchedFrameLines(p, i, static_cast<int>(j), out);
            continue;
        }
        const bool remote = p.direction == FrameDirection::Transmit && p.now.frames[j].remote;
        out.changes.push_back({Topic::Frame, p.NewName(static_cast<int>(j), whole) + ": added" + (remote ? ", RTR Y" : "")});
    }
    for (std::size_t i = 0; i < p.old.frames.size(); ++i)
        if (p.match.newOfOld[i] < 0) out.changes.push_back({Topic::Frame, p.OldName(static_cast<int>(i), whole) + ": removed"});
    return static_cast<std::size_t>(std::count_if(out.changes.begin() + static_cast<std::ptrdiff_t>(before),
                                                  out.changes.end(), [](const Change& c) { return c.reachesDevice; }));
}

// One mapping record as a register sees it.
struct Feed {
    int frame = 0;     // the same number on both sides for one frame; below 0 when NrPdo names none
    int position = 0;  // the frame's index on its side
    int nrPdo = 0;
    int high = 0, low = 0;
    std::size_t record = 0;

    bool SameAs(const Feed& other) const { return frame == other.frame && high == other.high && low == other.low; }
};
using Feeds = std::vector<Feed>;

constexpr int kNewFrame = 1 << 20;  // frames only the new side holds are numbered from here

// Each register's records in record order; a frame is numbered as on the
// old side, so that a register keeps its frame wherever that frame moved.
std::map<std::uint16_t, Feeds> FeedsOf(const GatewayDirection& direction, const std::vector<int>* oldOfNew) {
    std::map<std::uint16_t, Feeds> feeds;
    for (std::size_t r = 0; r < direction.mappings.size(); ++r) {
        const gateway::GatewayMapping& m = direction.mappings[r];
        Feed f{-1 - m.frame, -1, m.frame, m.HighByte(), m.LowByte(), r};
        if (direction.FrameOf(m)) {
            f.position = m.frame - 1;
            const int old = oldOfNew ? (*oldOfNew)[static_cast<std::size_t>(f.position)] : f.position;
            f.frame = old >= 0 ? old : kNewFrame + f.position;
        }
        feeds[m.reg].push_back(f);
    }
    return feeds;
}

std::string HalfName(int nibble) { return nibble == 0 ? "none" : "B" + std::to_string(nibble); }

class RegisterWords {
public:
    explicit RegisterWords(const DirectionPair& p) : p_(p) {}

    std::string FrameOf(const Feed& f, bool old) const {
        if (f.position < 0)
            return "NrPdo " + std::to_string(f.nrPdo) + ", which names no " + DirectionText(p_.direction) + " frame";
        return old ? p_.OldName(f.position) : p_.NewName(f.position);
    }
    std::string FeedsText(const Feeds& feeds, bool old) const {
        std::vector<std::string> texts;
        for (const Feed& f : feeds)
            texts.push_back("high byte " + HalfName(f.high) + ", low byte " + HalfName(f.low) + " of " + FrameOf(f, old));
        return Joined(texts, " and ");
    }
    // What changed of a register, or nothing.
    std::optional<std::string> Change(const Feeds& o, const Feeds& n) const {
        auto same = [](const Feed& a, const Feed& b) { return a.SameAs(b); };
        if (std::equal(o.begin(), o.end(), n.begin(), n.end(), same)) return std::nullopt;
        if (o.empty()) return "added, " + FeedsText(n, false);
        if (n.empty()) return "removed (it had " + FeedsText(o, true) + ")";
        if (o.size() == 1 && n.size() == 1) {
            const Feed& a = o.front();
            const Feed& b = n.front();
            std::vector<std::string> halves;
            if (a.high != b.high) halves.push_back(Arrow("high byte", HalfName(a.high), HalfName(b.high)));
            if (a.low != b.low) halves.push_back(Arrow("low byte", HalfName(a.low), HalfName(b.low)));
            if (a.frame == b.frame) return Joined(halves) + ", of " + FrameOf(b, false);
            const bool receive = p_.direction == FrameDirection::Receive;
            std::string text = std::string(receive ? "now fed from " : "now feeding ") + FrameOf(b, false) +
                               " instead of " + FrameOf(a, true);
            return halves.empty() ? text : text + ", " + Joined(halves);
        }
        if (std::is_permutation(o.begin(), o.end(), n.begin(), n.end(), same)) return "the same records in another order";
        return FeedsText(o, true) + " -> " + FeedsText(n, false);
    }

private:
    const DirectionPair& p_;
};

// The numbers the project files give for a register's records.
std::string IndexTexts(const Feeds& feeds, const ProjectValues::Direction& values) {
    std::vector<std::int64_t> numbers;
    for (const Feed& f : feeds)
        if (f.record < values.index.size() && values.index[f.record]) numbers.push_back(*values.index[f.record]);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<std::string> texts;
    for (const std::int64_t n : numbers) texts.push_back(std::to_string(n));
    return Joined(texts);
}

using FeedKey = std::vector<std::tuple<int, int, int>>;
FeedKey KeyOf(const Feeds& feeds) {
    FeedKey key;
    for (const Feed& f : feeds) key.emplace_back(f.frame, f.high, f.low);
    return key;
}

// A register that only the old side has, fed exactly as one that only the
// new side has: one register whose number changed. Gives old -> new number.
std::map<std::uint16_t, std::uint16_t> Renumbered(const std::map<std::uint16_t, std::pair<Feeds, Feeds>>& both) {
    std::map<FeedKey, std::vector<std::uint16_t>> added;
    for (const auto& [reg, feeds] : both)
        if (feeds.first.empty()) added[KeyOf(feeds.second)].push_back(reg);
    std::map<std::uint16_t, std::uint16_t> pairs;
    for (const auto& [reg, feeds] : both) {
        if (!feeds.second.empty()) continue;
        const auto it = added.find(KeyOf(feeds.first));
        if (it == added.end() || it->second.empty()) continue;
        pairs[reg] = it->second.front();
        it->second.erase(it->second.begin());
    }
    return pairs;
}

std::size_t RegisterLines(const DirectionPair& p, Comparison& out) {
    const std::map<std::uint16_t, Feeds> old = FeedsOf(p.old, nullptr);
    const std::map<std::uint16_t, Feeds> now = FeedsOf(p.now, &p.match.oldOfNew);
    std::map<std::uint16_t, std::pair<Feeds, Feeds>> both;
    for (const auto& [reg, feeds] : old) both[reg].first = feeds;
    for (const auto& [reg, feeds] : now) both[reg].second = feeds;
    const std::map<std::uint16_t, std::uint16_t> renumbered = Renumbered(both);
    std::vector<bool> pairedNew(65536);
    for (const auto& [from, to] : renumbered) pairedNew[to] = true;
    const RegisterWords words(p);
    std::size_t reaching = 0;
    for (const auto& [reg, feeds] : both) {
        const std::string subject = std::string(DirectionText(p.direction)) + " register " + std::to_string(reg) + ": ";
        if (pairedNew[reg] && feeds.first.empty()) continue;
        if (const auto to = renumbered.find(reg); to != renumbered.end()) {
            out.changes.push_back({Topic::Register, std::string(DirectionText(p.direction)) + " register " +
                                                        std::to_string(reg) + " -> " + std::to_string(to->second) +
                                                        ": " + words.FeedsText(both.at(to->second).second, false)});
            ++reaching;
            continue;
        }
        if (const std::optional<std::string> change = words.Change(feeds.first, feeds.second)) {
            out.changes.push_back({Topic::Register, subject + *change});
            ++reaching;
            continue;
        }
        if (!p.BothProjects()) continue;
        const std::string a = IndexTexts(feeds.first, p.oldSide.project->Of(p.direction));
        const std::string b = IndexTexts(feeds.second, p.newSide.project->Of(p.direction));
        if (a != b)
            out.changes.push_back({Topic::Register,
                                   subject + Arrow("Index", a, b) +
                                       NeverReaches("the banks keep register numbers in 16 bits, " + std::to_string(reg) +
                                                    " either way"),
                                   false});
    }
    return reaching;
}

const std::vector<DecodedMapping>& RecordsOf(const ComparedSide& side, FrameDirection d) {
    const DecodedBanks& banks = side.model->Banks();
    return d == FrameDirection::Receive ? banks.receiveMappings : banks.transmitMappings;
}

// "receive frames 1 and 4 have COB-ID 0x181: ...", per COB-ID that several
// receive frames of the side share.
std::vector<std::string> SharedCobIds(const ComparedSide& side) {
    std::map<std::uint32_t, std::vector<int>> positions;
    const auto& frames = side.model->Receive().frames;
    for (std::size_t i = 0; i < frames.size(); ++i) positions[frames[i].cobId].push_back(static_cast<int>(i) + 1);
    std::vector<std::string> texts;
    for (auto& [id, numbers] : positions) {
        if (numbers.size() < 2) continue;
        std::vector<std::string> all;
        for (const int n : numbers) all.push_back(std::to_string(n));
        std::string text = "receive frames " + JoinedWithAnd(all) + " have COB-ID " + CobIdText(id) + ": ";
        if (side.model->Mode() == CanMode::Can20A) {
            const int selected = gateway::LookupSelects(numbers);
            all.erase(std::find(all.begin(), all.end(), std::to_string(selected)));
            text += gateway::LookupSelectionText(selected, numbers.size()) + "; " + (all.size() == 1 ? "frame " : "frames ") +
                    JoinedWithAnd(all) + (all.size() == 1 ? " never receives" : " never receive");
        } else {
            text += "the banks hold them all, and which one the device takes is not known";
        }
        texts.push_back(std::move(text));
    }
    return texts;
}

void SharedCobIdNotes(const ComparedSide& old, const ComparedSide& now, Comparison& out) {
    const std::vector<std::string> a = SharedCobIds(old);
    const std::vector<std::string> b = SharedCobIds(now);
    for (const std::string& text : a)
        out.notes.push_back((std::find(b.begin(), b.end(), text) != b.end() ? "old and new: " : "old: ") + text);
    for (const std::string& text : b)
        if (std::find(a.begin(), a.end(), text) == a.end()) out.notes.push_back("new: " + text);
}

}  // namespace

void CompareFrames(const ComparedSide& old, const ComparedSide& now, Comparison& out) {
    std::vector<Change> registers;
    for (const FrameDirection d : {FrameDirection::Receive, FrameDirection::Transmit}) {
        const DirectionPair p(d, old, now);
        const std::size_t frameLines = FrameLines(p, out);
        Comparison own;
        const std::size_t registerLines = RegisterLines(p, own);
        // Nothing else differs but the order of the records: still bytes
        // that reach the device.
        if (frameLines == 0 && registerLines == 0 && RecordsOf(old, d) != RecordsOf(now, d))
            own.changes.push_back({Topic::Register, std::string(DirectionText(d)) +
                                                        " mapping records: the same registers, fed alike, in another "
                                                        "record order"});
        registers.insert(registers.end(), own.changes.begin(), own.changes.end());
    }
    out.changes.insert(out.changes.end(), registers.begin(), registers.end());
    SharedCobIdNotes(old, now, out);
}

}  // namespace vestrel::compare
