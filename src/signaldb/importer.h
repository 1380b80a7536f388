#pragma once

#include "signaldb/import_selection.h"
#include "signaldb/project_tables.h"
#include "signaldb/register_plan.h"
#include "signaldb/signal_database.h"
#include "signaldb/signal_import.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The work of one import, shared by the files that do its parts
// (signal_import.cpp: choosing, locating and applying; import_numbering.cpp:
// numbering the registers). Not for use outside them.
namespace vestrel::signaldb::importing {

// The registers of one group of data bytes: plan registers `first` to
// `first + count - 1`, holding the signals `members` (subset indexes).
struct Group {
    int first = 0, count = 0;
    std::vector<std::size_t> members;
    std::int32_t number = -1;  // the first register's number; -1 until numbered
};

// One message as this import maps it.
struct Planned {
    FrameDirection direction = FrameDirection::Receive;
    const Message* source = nullptr;
    Message subset;  // the signals imported: named, or all, with those imported before
    MessagePlan plan;
    std::vector<bool> named;                          // per subset signal: named in the list
    std::vector<std::optional<std::int32_t>> given;   // per subset signal
    std::vector<std::string> keptStale;               // signals imported before that left the database
    std::vector<Group> groups;
    std::optional<std::size_t> previous;  // its signals.xml entry
    std::optional<std::size_t> frame;     // the project's frame with its COB-ID
    std::uint32_t cobId = 0;              // the frame's: the message's, or one the user gave the frame since
    std::set<std::int32_t> replaced;      // registers of the entry this import maps anew
};

std::string Name(const Message& m);
std::string Name(const Message& m, const Signal& s);
std::string NumberList(const std::vector<std::int32_t>& numbers);
// The group of the message that the import gives register `n` to, or null.
const Group* TakenBy(const Planned& p, std::int32_t n);
// The highest register a direction's rows map, -1 for none.
std::int32_t HighestMapped(const DirectionTables& t);
// The frame whose rows map every register of `entry` as it was imported: the
// entry's frame after the user gave it another COB-ID.
std::optional<std::size_t> FrameHolding(const DirectionTables& t, const ImportedMessage& entry);

class Importer {
public:
    Importer(const ProjectTables& project, const Database& db, const DatabaseSource& source, const ImportRequest& request)
        : project_(project), db_(db), source_(source), request_(request) {
        out_.tables = project;
    }

    ImportOutcome Run() {
        for (const DirectionPicks& picks : request_.picks)
            for (const MessagePick& pick : picks.messages) Select(picks.direction, pick);
        Throw();
        HandleLeftDatabase();
        for (Planned& p : planned_) Locate(p);
        // The registers given or kept first, in both directions, so that the numbering of each passes over them.
        for (Planned& p : planned_)
            for (Group& g : p.groups) NumberGroup(p, g);
        for (FrameDirection d : {FrameDirection::Receive, FrameDirection::Transmit}) Number(d);
        for (const Planned& p : planned_) CheckFrame(p);
        Throw();
        for (const Planned& p : planned_) Apply(p);
        NoteAddedFrames();
        CheckCapacity();
        Throw();
        return std::move(out_);
    }

private:
    void Throw() {
        if (!refusals_.empty()) throw ImportRefused(std::move(refusals_));
    }

    void Select(FrameDirection direction, const MessagePick& pick);
    void Refusals(Planned& p);
    void HandleLeftDatabase();
    void Locate(Planned& p);
    void Adopt(Planned& p);
    void Number(FrameDirection direction);
    std::set<std::int32_t> Mapped(FrameDirection direction) const;
    void NumberGroup(Planned& p, Group& g);
    std::vector<const ImportedSignal*> Stale(const Planned& p) const;
    void Settle(Planned& p);
    void CheckCollisions(FrameDirection direction, std::int32_t next);
    void CheckFrame(const Planned& p);
    void Apply(const Planned& p);
    ImportedMessage Entry(const Planned& p, bool newFrame) const;
    void NoteAddedFrames();
    void CheckCapacity();

    const ProjectTables& project_;
    const Database& db_;
    const DatabaseSource& source_;
    const ImportRequest& request_;
    ImportOutcome out_;
    std::vector<Planned> planned_;
    std::vector<std::string> refusals_;
    std::vector<const Message*> added_[2];  // frames added, receive and transmit
};

}  // namespace vestrel::signaldb::importing
