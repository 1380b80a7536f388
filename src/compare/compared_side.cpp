#include "compare/compared_side.h"

#include "compiler/bank_map.h"
#include "gateway/model_loading.h"
#include "inspect/bank_decoder.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/sha256.h"
#include "project/comm_parameters.h"
#include "project/frame_mapping.h"
#include "project/frame_table.h"
#include "project/integer_text.h"
#include "project/project_files.h"
#include "project/project_xml.h"

#include <string_view>

namespace vestrel::compare {

namespace {

namespace fs = std::filesystem;

std::optional<std::int64_t> NumberOf(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    if (const std::optional<std::int32_t> value = ParseIntegerText(*text)) return *value;
    return std::nullopt;
}

// "SHA-256 <hex> of the sha256sum lines of a b c": one digest for a set of
// files, which `sha256sum a b c | sha256sum` gives again in their folder.
std::string ListDigestText(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string lines, names;
    for (const auto& [name, digest] : files) {
        lines += digest + "  " + name + "\n";
        names += (names.empty() ? "" : " ") + name;
    }
    if (files.empty()) return "SHA-256 " + Sha256Hex("") + " of no file";
    return "SHA-256 " + Sha256Hex(lines) + " of the sha256sum lines of " + names;
}

std::string BankDigestText(const BankImages& banks) {
    std::vector<std::pair<std::string, std::string>> files;
    for (int n = 1; n <= 2; ++n) {
        const auto bank = banks.Bank(n);
        files.emplace_back(BankRow(n).binFile,
                           Sha256Hex(std::string_view(reinterpret_cast<const char*>(bank.data()), bank.size())));
    }
    return ListDigestText(files);
}

std::optional<fs::path> SignalFileOf(const fs::path& projectDir) {
    return FindProjectFile(projectDir, signaldb::kSignalFile);
}

std::string ProjectDigestText(const fs::path& projectDir) {
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<fs::path> paths = ProjectFilePaths(projectDir);
    const std::optional<fs::path> signals = SignalFileOf(projectDir);
    if (signals) paths.push_back(*signals);
    for (const fs::path& path : paths) {
        if (!FileExists(path)) continue;
        const std::size_t limit = signals && path == *signals ? signaldb::kMaxSignalFileBytes : kMaxProjectFileBytes;
        files.emplace_back(path.filename().string(), Sha256Hex(ReadRegularFile(path, limit)));
    }
    return ListDigestText(files);
}

ProjectValues::Direction DirectionValues(const fs::path& projectDir, FrameDirection direction) {
    ProjectValues::Direction values;
    for (const FrameRow& row : ReadFrameTable(projectDir, direction).table.rows)
        values.dimensin.push_back(NumberOf(row.Dimensin));
    for (const auto& row : ReadMappingRows(projectDir, direction).rows)
        values.index.push_back(row.size() > kIndexColumn ? NumberOf(row[kIndexColumn]) : std::nullopt);
    return values;
}

ProjectValues ReadProjectValues(const fs::path& projectDir) {
    ProjectValues values;
    const CommParametersRead comm = ReadCommParameters(projectDir);
    for (const CommParameterElement& element : kCommParameterElements) {
        std::optional<std::int64_t> number = NumberOf(comm.parameters.*element.field);
        // What the compile takes for an element that is absent or no number.
        if (!number) number = NumberOf(std::string(element.defaultText));
        values.settings.push_back(number);
    }
    values.receive = DirectionValues(projectDir, FrameDirection::Receive);
    values.transmit = DirectionValues(projectDir, FrameDirection::Transmit);
    signaldb::SignalFileRead signals = signaldb::ReadSignalFile(projectDir);
    if (signals.status == ProjectDocument::Status::Unreadable)
        throw Error((projectDir / signals.fileName).string() + " cannot be read, so its signals cannot be compared: " +
                    signals.error);
    values.hasSignals = signals.Loaded();
    values.signals = std::move(signals.file);
    return values;
}

ComparedSide LoadProject(const fs::path& projectDir) {
    gateway::ProjectModel loaded = gateway::LoadProjectModel(projectDir);
    ComparedSide side;
    side.kind = SideKind::Project;
    side.path = projectDir;
    side.kindText = "project folder";
    side.banks = loaded.banks;
    side.model = std::make_shared<const gateway::GatewayModel>(std::move(loaded.model));
    side.project = ReadProjectValues(projectDir);
    side.digestText = ProjectDigestText(projectDir);
    return side;
}

ComparedSide FromBanks(SideKind kind, const fs::path& path, std::shared_ptr<BankImages> banks) {
    ComparedSide side;
    side.kind = kind;
    side.path = path;
    side.model = std::make_shared<const gateway::GatewayModel>(DecodeBanks(*banks));
    side.banks = std::move(banks);
    return side;
}

}  // namespace

ComparedSide LoadSide(const fs::path& source) {
    if (FileExists(source)) {
        auto banks = std::make_shared<BankImages>();
        ImageContents contents = ReadImageContents(source, banks.get());
        ComparedSide side = FromBanks(SideKind::Image, source, std::move(banks));
        side.kindText = "image";
        side.digestText = "SHA-256 " + contents.sha256;
        side.image = std::move(contents);
        return side;
    }
    if (gateway::IsBankFolder(source)) {
        auto banks = std::make_shared<BankImages>();
        ReadBanksFromBinDir(source, *banks);
        ComparedSide side = FromBanks(SideKind::BankFolder, source, banks);
        side.kindText = "bank folder";
        side.digestText = BankDigestText(*banks);
        return side;
    }
    return LoadProject(source);
}

ComparedSide LoadUpdateSide(const fs::path& baseImage, const fs::path& binDir) {
    ImageContents base = ReadImageContents(baseImage, nullptr);
    auto banks = std::make_shared<BankImages>();
    ReadBanksFromBinDir(binDir, *banks);
    ComparedSide side = FromBanks(SideKind::Update, binDir, banks);
    side.kindText = "the image this update writes from the banks of";
    side.digestText = BankDigestText(*banks) + ", and the base image " + baseImage.string() + ", SHA-256 " + base.sha256;
    side.image = std::move(base);
    return side;
}

std::vector<fs::path> SideFiles(const fs::path& source) { return gateway::SourceFiles(source); }

}  // namespace vestrel::compare
