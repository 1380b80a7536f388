#pragma once

#include "cli/arguments.h"
#include "cli/commands.h"
#include "signaldb/database_formats.h"
#include "signaldb/register_plan.h"
#include "signaldb/signal_database.h"

#include <filesystem>
#include <optional>

namespace vestrel {

// --node N: a CANopen node id, 1 to 127; nothing when not given.
std::optional<int> NodeOption(const Arguments& arguments);

// --word-order high-first|low-first (default high-first).
signaldb::WordOrder WordOrderOption(const Arguments& arguments);

// How the database options read a file: --node, --node-cob-ids, --strict.
signaldb::ReadOptions DatabaseReadOptions(const Arguments& arguments);

// The database the bytes of `file` hold, read with the command's options;
// an EDS that needs a node id without one is a usage error. Says the
// reader's notes (what it skipped) and that a node id goes unused where the
// format takes none.
signaldb::Database ParseDatabaseOperand(std::string_view bytes, const std::filesystem::path& file,
                                        const Arguments& arguments, const CliContext& cli);

}  // namespace vestrel
