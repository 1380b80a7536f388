#pragma once

#include "signaldb/import_selection.h"
#include "signaldb/project_tables.h"
#include "signaldb/register_plan.h"
#include "signaldb/signal_database.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The import of a database's signals into a project: frames and mapping rows
// from the register plan, their meaning into signals.xml.
//
// - Registers: the one given (MESSAGE.SIGNAL=REGISTER) where given; those a
//   re-imported message had; otherwise in order from the first register
//   (one above the highest the direction uses; in a direction that uses
//   none, 0 for receive and one above every receive register for transmit),
//   passing over the numbers given or kept in the same import and every
//   number the other direction uses, so that no address is both read and
//   written. Signals that share a data byte share its register.
// - A frame of the project with the message's COB-ID is mapped, keeping its
//   Mnemonic; otherwise, for a message imported before, the frame that
//   holds its registers, keeping the COB-ID the user gave it; otherwise a
//   frame is added after the others (the message name as Mnemonic, the DLC
//   as Dimensin).
// - Refused, before anything is written and with the numbers: a register in
//   use by a row the import does not replace, two signals given one
//   register, registers above 65535, a reused frame with a smaller Dimensin
//   than the signals need, a remote frame, a hand-made row on the bytes the
//   import maps, and more frames or mapping rows than the banks hold.
// - Importing a message again updates its rows in place: the signals it had
//   are imported again with the ones newly named. Signals and messages
//   imported from the same database that have left it are reported, and
//   removed with `prune`.
namespace vestrel::signaldb {

// The database file as signals.xml records it.
struct DatabaseSource {
    std::string path;    // relative to the project folder, "/" between names
    std::string sha256;  // of its bytes
};

// `file` as seen from the project folder, and the SHA-256 of `bytes`.
DatabaseSource DescribeDatabase(const std::filesystem::path& projectDir, const std::filesystem::path& file,
                                std::string_view bytes);

struct ImportRequest {
    std::vector<DirectionPicks> picks;  // receive, transmit or both
    std::optional<std::int32_t> firstRegister;          // where each direction's numbering starts
    std::optional<std::int32_t> firstTransmitRegister;  // where the transmit one starts, over firstRegister
    WordOrder order = WordOrder::HighFirst;
    bool prune = false;
    // Rows of a frame with the message's COB-ID that map exactly the data
    // bytes of the registers the import gives, one register after the other,
    // are taken as this import's, with their numbers: how a project whose
    // signals.xml was lost or damaged gets its import back.
    bool adoptRows = false;
    // How the user asks for that, for the refusals.
    std::string adoptRowsOption = "--adopt-rows";
    // How the user takes a PDO's COB-ID from its node id instead, for the notes.
    std::string takeNodeIdCobIds = "--node-cob-ids";
};

struct AssignedRegister {
    FrameDirection direction = FrameDirection::Receive;
    std::int32_t index = 0;
    std::size_t message = 0;  // into the outcome's signalFile.messages
    bool remapped = false;    // an earlier import had mapped it
};

struct ImportOutcome {
    ProjectTables tables;  // the project after the import
    std::vector<AssignedRegister> assigned;  // per direction, in the order they were numbered
    // What the user should know besides: frames added or reused, signals
    // left out and why, what left the database and whether it was removed.
    std::vector<std::string> notes;
};

// The signals.xml entry that an import of `message` in `direction` from
// `database` takes over: the one with its COB-ID, or the one imported from
// the same database under its name whose frame the user has given another
// COB-ID since (a frame whose COB-ID the database changed is a new one).
// Null when there is none.
const ImportedMessage* EntryOfMessage(const ProjectTables& tables, FrameDirection direction, const Message& message,
                                      const std::string& database);

// Works the import out on `project` without touching any file. Throws
// ImportRefused with every reason found.
ImportOutcome PlanImport(const ProjectTables& project, const Database& database, const DatabaseSource& source,
                         const ImportRequest& request);

}  // namespace vestrel::signaldb
