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
    if (!text || *text == "high-first") return WordOrder::HighFirst;
    if (*text == "low-first") return WordOrder::LowFirst;
    throw UsageError{"--word-order takes high-first or low-first, not '" + *text + "'"};
}

Database ParseDatabaseOperand(std::string_view bytes, const std::filesystem::path& file, std::optional<int> node) {
    try {
        return ParseDatabase(bytes, file, node);
    } catch (const NodeIdNeeded& e) {
        throw UsageError{std::string(e.what()) + "; give the node id with --node N"};
    }
}

}  // namespace vestrel
