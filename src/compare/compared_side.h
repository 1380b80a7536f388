#pragma once

// One side of a comparison: a project folder as "Update Device" would
// compile it, a bank folder, an S-record image, or the image an update is
// about to write. Read only through the loaders every command uses, so that
// a side comes with their checks (an interrupted set is refused).

#include "compiler/bank_image.h"
#include "gateway/gateway_model.h"
#include "inspect/bank_source.h"
#include "signaldb/signal_file.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vestrel::compare {

enum class SideKind {
    Project,     // a project folder, compiled on a scratch compiler
    BankFolder,  // bank1.bin and bank2.bin of a bin folder
    Image,       // an S-record image
    Update,      // a base image and a bin folder: the image a merge of them writes
};

// What a project's files say beyond what reaches the banks: the numbers as
// typed (before a field keeps its low bits) and the meaning of imported
// registers. Absent numbers are their defaults.
struct ProjectValues {
    struct Direction {
        std::vector<std::optional<std::int64_t>> dimensin;  // per frame, in file order
        std::vector<std::optional<std::int64_t>> index;     // per mapping record
    };
    // Per element of pargen.xml, in the order of kCommParameterElements.
    std::vector<std::optional<std::int64_t>> settings;
    Direction receive;
    Direction transmit;
    bool hasSignals = false;  // signals.xml is there
    signaldb::SignalFile signals;

    const Direction& Of(FrameDirection d) const { return d == FrameDirection::Receive ? receive : transmit; }
};

struct ComparedSide {
    SideKind kind = SideKind::Project;
    std::filesystem::path path;  // as given; for an update, the bin folder
    // How the head of a comparison names the side: "project folder", "image", ...
    std::string kindText;
    // "SHA-256 <hex>" and, for folders, which files' sha256sum lines it is of.
    std::string digestText;
    std::shared_ptr<const gateway::GatewayModel> model;
    std::shared_ptr<const BankImages> banks;  // banks 1 and 2 byte for byte
    std::optional<ProjectValues> project;     // project folders only
    std::optional<ImageContents> image;       // images and updates: what lies outside the banks

    bool HasStamp() const { return kind != SideKind::Project; }
};

// A project folder, a folder with bank1.bin but no pargen.xml (a bin
// folder), or an S-record image, as the other commands tell them apart.
// Throws Error (ProjectNotCompiled for a project that does not compile).
ComparedSide LoadSide(const std::filesystem::path& source);

// The image a merge of `binDir`'s banks 1 and 2 into `baseImage` writes: the
// base image's header, end record and data outside the two banks, with the
// banks of the folder. Throws Error as LoadSide does.
ComparedSide LoadUpdateSide(const std::filesystem::path& baseImage, const std::filesystem::path& binDir);

// Every file LoadSide reads for `source`, whether it exists or not: what no
// output of the comparison may replace.
std::vector<std::filesystem::path> SideFiles(const std::filesystem::path& source);

}  // namespace vestrel::compare
