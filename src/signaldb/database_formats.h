#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The formats of CAN databases this tool reads, in one table: a format is
// one entry here and its reader. The readers, the CLI, the listing and the
// "Import signals" window all ask this table.
namespace vestrel::signaldb {

struct Database;

enum class DatabaseFormat { Dbc, Eds, Dcf };

// How a database is read, for the formats that use each part.
struct ReadOptions {
    // CANopen: the node id that $NODEID stands for.
    std::optional<int> nodeId = std::nullopt;
    // CANopen: a PDO's COB-ID as its DefaultValue gives it with the node id,
    // over a ParameterValue the file holds (which keeps another node's ids).
    bool nodeIdCobIds = false;
    // DBC: a statement that cannot be read refuses the whole file, rather
    // than being skipped with a note (comments, value tables, attributes) or
    // refusing its message alone.
    bool strict = false;
};

struct DatabaseFormatInfo {
    DatabaseFormat format;
    const char* name;  // "DBC", as listings say it
    std::span<const std::string_view> extensions;  // ".dbc", letter case ignored
    bool takesNodeId;  // its COB-IDs may depend on a node id
    // Reads the bytes of such a file; throws DatabaseError naming `fileName`.
    Database (*read)(std::string_view bytes, const std::string& fileName, const ReadOptions& options);
};

// Every format, in the order the file dialog and the messages list them.
std::span<const DatabaseFormatInfo> DatabaseFormats();

const DatabaseFormatInfo& FormatInfo(DatabaseFormat format);

// "DBC", "EDS", "DCF".
const char* FormatName(DatabaseFormat format);

// The format a file name's extension says, or null.
const DatabaseFormatInfo* FormatOfFileName(const std::filesystem::path& path);

// ".dbc, .eds or .dcf": every extension, for messages.
std::string ExtensionsText();
// "*.dbc *.eds *.dcf": every extension as a file dialog's pattern.
std::string ExtensionPatterns();

// "a DBC has no node id; --node is not used", for a node id given to a
// format that takes none; empty where the format takes one or none was given.
std::string UnusedNodeIdNote(DatabaseFormat format, std::optional<int> nodeId, std::string_view optionName);

}  // namespace vestrel::signaldb
