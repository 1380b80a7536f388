// vestrel-cli workspace: where the application keeps its workspace, made
// ready as the application's start makes it, for a user of the command line
// alone.
#include "cli/arguments.h"
#include "cli/command_table.h"
#include "cli/commands.h"
#include "platform/error.h"
#include "platform/printable_text.h"
#include "workspace/workspace.h"

#include <ostream>

namespace vestrel {

int WorkspaceCommand(const Arguments& a, CliContext& cli) {
    a.ExpectOperands(0);
    Result<PreparedWorkspace> prepared = PrepareWorkspace(ExecutableDir(), UserWorkspaceRoot());
    if (!prepared) throw Error(prepared.Why());
    if (!prepared->seededFrom.empty())
        cli.Done("Filled the empty workspace with the demo workspace of " + prepared->seededFrom);
    cli.out << PrintableText(prepared->root, LineBreaks::OneLine) << '\n';
    return kExitOk;
}

}  // namespace vestrel
