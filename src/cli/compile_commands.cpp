// build and update: the project check, then the compile, and for update the
// merge, all under the lock of the project's folders.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/merge_run.h"

#include "compiler/bank_files.h"
#include "inspect/project_check.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/folder_lock.h"

#include <ostream>

namespace vestrel {

namespace fs = std::filesystem;

namespace {

void RequireProjectFolder(const fs::path& projectDir) {
    if (!DirectoryExists(projectDir)) throw Error("Project folder \"" + projectDir.string() + "\" not found");
}

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

const std::initializer_list<Arguments::Option> kCompileOptions = {{"strict"}, {"no-wait"}};

}  // namespace

int BuildCommand(const std::vector<std::string>& args, CliContext& cli) {
    const Arguments a(args, kCompileOptions);
    a.ExpectOperands(1, "build PROJECT_DIR [--strict] [--no-wait]");
    const fs::path projectDir = a.Operands()[0];
    RequireProjectFolder(projectDir);
    FolderLocks locks({projectDir, BankDir(projectDir)}, WaitPolicy(a), WaitNotice(cli));
    Compile(projectDir, a.Has("strict"), cli);
    if (cli.terminal) cli.err << "Wrote the banks and bankg.c to " << BankDir(projectDir).string() << '\n';
    return kExitOk;
}

int UpdateCommand(const std::vector<std::string>& args, CliContext& cli) {
    const Arguments a(args, kCompileOptions);
    a.ExpectOperands(2, "update PROJECT_DIR BASE_IMAGE [--strict] [--no-wait]");
    const fs::path projectDir = a.Operands()[0];
    const fs::path base = a.Operands()[1];
    if (!FileExists(base)) throw Error("File " + base.string() + " not found");
    RequireProjectFolder(projectDir);
    FolderLocks locks({projectDir, BankDir(projectDir)}, WaitPolicy(a), WaitNotice(cli));
    Compile(projectDir, a.Has("strict"), cli);
    BankMergeInputs inputs;
    inputs.baseFirmware = base;
    inputs.dirBin = BankDir(projectDir);
    inputs.dirOut = projectDir;
    inputs.newFileName = "New_" + base.filename().string();
    return RunMerge(inputs, cli);
}

}  // namespace vestrel
