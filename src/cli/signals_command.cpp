// signals: what a CAN database holds and what the import would make of it.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "project/integer_text.h"
#include "signaldb/database_file.h"
#include "signaldb/eds_reader.h"
#include "signaldb/register_plan.h"
#include "signaldb/signal_listing.h"

#include <ostream>

namespace vestrel {

namespace {

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

}  // namespace

int SignalsCommand(const std::vector<std::string>& args, CliContext& cli) {
    const Arguments a(args, {{"node", true, "a node id (1 to 127)"},
                             {"word-order", true, "high-first or low-first"}});
    a.ExpectOperands(1, "signals DATABASE [--node N] [--word-order high-first|low-first]");
    const std::optional<int> node = NodeOption(a);
    const WordOrder order = WordOrderOption(a);
    Database database;
    try {
        database = ReadDatabaseFile(a.Operands()[0], node);
    } catch (const NodeIdNeeded& e) {
        throw UsageError{std::string(e.what()) + "; give the node id with --node N"};
    }
    if (node && database.format == DatabaseFormat::Dbc) cli.Say("note: a DBC has no node id; --node is not used");
    cli.out << DatabaseListing(database, PlanDatabase(database, std::nullopt, order));
    return kExitOk;
}

}  // namespace vestrel
