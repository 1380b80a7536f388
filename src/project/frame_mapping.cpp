#include "project/frame_mapping.h"

#include "project/integer_text.h"
#include "project/project_xml.h"

#include <algorithm>

namespace vestrel {

FrameListRead LoadFrameList(const std::filesystem::path& projectDir, FrameDirection direction) {
    FrameListRead result;
    auto path = FindProjectFile(projectDir, FramesFileName(direction));
    if (!path) return result;

    ProjectXml xml;
    try {
        xml.LoadFromFile(*path);
    } catch (const Error&) {
        result.error = kFrameListReadError;
        return result;
    }
    auto root = xml.DocumentElement();
    const int count = xml.ChildCount(root);
    result.frames.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        auto cobId = xml.Attribute(xml.Child(root, i), "CobID");
        if (!cobId) {
            result.error = kFrameListReadError;
            break;
        }
        result.frames.emplace_back(std::move(*cobId), i + 1);
    }
    return result;
}

std::optional<std::string> LoadMappings(const std::filesystem::path& projectDir, FrameDirection direction,
                                        FrameList& frames) {
    auto path = FindProjectFile(projectDir, MappingsFileName(direction));
    if (!path) return std::nullopt;

    ProjectXml xml;
    try {
        xml.LoadFromFile(*path);
    } catch (const Error&) {
        return kMappingsReadError;
    }
    auto root = xml.DocumentElement();
    const int count = xml.ChildCount(root);
    for (int i = 0; i < count; ++i) {
        auto row = xml.Child(root, i);
        auto nrPdoText = xml.Attribute(row, "NrPdo");
        if (!nrPdoText) return kMappingsReadError;
        auto nrPdo = ParseIntegerText(*nrPdoText);
        if (!nrPdo) return kMappingsReadError;
        if (*nrPdo > static_cast<std::int64_t>(frames.size())) continue;
        if (*nrPdo < 1) return kMappingsReadError;
        auto index = xml.Attribute(row, "Index");
        auto posComp = xml.Attribute(row, "PosComp");
        if (!index || !posComp) return kMappingsReadError;
        frames[static_cast<std::size_t>(*nrPdo - 1)].Registers.push_back(TClIndMB{*index, *posComp});
    }
    return std::nullopt;
}

void SaveMappings(const std::filesystem::path& projectDir, FrameDirection direction, const FrameList& frames) {
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
    xml.SaveToFile(ProjectFileForWrite(projectDir, MappingsFileName(direction)));
}

}  // namespace vestrel
