#include "compare/update_changes.h"

#include "compare/diff_document.h"
#include "platform/file_util.h"
#include "platform/system_file.h"
#include "platform/text.h"

#include <exception>

namespace vestrel::compare {

namespace {

namespace fs = std::filesystem;

constexpr const char* kInProjectFolder = " in the project folder";

}  // namespace

UpdateChanges ChangesOfUpdate(const fs::path& earlierImage, const fs::path& baseImage, const fs::path& binDir) {
    UpdateChanges changes;
    const std::string name = earlierImage.filename().string();
    if (!FileExists(earlierImage)) {
        changes.outcome = UpdateChanges::Outcome::FirstUpdate;
        changes.count = "First update: nothing to compare with";
        changes.about = "There is no " + name + kInProjectFolder + " yet.";
        return changes;
    }
    try {
        const ComparedSide old = LoadSide(earlierImage);
        const ComparedSide now = LoadUpdateSide(baseImage, binDir);
        const Comparison comparison = CompareSides(old, now);
        changes.outcome = UpdateChanges::Outcome::Compared;
        changes.count = CountText(comparison) + " against the image" + kInProjectFolder;
        const std::string when = LocalChangeTimeText(earlierImage);
        changes.about = name + (when.empty() ? "" : ", written " + when) + "; the device may hold another image.";
        changes.list = DiffDocument(old, now, comparison, DiffFormat::Text, {earlierImage.string(), binDir.string()});
    } catch (const std::exception& e) {
        changes.outcome = UpdateChanges::Outcome::NotCompared;
        changes.count = "Not compared with the image" + std::string(kInProjectFolder);
        changes.about = e.what();
    }
    return changes;
}

}  // namespace vestrel::compare
