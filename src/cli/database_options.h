#pragma once

#include "cli/arguments.h"
#include "signaldb/register_plan.h"
#include "signaldb/signal_database.h"

#include <filesystem>
#include <optional>

namespace vestrel {

// --node N: a CANopen node id, 1 to 127; nothing when not given.
std::optional<int> NodeOption(const Arguments& arguments);

// --word-order high-first|low-first (default high-first).
signaldb::WordOrder WordOrderOption(const Arguments& arguments);

// Reads the database file's bytes and the database they hold; an EDS that
// needs a node id without one is a usage error.
signaldb::Database ParseDatabaseOperand(std::string_view bytes, const std::filesystem::path& file,
                                        std::optional<int> node);

}  // namespace vestrel
