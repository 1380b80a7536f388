#include "editors/mapping_read_check.h"

#include "project/frame_mapping.h"
#include "project/frame_table.h"
#include "project/integer_text.h"

namespace vestrel {

namespace {

std::string Row(std::size_t i) { return "row " + std::to_string(i + 1); }

std::string Missing(std::size_t i, const char* attribute) { return Row(i) + " has no \"" + attribute + "\""; }

}  // namespace

std::optional<std::string> FrameListReadProblem(const std::filesystem::path& projectDir, FrameDirection direction) {
    const FrameFileRows file = ReadFrameRows(projectDir, direction);
    if (file.status == ProjectDocument::Status::Absent) return std::nullopt;
    if (!file.Loaded()) return file.error;
    for (std::size_t i = 0; i < file.rows.size(); ++i)
        if (!file.rows[i][kCobIdColumn]) return Missing(i, "CobID");
    return std::nullopt;
}

MappingFileScan ScanMappingFile(const std::filesystem::path& projectDir, FrameDirection direction,
                                std::size_t frameCount) {
    MappingFileScan scan;
    const MappingFileRows file = ReadMappingRows(projectDir, direction);
    if (file.status == ProjectDocument::Status::Absent) return scan;
    if (!file.Loaded()) {
        scan.problem = file.error;
        return scan;
    }
    for (std::size_t i = 0; i < file.rows.size(); ++i) {
        const auto& row = file.rows[i];
        const auto& nrPdoText = row[kNrPdoColumn];
        if (!nrPdoText) {
            scan.problem = Missing(i, "NrPdo");
            return scan;
        }
        const auto nrPdo = ParseIntegerText(*nrPdoText);
        if (!nrPdo) {
            scan.problem = Row(i) + ": " + InvalidIntegerMessage(*nrPdoText);
            return scan;
        }
        // Past the last frame is dropped before anything else is looked at.
        if (*nrPdo > static_cast<std::int64_t>(frameCount)) {
            scan.pastLastFrame.push_back({row[kIndexColumn].value_or(""), *nrPdo});
            continue;
        }
        if (*nrPdo < 1) {
            scan.problem = Row(i) + ": NrPdo " + *nrPdoText + " is not a frame number";
            return scan;
        }
        if (!row[kIndexColumn]) {
            scan.problem = Missing(i, "Index");
            return scan;
        }
        if (!row[kPosCompColumn]) {
            scan.problem = Missing(i, "PosComp");
            return scan;
        }
    }
    return scan;
}

}  // namespace vestrel
