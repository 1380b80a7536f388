// check and decode: what a project or an image configures.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/merge_run.h"

#include "compiler/bank_files.h"
#include "inspect/bank_decoder.h"
#include "inspect/bank_source.h"
#include "inspect/project_check.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/folder_lock.h"
#include "platform/printable_text.h"
#include "project/project_files.h"
#include "platform/text.h"

#include <memory>
#include <ostream>

namespace vestrel {

namespace fs = std::filesystem;

int CheckCommand(const Arguments& a, CliContext& cli) {
    a.ExpectOperands(1);
    const fs::path projectDir = a.Operands()[0];
    RequireProjectFolder(projectDir);
    const std::vector<Problem> problems = CheckProject(projectDir, BanksBefore::Zero);
    for (const Problem& problem : problems) cli.out << FormatProblem(problem) << '\n';
    if (HasErrors(problems)) return kExitFailed;
    const std::size_t warnings = problems.size();
    cli.Done("Checked " + projectDir.string() + ": no errors, " +
             (warnings == 0 ? std::string("no warnings") : Plural(warnings, "warning", "warnings")) +
             "; it compiles");
    return kExitOk;
}

namespace {

// Writes the decoded project into `outDir` under the lock of that folder, so
// that two decodes into one folder never mix their files: the second one
// waits and then finds the folder taken.
void WriteLocked(const fs::path& outDir, const DecodedBanks& decoded, const std::vector<fs::path>& read,
                 const Arguments& a, CliContext& cli) {
    std::error_code ec;
    const bool made = !fs::exists(outDir, ec);
    if (made) fs::create_directories(outDir, ec);  // a failure is reported by the write
    try {
        FolderLocks locks(OutputLocks({outDir}, ProjectFilePaths(outDir), read), WaitPolicy(a), WaitNotice(cli));
        WriteDecodedProject(outDir, decoded);
    } catch (...) {
        if (made) fs::remove(outDir, ec);  // only when still empty
        throw;
    }
}

}  // namespace

int DecodeCommand(const Arguments& a, CliContext& cli) {
    a.ExpectOperands(1);
    const fs::path source = a.Operands()[0];
    const std::optional<std::string> outDir = a.Value("out");
    auto banks = std::make_unique<BankImages>();
    const bool fromFolder = DirectoryExists(source);
    if (fromFolder)
        ReadBanksFromBinDir(source, *banks);
    else
        ReadBanksFromImage(source, *banks);
    const DecodedBanks decoded = DecodeBanks(*banks);
    // The project is compiled and compared before it is shown or written, so
    // that nothing leaves this command that does not give the same banks.
    VerifyDecodedProject(decoded, *banks);
    if (outDir) WriteLocked(*outDir, decoded, fromFolder ? BankSetFiles(source) : std::vector<fs::path>{source}, a, cli);
    cli.out << DescribeDecodedBanks(decoded);
    for (const std::string& note : DecodeNotes(decoded)) cli.Say("note: " + note);
    if (outDir && cli.terminal) cli.Done("Wrote the project to " + *outDir);
    return kExitOk;
}

}  // namespace vestrel
