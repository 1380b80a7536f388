// signals: what a CAN database holds and what the import would make of it.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/database_options.h"
#include "signaldb/database_file.h"
#include "signaldb/register_plan.h"
#include "signaldb/signal_listing.h"

#include <ostream>

namespace vestrel {

using namespace signaldb;

int SignalsCommand(const Arguments& a, CliContext& cli) {
    a.ExpectOperands(1);
    const WordOrder order = WordOrderOption(a);
    const Database database = ParseDatabaseOperand(ReadDatabaseBytes(a.Operands()[0]), a.Operands()[0], a, cli);
    cli.out << DatabaseListing(database, PlanDatabase(database, std::nullopt, order));
    return kExitOk;
}

}  // namespace vestrel
