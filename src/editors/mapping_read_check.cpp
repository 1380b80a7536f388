#include "editors/mapping_read_check.h"

#include "project/integer_text.h"
#include "project/project_xml.h"

namespace vestrel {

namespace {

std::string Row(int i) { return "row " + std::to_string(i + 1); }

std::string Missing(int i, const char* attribute) { return Row(i) + " has no \"" + attribute + "\""; }

}  // namespace

std::optional<std::string> FrameListReadProblem(const std::filesystem::path& projectDir, FrameDirection direction) {
    auto path = FindProjectFile(projectDir, FramesFileName(direction));
    if (!path) return std::nullopt;
    ProjectXml xml;
    try {
        xml.LoadFromFile(*path);
    } catch (const Error& e) {
        return e.what();
    }
    auto root = xml.DocumentElement();
    const int count = xml.ChildCount(root);
    for (int i = 0; i < count; ++i)
        if (!xml.Attribute(xml.Child(root, i), "CobID")) return Missing(i, "CobID");
    return std::nullopt;
}

MappingFileScan ScanMappingFile(const std::filesystem::path& projectDir, FrameDirection direction,
                                std::size_t frameCount) {
    MappingFileScan scan;
    auto path = FindProjectFile(projectDir, MappingsFileName(direction));
    if (!path) return scan;
    ProjectXml xml;
    try {
        xml.LoadFromFile(*path);
    } catch (const Error& e) {
        scan.problem = e.what();
        return scan;
    }
    auto root = xml.DocumentElement();
    const int count = xml.ChildCount(root);
    for (int i = 0; i < count; ++i) {
        auto row = xml.Child(root, i);
        auto nrPdoText = xml.Attribute(row, "NrPdo");
        if (!nrPdoText) {
            scan.problem = Missing(i, "NrPdo");
            return scan;
        }
        auto nrPdo = ParseIntegerText(*nrPdoText);
        if (!nrPdo) {
            scan.problem = Row(i) + ": " + InvalidIntegerMessage(*nrPdoText);
            return scan;
        }
        // Past the last frame is dropped before anything else is looked at.
        if (*nrPdo > static_cast<std::int64_t>(frameCount)) {
            scan.pastLastFrame.push_back({xml.Attribute(row, "Index").value_or(""), *nrPdo});
            continue;
        }
        if (*nrPdo < 1) {
            scan.problem = Row(i) + ": NrPdo " + *nrPdoText + " is not a frame number";
            return scan;
        }
        for (const char* attribute : {"Index", "PosComp"}) {
            if (!xml.Attribute(row, attribute)) {
                scan.problem = Missing(i, attribute);
                return scan;
            }
        }
    }
    return scan;
}

}  // namespace vestrel
