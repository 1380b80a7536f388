#pragma once

#include "signaldb/database_formats.h"
#include "signaldb/signal_database.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace vestrel::signaldb {

// Reads a CAN database file by its name's extension, with the reader the
// format table names. Throws DatabaseError for an extension no format has,
// and Error from ReadRegularFile for what is not a regular file or is larger
// than any database, before reading it.
Database ReadDatabaseFile(const std::filesystem::path& path, const ReadOptions& options = {});

// The two halves of ReadDatabaseFile, for a caller that keeps the bytes (the
// import records their SHA-256): the bytes of a file whose name says a
// database format, then the database they hold.
std::string ReadDatabaseBytes(const std::filesystem::path& path);
Database ParseDatabase(std::string_view bytes, const std::filesystem::path& path, const ReadOptions& options = {});

}  // namespace vestrel::signaldb
