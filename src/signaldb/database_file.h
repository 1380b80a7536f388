#pragma once

#include "signaldb/signal_database.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vestrel::signaldb {

// The format a file name says: .dbc, .eds or .dcf, letter case ignored.
std::optional<DatabaseFormat> FormatOfFileName(const std::filesystem::path& path);

// Reads a CAN database file by its name's extension: a DBC (ReadDbc) or a
// CANopen EDS/DCF (ReadEds, with `nodeId`; a DBC has no use for it). Throws
// DatabaseError for another extension, and Error from ReadRegularFile for
// what is not a regular file or is larger than any database, before
// reading it.
Database ReadDatabaseFile(const std::filesystem::path& path, std::optional<int> nodeId = {});

// The two halves of ReadDatabaseFile, for a caller that keeps the bytes (the
// import records their SHA-256): the bytes of a file whose name says a
// database format, then the database they hold.
std::string ReadDatabaseBytes(const std::filesystem::path& path);
Database ParseDatabase(std::string_view bytes, const std::filesystem::path& path, std::optional<int> nodeId = {});

}  // namespace vestrel::signaldb
