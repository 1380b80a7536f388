#pragma once

#include "signaldb/project_tables.h"

#include <cstdint>
#include <string>
#include <vector>

// Taking imported signals out of a project again: their signals.xml entries,
// the mapping rows of registers no remaining signal holds, and the frames
// the import had added once nothing maps them. Shared by remove-signals and
// by the import's prune.
namespace vestrel::signaldb {

struct RemovedRegister {
    FrameDirection direction = FrameDirection::Receive;
    std::int32_t index = 0;
    std::string line;  // what it held, as RegisterLine said it before the removal
};

struct RemovalLog {
    std::vector<RemovedRegister> registers;
    std::vector<std::string> notes;  // frames removed, and frames kept because something else maps them
};

// Removes the signals named `names` from signals.xml message `entry` (all
// of them when `names` is empty), with the mapping rows of the registers
// none of its remaining signals holds. A message left without signals
// leaves signals.xml; its frame goes too when the import had added it and
// no row maps it any more. Marks what changed in `tables`.
void RemoveImported(ProjectTables& tables, std::size_t entry, const std::vector<std::string>& names,
                    RemovalLog& log);

// remove-signals: each target is MESSAGE (every signal imported for it, in
// either direction) or MESSAGE.SIGNAL, by the names signals.xml holds.
// Throws ImportRefused, before anything changes, for names it does not hold.
RemovalLog RemoveSignals(ProjectTables& tables, const std::vector<std::string>& targets);

}  // namespace vestrel::signaldb
