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

Database ReadDatabaseFile(const std::filesystem::path& path, std::optional<int> nodeId) {
    const std::string name = path.string();
    const auto format = FormatOfFileName(path);
    if (!format) throw DatabaseError(name, 0, "not a CAN database: the name ends in .dbc, .eds or .dcf");
    const std::string bytes = ReadRegularFile(path, kMaxDatabaseBytes);
    if (*format == DatabaseFormat::Dbc) return ReadDbc(bytes, name);
    return ReadEds(bytes, name, nodeId);
}

}  // namespace vestrel::signaldb
