// import-signals and remove-signals: a database's signals into a project's
// frames and mappings, with their meaning in signals.xml, and out again.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/database_options.h"
#include "cli/merge_run.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/folder_lock.h"
#include "platform/printable_text.h"
#include "project/integer_text.h"
#include "signaldb/database_file.h"
#include "signaldb/signal_import.h"
#include "signaldb/signal_removal.h"
#include "platform/text.h"

#include <ostream>

namespace vestrel {

namespace {

namespace fs = std::filesystem;
using namespace signaldb;

std::string Shown(const std::string& text) { return PrintableText(text, LineBreaks::OneLine); }

std::optional<std::int32_t> RegisterOption(const Arguments& a, const char* name) {
    const auto text = a.Value(name);
    if (!text) return std::nullopt;
    const auto value = ParseIntegerText(*text);
    if (!value || *value < 0 || *value > 65535)
        throw UsageError{"--" + std::string(name) + " takes a register number, 0 to 65535, not '" + *text + "'"};
    return *value;
}

// Says every reason on stderr; the command then fails having written nothing.
int Refused(const ImportRefused& refused, CliContext& cli) {
    for (const std::string& reason : refused.Reasons()) cli.Say(reason);
    cli.Say("nothing was written");
    return kExitFailed;
}

ImportRequest Request(const Arguments& a, const Database& database) {
    ImportRequest request;
    std::vector<std::string> refusals;
    for (const auto& [option, direction] : {std::pair{"receive", FrameDirection::Receive},
                                            std::pair{"transmit", FrameDirection::Transmit}})
        if (const auto list = a.Value(option)) request.picks.push_back(ResolveList(database, direction, *list, refusals));
    if (!refusals.empty()) throw ImportRefused(std::move(refusals));
    request.firstRegister = RegisterOption(a, "first-register");
    request.firstTransmitRegister = RegisterOption(a, "first-transmit-register");
    request.order = WordOrderOption(a);
    request.prune = a.Has("prune");
    request.adoptRows = a.Has("adopt-rows");
    return request;
}

int Import(const Arguments& a, CliContext& cli) {
    const fs::path projectDir = a.Operands()[0];
    const fs::path file = a.Operands()[1];
    if (!a.Has("receive") && !a.Has("transmit"))
        throw UsageError{"nothing to import: give --receive LIST, --transmit LIST or both"};
    RequireProjectFolder(projectDir, FreshProject::Taken);
    const std::string bytes = ReadDatabaseBytes(file);
    const Database database = ParseDatabaseOperand(bytes, file, a, cli);
    const ImportRequest request = Request(a, database);
    const bool dryRun = a.Has("dry-run");
    // The database is an input: no project file the import writes may be it.
    std::vector<fs::path> outputs = ProjectFilePaths(projectDir);
    outputs.push_back(ProjectFileForWrite(projectDir, kSignalFile));
    FolderLocks locks(OutputLocks({projectDir}, outputs, {file}), WaitPolicy(a), WaitNotice(cli));
    const ImportOutcome outcome =
        PlanImport(ReadProjectTables(projectDir), database, DescribeDatabase(projectDir, file, bytes), request);
    for (const AssignedRegister& r : outcome.assigned)
        cli.out << Shown(RegisterLine(outcome.tables.signalFile, r.direction, r.index)) << '\n';
    for (const std::string& note : outcome.notes) cli.Say("note: " + note);
    std::size_t again = 0;
    for (const AssignedRegister& r : outcome.assigned) again += r.remapped ? 1 : 0;
    const std::string count = Plural(outcome.assigned.size(), "register", "registers") +
                              (again ? " (" + std::to_string(again) + " mapped before)" : "") + ", " +
                              WordOrderText(request.order);
    if (dryRun) {
        cli.out << "Would assign " << count << "; nothing was written (--dry-run).\n";
        return kExitOk;
    }
    WriteProjectTables(projectDir, outcome.tables);
    cli.out << "Assigned " << count << ".\n";
    return kExitOk;
}

}  // namespace

int ImportSignalsCommand(const Arguments& a, CliContext& cli) {
    a.ExpectOperands(2);
    try {
        return Import(a, cli);
    } catch (const ImportRefused& refused) {
        return Refused(refused, cli);
    }
}

int RemoveSignalsCommand(const Arguments& a, CliContext& cli) {
    a.ExpectAtLeast(2);
    const fs::path projectDir = a.Operands()[0];
    RequireProjectFolder(projectDir);
    const std::vector<std::string> targets(a.Operands().begin() + 1, a.Operands().end());
    try {
        FolderLocks locks({projectDir}, WaitPolicy(a), WaitNotice(cli));
        ProjectTables tables = ReadProjectTables(projectDir);
        const RemovalLog log = RemoveSignals(tables, targets);
        for (const RemovedRegister& r : log.registers) cli.out << Shown(r.line) << '\n';
        for (const std::string& note : log.notes) cli.Say("note: " + note);
        const std::string count = Plural(log.registers.size(), "register", "registers");
        if (a.Has("dry-run")) {
            cli.out << "Would remove " << count << "; nothing was written (--dry-run).\n";
            return kExitOk;
        }
        WriteProjectTables(projectDir, tables, TablesChange::Removal);
        cli.out << "Removed " << count << ".\n";
        return kExitOk;
    } catch (const ImportRefused& refused) {
        return Refused(refused, cli);
    }
}

}  // namespace vestrel
