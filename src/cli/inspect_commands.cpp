// check and decode: what a project or an image configures.
#include "cli/arguments.h"
#include "cli/commands.h"

#include "inspect/bank_decoder.h"
#include "inspect/bank_source.h"
#include "inspect/project_check.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/printable_text.h"

#include <memory>
#include <ostream>

namespace vestrel {

namespace fs = std::filesystem;

int CheckCommand(const std::vector<std::string>& args, CliContext& cli) {
    const Arguments a(args, {});
    a.ExpectOperands(1, "check PROJECT_DIR");
    const fs::path projectDir = a.Operands()[0];
    if (!DirectoryExists(projectDir)) throw Error("Project folder \"" + projectDir.string() + "\" not found");
    const std::vector<Problem> problems = CheckProject(projectDir, BanksBefore::Zero);
    for (const Problem& problem : problems) cli.out << FormatProblem(problem) << '\n';
    return HasErrors(problems) ? kExitFailed : kExitOk;
}

int DecodeCommand(const std::vector<std::string>& args, CliContext& cli) {
    const Arguments a(args, {{"out", true, "a project folder"}});
    a.ExpectOperands(1, "decode (IMAGE.sx | BIN_DIR) [--out PROJECT_DIR]");
    const fs::path source = a.Operands()[0];
    const std::optional<std::string> outDir = a.Value("out");
    auto banks = std::make_unique<BankImages>();
    if (DirectoryExists(source))
        ReadBanksFromBinDir(source, *banks);
    else
        ReadBanksFromImage(source, *banks);
    const DecodedBanks decoded = DecodeBanks(*banks);
    // The project is compiled and compared before it is shown or written, so
    // that nothing leaves this command that does not give the same banks.
    VerifyDecodedProject(decoded, *banks);
    if (outDir) WriteDecodedProject(*outDir, decoded);
    cli.out << DescribeDecodedBanks(decoded);
    for (const std::string& note : DecodeNotes(decoded)) cli.Say("note: " + note);
    if (outDir && cli.terminal) cli.err << "Wrote the project to " << PrintableText(*outDir, LineBreaks::OneLine) << '\n';
    return kExitOk;
}

}  // namespace vestrel
