#include "cli/cli.h"

#include "workspace/workspace.h"
#include "cli/arguments.h"
#include "cli/command_table.h"
#include "platform/error.h"
#include "platform/file_set.h"
#include "platform/printable_text.h"
#include "vestrel/version.h"

#include <ostream>

namespace vestrel {

namespace {

#ifdef VESTREL_CLI_BENCH
constexpr bool kWithBench = true;
#else
constexpr bool kWithBench = false;
#endif

// Runs the command that the arguments name: the function its entry in the
// command table carries (cli/command_table.cpp), given the arguments parsed
// as the entry declares them.
int Dispatch(const std::vector<std::string>& args, CliContext& cli) {
    if (args.empty()) throw UsageError{"a command is needed"};
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || (command == "help" && args.size() == 1)) {
        cli.out << CliUsage(kWithBench);
        if (Result<std::string> root = WorkspaceRootFor(ExecutableDir(), UserWorkspaceRoot()); root)
            cli.out << "The application keeps its workspace (base image, projects, flasher) in\n  "
                    << PrintableText(*root, LineBreaks::OneLine) << '\n';
        else
            cli.out << "The application has no workspace: " << PrintableText(root.Why(), LineBreaks::OneLine) << '\n';
        return kExitOk;
    }
    if (command == "--version") {
        cli.out << "vestrel-cli " << kProductVersion << '\n';
        return kExitOk;
    }
    // "help COMMAND", or COMMAND --help before any operand.
    const bool named = command == "help" && args.size() == 2;
    const CommandSpec* entry = FindCliCommand(named ? args[1] : command);
    if (!entry || !entry->run) throw UsageError{"unknown command '" + (named ? args[1] : command) + "'"};
    if (named || (args.size() >= 2 && (args[1] == "--help" || args[1] == "-h"))) {
        cli.out << CommandUsage(*entry);
        return kExitOk;
    }
    return entry->run(Arguments(std::vector<std::string>(args.begin() + 1, args.end()), *entry), cli);
}

}  // namespace

void CliContext::Say(const std::string& text) const {
    err << "vestrel-cli: " << PrintableText(text, LineBreaks::OneLine) << '\n';
}

void CliContext::Done(const std::string& text) const { err << PrintableText(text, LineBreaks::OneLine) << '\n'; }

int RunCli(const std::vector<std::string>& args, CliContext& cli) {
    // A project folder or a decoded one that a killed run left half written
    // is finished before a command reads it; the user hears what was done.
    const ScopedSetNotices notices([&cli](const std::string& text) { cli.Say("note: " + text); });
    try {
        return Dispatch(args, cli);
    } catch (const UsageError& e) {
        cli.Say(e.text);
        cli.err << "Try 'vestrel-cli --help'.\n";
        return kExitUsage;
    } catch (const std::exception& e) {
        cli.Say(e.what());
        return kExitFailed;
    }
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal) {
    CliContext cli{out, err, terminal, {}, {}, {}};
    return RunCli(args, cli);
}

}  // namespace vestrel
