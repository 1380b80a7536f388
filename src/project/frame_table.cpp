#include "project/frame_table.h"

#include "platform/file_util.h"
#include "project/integer_text.h"
#include "project/project_document.h"
#include "project/project_xml.h"

#include <algorithm>

namespace vestrel {

namespace {
constexpr const char* kFrameTableElement = "COBID";
}

FrameFileRows ReadFrameRows(const std::filesystem::path& projectDir, FrameDirection direction) {
    return ReadTableRows(projectDir, FramesFileName(direction), {"CobID", "Dimensin", "RTR", "Mnemonic"});
}

FrameTableRead ReadFrameTable(const std::filesystem::path& projectDir, FrameDirection direction) {
    FrameTableRead result;
    result.table.direction = direction;
    const std::string fileName(FramesFileName(direction));
    const FrameFileRows file = ReadFrameRows(projectDir, direction);
    if (file.status == ProjectDocument::Status::Absent) return result;
    if (!file.Loaded()) {
        result.error = file.error;
        return result;
    }
    if (file.rootName != kFrameTableElement) {
        result.error = "The file " + fileName + " has no element \"COBID\"";
        return result;
    }
    const int count = static_cast<int>(file.rows.size());
    const int kept = std::min(count, MaxFrameRows);
    auto& rows = result.table.rows;
    rows.reserve(static_cast<std::size_t>(kept));
    for (int i = 0; i < kept; ++i) {
        const auto& values = file.rows[static_cast<std::size_t>(i)];
        auto take = [&](int column, std::string& into) {
            const auto& value = values[static_cast<std::size_t>(column)];
            if (value) into = *value;
            return value.has_value();
        };
        // Attributes are taken in file order; the first missing one ends the
        // read and leaves the texts read before it in the row.
        FrameRow& row = rows.emplace_back();
        bool complete = take(kCobIdColumn, row.CobID) && take(kDimensinColumn, row.Dimensin);
        if (complete && direction == FrameDirection::Transmit) row.RTR = values[kRtrColumn].value_or("N");
        complete = complete && take(kMnemonicColumn, row.Mnemonic);
        if (!complete) {
            result.error = kMissingAttributeMessage;
            return result;
        }
    }
    if (count > MaxFrameRows) {
        result.error = "The file " + fileName + " holds " + std::to_string(count) + " frames; only the first " +
                       std::to_string(MaxFrameRows) + " were read, " + std::to_string(count - MaxFrameRows) +
                       " were left out";
    }
    return result;
}

std::optional<FrameCheckFailure> CheckFrameTable(const FrameTable& table, CanMode mode) {
    int number = 0;
    for (const FrameRow& row : table.rows) {
        ++number;
        const std::int32_t cobId = ParseIntegerText(row.CobID, -1);
        if (!CobIdFits(cobId, mode))
            return FrameCheckFailure{number, kCobIdColumn,
                                     mode == CanMode::Can20A ? "!! The CobID in CAN 2.0A must between 0 and 2047"
                                                             : "!! The CobID in CAN 2.0B 29bit"};
        const std::int32_t dimension = ParseIntegerText(row.Dimensin, -1);
        if (dimension < 1 || dimension > 8)
            return FrameCheckFailure{number, kDimensinColumn, "!! The Dimension of CAN frame must between 1 and 8"};
    }
    return std::nullopt;
}

std::string FrameTableText(const FrameTable& table) {
    ProjectXml xml;
    auto root = xml.AddDocumentElement(kFrameTableElement);
    for (const FrameRow& row : table.rows) {
        auto element = xml.AppendChild(root, "row");
        xml.SetAttribute(element, "CobID", row.CobID);
        xml.SetAttribute(element, "Dimensin", row.Dimensin);
        if (table.direction == FrameDirection::Transmit) xml.SetAttribute(element, "RTR", row.RTR);
        xml.SetAttribute(element, "Mnemonic", row.Mnemonic);
    }
    return xml.Serialize();
}

void WriteFrameTable(const std::filesystem::path& projectDir, const FrameTable& table) {
    WriteFileAtomic(ProjectFileForWrite(projectDir, FramesFileName(table.direction)), FrameTableText(table));
}

}  // namespace vestrel
