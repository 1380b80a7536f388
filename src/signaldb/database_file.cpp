#include "signaldb/database_file.h"

#include "platform/file_util.h"
#include "platform/text.h"
#include "signaldb/dbc_reader.h"
#include "signaldb/eds_reader.h"

namespace vestrel::signaldb {

std::optional<DatabaseFormat> FormatOfFileName(const std::filesystem::path& path) {
    const std::string extension = path.extension().string();
    if (EqualNoCase(extension, ".dbc")) return DatabaseFormat::Dbc;
    if (EqualNoCase(extension, ".eds")) return DatabaseFormat::Eds;
    if (EqualNoCase(extension, ".dcf")) return DatabaseFormat::Dcf;
    return std::nullopt;
}

namespace {

DatabaseFormat RequireFormat(const std::filesystem::path& path) {
    const auto format = FormatOfFileName(path);
    if (!format) throw DatabaseError(path.string(), 0, "not a CAN database: the name ends in .dbc, .eds or .dcf");
    return *format;
}

}  // namespace

std::string ReadDatabaseBytes(const std::filesystem::path& path) {
    RequireFormat(path);
    return ReadRegularFile(path, kMaxDatabaseBytes);
}

Database ParseDatabase(std::string_view bytes, const std::filesystem::path& path, std::optional<int> nodeId) {
    if (RequireFormat(path) == DatabaseFormat::Dbc) return ReadDbc(bytes, path.string());
    return ReadEds(bytes, path.string(), nodeId);
}

Database ReadDatabaseFile(const std::filesystem::path& path, std::optional<int> nodeId) {
    return ParseDatabase(ReadDatabaseBytes(path), path, nodeId);
}

}  // namespace vestrel::signaldb
