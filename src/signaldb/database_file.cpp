#include "signaldb/database_file.h"

#include "platform/file_util.h"

namespace vestrel::signaldb {

namespace {

const DatabaseFormatInfo& RequireFormat(const std::filesystem::path& path) {
    const DatabaseFormatInfo* format = FormatOfFileName(path);
    if (!format) throw DatabaseError(path.string(), 0, "not a CAN database: the name ends in " + ExtensionsText());
    return *format;
}

}  // namespace

std::string ReadDatabaseBytes(const std::filesystem::path& path) {
    RequireFormat(path);
    return ReadRegularFile(path, kMaxDatabaseBytes);
}

Database ParseDatabase(std::string_view bytes, const std::filesystem::path& path, const ReadOptions& options) {
    return RequireFormat(path).read(bytes, path.string(), options);
}

Database ReadDatabaseFile(const std::filesystem::path& path, const ReadOptions& options) {
    return ParseDatabase(ReadDatabaseBytes(path), path, options);
}

}  // namespace vestrel::signaldb
