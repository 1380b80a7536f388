#include "gateway/model_loading.h"

#include "compiler/bank_builder.h"
#include "compiler/bank_files.h"
#include "inspect/bank_decoder.h"
#include "inspect/bank_source.h"
#include "platform/file_util.h"
#include "project/frame_table.h"
#include "project/project_files.h"
#include "signaldb/signal_file.h"

#include <memory>

namespace vestrel::gateway {

ProjectModel LoadProjectModel(const std::filesystem::path& projectDir) {
    RequireProjectFolder(projectDir);
    // The check compiles the project as it checks it: one compile for both.
    CheckedProject checked = CheckAndCompileProject(projectDir);
    if (!checked.compiled) throw ProjectNotCompiled(checked.compiled.Why(), std::move(checked.problems));
    const DecodedBanks decoded = DecodeBanks((*checked.compiled)->Banks());
    std::vector<Problem> problems = std::move(checked.problems);
    auto mnemonics = [&](FrameDirection d) {
        std::vector<std::string> texts;
        for (const FrameRow& row : ReadFrameTable(projectDir, d).table.rows) texts.push_back(row.Mnemonic);
        return texts;
    };
    const std::shared_ptr<const BankCompiler>& compiler = *checked.compiled;
    return ProjectModel{GatewayModel(decoded, mnemonics(FrameDirection::Receive), mnemonics(FrameDirection::Transmit)),
                        std::move(problems), true, std::shared_ptr<const BankImages>(compiler, &compiler->Banks())};
}

GatewayModel LoadBankModel(const std::filesystem::path& imageOrBinDir) {
    auto banks = std::make_unique<BankImages>();
    if (DirectoryExists(imageOrBinDir))
        ReadBanksFromBinDir(imageOrBinDir, *banks);
    else
        ReadBanksFromImage(imageOrBinDir, *banks);
    return GatewayModel(DecodeBanks(*banks));
}

bool IsBankFolder(const std::filesystem::path& source) {
    return DirectoryExists(source) && FindFileNoCase(source, "bank1.bin") && !FindProjectFile(source, kPargenFile);
}

ProjectModel LoadModel(const std::filesystem::path& source) {
    if (FileExists(source) || IsBankFolder(source)) return ProjectModel{LoadBankModel(source), {}, false};
    return LoadProjectModel(source);
}

std::vector<std::filesystem::path> SourceFiles(const std::filesystem::path& source) {
    if (FileExists(source)) return {source};
    if (IsBankFolder(source)) return BankSetFiles(source);
    std::vector<std::filesystem::path> files = ProjectFilePaths(source);
    // What the imported registers mean is read beside the project's files.
    files.push_back(FindProjectFile(source, signaldb::kSignalFile).value_or(source / std::string(signaldb::kSignalFile)));
    return files;
}

}  // namespace vestrel::gateway
