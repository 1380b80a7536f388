#pragma once

// Where a gateway model comes from: a project compiled as "Update Device"
// would compile it, a bank folder or an S-record image. The only part of the
// model that knows the compiler, the project check and the project files.

#include "compiler/bank_image.h"
#include "gateway/gateway_model.h"
#include "inspect/project_check.h"
#include "platform/error.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace vestrel::gateway {

// The model of a project as "Update Device" would compile it (on a scratch
// compiler, so nothing is written), with the project check's findings.
struct ProjectModel {
    GatewayModel model;
    std::vector<Problem> problems;
    bool fromProject = true;  // false when read from banks
    // The banks of the project's compile, byte for byte; LoadProjectModel only.
    std::shared_ptr<const BankImages> banks = {};
};

// A project that does not compile: what the compiler says, and the whole
// project check, so that a window can list every problem at once.
class ProjectNotCompiled : public Error {
public:
    ProjectNotCompiled(const std::string& what, std::vector<Problem> problems)
        : Error(what), problems_(std::move(problems)) {}
    const std::vector<Problem>& Problems() const { return problems_; }

private:
    std::vector<Problem> problems_;
};

// Throws ProjectNotCompiled with the compiler's message when the project does
// not compile, and RequireProjectFolder's Error for a folder that is missing
// or holds no project file.
ProjectModel LoadProjectModel(const std::filesystem::path& projectDir);

// The model of banks 1 and 2 of an S-record image, or of a folder's
// bank1.bin and bank2.bin. Throws Error from the reader or the decoder.
GatewayModel LoadBankModel(const std::filesystem::path& imageOrBinDir);

// Whether `source` is a folder with bank1.bin but no pargen.xml: a project's
// bin folder, which LoadModel reads as banks.
bool IsBankFolder(const std::filesystem::path& source);

// A project folder; a folder with bank1.bin but no pargen.xml (a project's
// bin folder); or an S-record image file. Models from banks come without
// problems and mnemonics.
ProjectModel LoadModel(const std::filesystem::path& source);

// The files a run that reads `source` reads, whether they exist or not: the
// image, the bank folder's set of files, or the project's five files and
// signals.xml.
std::vector<std::filesystem::path> SourceFiles(const std::filesystem::path& source);

}  // namespace vestrel::gateway
