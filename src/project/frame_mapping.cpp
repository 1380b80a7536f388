#include "project/frame_mapping.h"

#include "platform/file_util.h"
#include "project/integer_text.h"
#include "project/frame_table.h"
#include "project/project_document.h"
#include "project/project_xml.h"

#include <algorithm>

namespace vestrel {

FrameListRead LoadFrameList(const std::filesystem::path& projectDir, FrameDirection direction) {
    FrameListRead result;
    const FrameFileRows file = ReadFrameRows(projectDir, direction);
    if (file.status == ProjectDocument::Status::Absent) return result;
    if (!file.Loaded()) {
        result.error = kFrameListReadError;
        return result;
    }
    result.frames.reserve(file.rows.size());
    for (std::size_t i = 0; i < file.rows.size(); ++i) {
        const auto& cobId = file.rows[i][kCobIdColumn];
        if (!cobId) {
            result.error = kFrameListReadError;
            break;
        }
        result.frames.emplace_back(*cobId, static_cast<std::int32_t>(i + 1));
    }
    return result;
}

MappingFileRows ReadMappingRows(const std::filesystem::path& projectDir, FrameDirection direction) {
    return ReadTableRows(projectDir, MappingsFileName(direction), {"Index", "NrPdo", "PosComp"});
}

Result<void> LoadMappings(const std::filesystem::path& projectDir, FrameDirection direction, FrameList& frames) {
    const MappingFileRows file = ReadMappingRows(projectDir, direction);
    if (file.status == ProjectDocument::Status::Absent) return {};
    if (!file.Loaded()) return Failure{kMappingsReadError};
    for (const auto& row : file.rows) {
        const auto& nrPdoText = row[kNrPdoColumn];
        if (!nrPdoText) return Failure{kMappingsReadError};
        auto nrPdo = ParseIntegerText(*nrPdoText);
        if (!nrPdo) return Failure{kMappingsReadError};
        if (*nrPdo > static_cast<std::int64_t>(frames.size())) continue;
        if (*nrPdo < 1) return Failure{kMappingsReadError};
        const auto& index = row[kIndexColumn];
        const auto& posComp = row[kPosCompColumn];
        if (!index || !posComp) return Failure{kMappingsReadError};
        frames[static_cast<std::size_t>(*nrPdo - 1)].Registers.push_back(TClIndMB{*index, *posComp});
    }
    return {};
}

std::string MappingsText(FrameDirection direction, const FrameList& frames) {
    struct Entry {
        std::int32_t value;
        const TClIndMB* reg;
        std::int32_t nrPdo;
    };
    // Scan order reversed, then a stable sort: equal values come out with the
    // later register first. Every Index is converted before anything is
    // written, so a bad text leaves the file as it was.
    std::vector<Entry> entries;
    for (auto frame = frames.rbegin(); frame != frames.rend(); ++frame)
        for (auto reg = frame->Registers.rbegin(); reg != frame->Registers.rend(); ++reg)
            entries.push_back(Entry{ParseIntegerTextStrict(reg->Index), &*reg, frame->NrPdo});
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.value < b.value; });

    ProjectXml xml;
    auto root = xml.AddDocumentElement(MappingsStem(direction));
    for (const Entry& entry : entries) {
        auto row = xml.AppendChild(root, "row");
        xml.SetAttribute(row, "Index", entry.reg->Index);
        xml.SetAttribute(row, "NrPdo", std::to_string(entry.nrPdo));
        xml.SetAttribute(row, "PosComp", entry.reg->PosComp);
    }
    return xml.Serialize();
}

void SaveMappings(const std::filesystem::path& projectDir, FrameDirection direction, const FrameList& frames) {
    const std::string text = MappingsText(direction, frames);
    WriteFileAtomic(ProjectFileForWrite(projectDir, MappingsFileName(direction)), text);
}

}  // namespace vestrel
