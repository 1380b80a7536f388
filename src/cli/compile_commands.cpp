// build and update: the project check, then the compile, and for update the
// merge, all under the lock of the project's folders.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/merge_run.h"

#include "compare/update_changes.h"
#include "compiler/bank_files.h"
#include "inspect/project_check.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/folder_lock.h"
#include "platform/output_file.h"
#include "platform/printable_text.h"
#include "project/project_files.h"

#include <ostream>

namespace vestrel {

namespace fs = std::filesystem;

namespace {

// Prints what the project check finds, one line each on stderr. Errors stop
// the command before anything is written, and so do warnings with --strict.
void CheckBeforeCompile(const fs::path& projectDir, bool strict, CliContext& cli) {
    const std::vector<Problem> problems = CheckProject(projectDir, BanksBefore::Zero);
    for (const Problem& problem : problems) cli.Say(FormatProblem(problem));
    if (HasErrors(problems)) throw Error("the project cannot be compiled as it stands; nothing was written");
    if (strict && !problems.empty()) throw Error("--strict: the project has warnings; nothing was written");
}

void Compile(const fs::path& projectDir, bool strict, CliContext& cli) {
    CheckBeforeCompile(projectDir, strict, cli);
    BankCompiler compiler;
    CompileProject(compiler, projectDir);
}


}  // namespace

int BuildCommand(const Arguments& a, CliContext& cli) {
    a.ExpectOperands(1);
    const fs::path projectDir = a.Operands()[0];
    RequireProjectFolder(projectDir);
    FolderLocks locks(OutputLocks({projectDir, BankDir(projectDir)}, BankSetFiles(BankDir(projectDir)),
                                  ProjectFilePaths(projectDir)),
                      WaitPolicy(a), WaitNotice(cli));
    Compile(projectDir, a.Has("strict"), cli);
    cli.Done("Wrote the banks and bankg.c to " + BankDir(projectDir).string());
    return kExitOk;
}

int UpdateCommand(const Arguments& a, CliContext& cli) {
    a.ExpectOperands(2);
    const fs::path projectDir = a.Operands()[0];
    const fs::path base = a.Operands()[1];
    if (!FileExists(base)) throw Error("File " + base.string() + " not found");
    RequireProjectFolder(projectDir);
    BankMergeInputs inputs;
    inputs.baseFirmware = base;
    inputs.dirBin = BankDir(projectDir);
    inputs.dirOut = projectDir;
    inputs.newFileName = "New_" + base.filename().string();
    // Every output is checked against every input before the build writes
    // anything; the new image against the bank files too, which the merge reads.
    std::vector<fs::path> outputs = BankSetFiles(inputs.dirBin);
    std::vector<fs::path> read = ProjectFilePaths(projectDir);
    read.push_back(base);
    RequireNotAnInput(inputs.NewImage(), outputs);
    outputs.push_back(inputs.NewImage());
    FolderLocks locks(OutputLocks({projectDir, inputs.dirBin}, outputs, read), WaitPolicy(a), WaitNotice(cli));
    Compile(projectDir, a.Has("strict"), cli);
    // What the new image changes against the one an earlier update left, as
    // the firmware update dialog shows it before the merge replaces it.
    const compare::UpdateChanges changes = compare::ChangesOfUpdate(inputs.NewImage(), base, inputs.dirBin);
    cli.out << PrintableText(changes.count, LineBreaks::OneLine) << '\n'
            << PrintableText(changes.about, LineBreaks::OneLine) << '\n'
            << changes.list;
    const int status = RunMerge(inputs, cli);
    if (status == kExitOk)
        cli.Done("Wrote the banks and bankg.c to " + inputs.dirBin.string() + " and the new image to " +
                 ImageWhere(inputs.NewImage()));
    return status;
}

}  // namespace vestrel
