#include "editors/mapping_read_check.h"

#include "project/frame_mapping.h"
#include "project/frame_table.h"
#include "project/integer_text.h"

namespace vestrel {

namespace {

std::string Row(std::size_t i) { return "row " + std::to_string(i + 1); }

std::string Missing(std::size_t i, const char* attribute) { return Row(i) + " has no \"" + attribute + "\""; }

}  // namespace

Result<void> CheckFrameListReads(const std::filesystem::path& projectDir, FrameDirection direction) {
    const FrameFileRows file = ReadFrameRows(projectDir, direction);
    if (file.status == ProjectDocument::Status::Absent) return {};
    if (!file.Loaded()) return Failure{file.error};
    for (std::size_t i = 0; i < file.rows.size(); ++i)
        if (!file.rows[i][kCobIdColumn]) return Failure{Missing(i, "CobID")};
    return {};
}

MappingFileScan ScanMappingFile(const std::filesystem::path& projectDir, FrameDirection direction,
                                std::size_t frameCount) {
    MappingFileScan scan;
    const MappingFileRows file = ReadMappingRows(projectDir, direction);
    if (file.status == ProjectDocument::Status::Absent) return scan;
    if (!file.Loaded()) {
        scan.reads = Failure{file.error};
        return scan;
    }
    for (std::size_t i = 0; i < file.rows.size(); ++i) {
        const auto& row = file.rows[i];
        const auto& nrPdoText = row[kNrPdoColumn];
        if (!nrPdoText) {
            scan.reads = Failure{Missing(i, "NrPdo")};
            return scan;
        }
        const auto nrPdo = ParseIntegerText(*nrPdoText);
        if (!nrPdo) {
            scan.reads = Failure{Row(i) + ": " + InvalidIntegerMessage(*nrPdoText)};
            return scan;
        }
        // Past the last frame is dropped before anything else is looked at.
        if (*nrPdo > static_cast<std::int64_t>(frameCount)) {
            scan.pastLastFrame.push_back({row[kIndexColumn].value_or(""), *nrPdo});
            continue;
        }
        if (*nrPdo < 1) {
            scan.reads = Failure{Row(i) + ": NrPdo " + *nrPdoText + " is not a frame number"};
            return scan;
        }
        if (!row[kIndexColumn]) {
            scan.reads = Failure{Missing(i, "Index")};
            return scan;
        }
        if (!row[kPosCompColumn]) {
            scan.reads = Failure{Missing(i, "PosComp")};
            return scan;
        }
    }
    return scan;
}

}  // namespace vestrel
