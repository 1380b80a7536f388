#include "cli/database_options.h"

#include "project/integer_text.h"
#include "signaldb/database_file.h"
#include "signaldb/eds_reader.h"

namespace vestrel {

using namespace signaldb;

std::optional<int> NodeOption(const Arguments& a) {
    const auto text = a.Value("node");
    if (!text) return std::nullopt;
    const auto node = ParseIntegerText(*text);
    if (!node || *node < kMinNodeId || *node > kMaxNodeId)
        throw UsageError{"--node takes a CANopen node id, 1 to 127, not '" + *text + "'"};
    return *node;
}

WordOrder WordOrderOption(const Arguments& a) {
    const auto text = a.Value("word-order");
    if (!text) return WordOrder::HighFirst;
    if (const auto order = WordOrderOfWord(*text)) return *order;
    throw UsageError{"--word-order takes high-first or low-first, not '" + *text + "'"};
}

ReadOptions DatabaseReadOptions(const Arguments& a) {
    ReadOptions options;
    options.nodeId = NodeOption(a);
    options.nodeIdCobIds = a.Has("node-cob-ids");
    options.strict = a.Has("strict");
    return options;
}

Database ParseDatabaseOperand(std::string_view bytes, const std::filesystem::path& file, const Arguments& a,
                              const CliContext& cli) {
    const ReadOptions options = DatabaseReadOptions(a);
    Database database;
    try {
        database = ParseDatabase(bytes, file, options);
    } catch (const NodeIdNeeded& e) {
        throw UsageError{std::string(e.what()) + "; give the node id with --node N"};
    }
    for (const DatabaseNote& note : database.notes) cli.Say("note: " + NoteText(database, note));
    if (const std::string unused = UnusedNodeIdNote(database.format, options.nodeId, "--node"); !unused.empty())
        cli.Say("note: " + unused);
    if (options.nodeIdCobIds && !FormatInfo(database.format).takesNodeId)
        cli.Say(std::string("note: a ") + FormatName(database.format) + " has no node id; --node-cob-ids is not used");
    return database;
}

}  // namespace vestrel
