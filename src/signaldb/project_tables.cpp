#include "signaldb/project_tables.h"

#include "platform/file_set.h"

#include "platform/file_util.h"
#include "platform/text.h"
#include "project/comm_parameters.h"
#include "project/integer_text.h"

namespace vestrel::signaldb {

namespace {

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

constexpr const char* kRewriteNote = "; the import rewrites the file and would lose what it could not read";

// The frames of one direction with the rows of its mapping file; refusals
// for what cannot be read whole.
DirectionTables ReadDirection(const std::filesystem::path& dir, FrameDirection direction,
                              std::vector<std::string>& refusals) {
    DirectionTables tables;
    const FrameTableRead read = ReadFrameTable(dir, direction);
    tables.frames = read.table;
    const std::string framesFile(FramesFileName(direction));
    if (read.error) {
        refusals.push_back(framesFile + ": " + *read.error + kRewriteNote);
        return tables;
    }
    for (std::size_t i = 0; i < tables.frames.rows.size(); ++i)
        tables.mappings.emplace_back(tables.frames.rows[i].CobID, static_cast<std::int32_t>(i + 1));

    const MappingFileRows rows = ReadMappingRows(dir, direction);
    if (rows.status == ProjectDocument::Status::Absent) return tables;
    if (!rows.Loaded()) {
        refusals.push_back(rows.fileName + ": " + rows.error + kRewriteNote);
        return tables;
    }
    for (std::size_t i = 0; i < rows.rows.size(); ++i) {
        const auto& row = rows.rows[i];
        const std::string where = rows.fileName + " row " + std::to_string(i + 1) + ": ";
        const auto& index = row[kIndexColumn];
        const auto& nrPdo = row[kNrPdoColumn];
        const auto& posComp = row[kPosCompColumn];
        if (!index || !nrPdo || !posComp) {
            refusals.push_back(where + "Index, NrPdo or PosComp is missing" + kRewriteNote);
            continue;
        }
        const auto frame = IntegerValue(*nrPdo);
        if (!IntegerValue(*index) || !IntegerValue(*posComp) || !frame) {
            refusals.push_back(where + "Index, NrPdo or PosComp is not integer text" + kRewriteNote);
            continue;
        }
        if (*frame < 1 || static_cast<std::size_t>(*frame) > tables.mappings.size()) {
            refusals.push_back(where + "NrPdo " + *nrPdo + " names no frame (" + framesFile + " has " +
                               std::to_string(tables.mappings.size()) + ")" + kRewriteNote);
            continue;
        }
        tables.mappings[static_cast<std::size_t>(*frame - 1)].Registers.push_back(TClIndMB{*index, *posComp});
    }
    return tables;
}

}  // namespace

ImportRefused::ImportRefused(std::vector<std::string> reasons)
    : Error(JoinLines(reasons)), reasons_(std::move(reasons)) {}

std::optional<std::int32_t> IntegerValue(const std::string& text) { return ParseIntegerText(text); }

std::optional<std::size_t> DirectionTables::FrameWithId(std::uint32_t id, std::vector<std::string>& refusals) const {
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < frames.rows.size(); ++i) {
        const auto value = IntegerValue(frames.rows[i].CobID);
        if (value && static_cast<std::uint32_t>(*value) == id && *value >= 0) rows.push_back(i);
    }
    if (rows.size() > 1) {
        std::string list;
        for (std::size_t r : rows) list += (list.empty() ? "" : ", ") + std::to_string(r + 1);
        refusals.push_back("COB-ID 0x" + UpperHex(id) + " stands in rows " + list + " of " +
                           std::string(FramesFileName(frames.direction)) +
                           ": the import does not know which frame to map; keep one");
    }
    if (rows.empty()) return std::nullopt;
    return rows.front();
}

void DirectionTables::RemoveFrame(std::size_t row) {
    frames.rows.erase(frames.rows.begin() + static_cast<std::ptrdiff_t>(row));
    mappings.erase(mappings.begin() + static_cast<std::ptrdiff_t>(row));
    for (std::size_t i = row; i < mappings.size(); ++i) mappings[i].NrPdo = static_cast<std::int32_t>(i + 1);
    changed = true;
}

std::size_t DirectionTables::MappingCount() const {
    std::size_t count = 0;
    for (const TClPdo& frame : mappings) count += frame.Registers.size();
    return count;
}

ProjectTables ReadProjectTables(const std::filesystem::path& projectDir) {
    if (!DirectoryExists(projectDir)) throw Error("Project folder \"" + projectDir.string() + "\" not found");
    std::vector<std::string> refusals;
    ProjectTables tables;
    try {
        tables.mode = ReadProjectCanMode(projectDir);
    } catch (const Error& e) {
        refusals.push_back(std::string(kPargenFile) + ": " + e.what());
    }
    tables.receive = ReadDirection(projectDir, FrameDirection::Receive, refusals);
    tables.transmit = ReadDirection(projectDir, FrameDirection::Transmit, refusals);
    SignalFileRead signals = ReadSignalFile(projectDir);
    tables.signalFileName = signals.fileName;
    if (signals.status == ProjectDocument::Status::Unreadable)
        refusals.push_back(signals.fileName + ": " + signals.error + kRewriteNote +
                           "; to start it again, move it away and import the same messages with --adopt-rows, which "
                           "takes their rows back");
    tables.signalFile = std::move(signals.file);
    if (!refusals.empty()) throw ImportRefused(std::move(refusals));
    return tables;
}

void WriteProjectTables(const std::filesystem::path& projectDir, const ProjectTables& tables, TablesChange change) {
    std::vector<FileContent> files;
    for (FrameDirection d : {FrameDirection::Receive, FrameDirection::Transmit}) {
        const DirectionTables& t = tables.Of(d);
        if (!t.changed) continue;
        files.push_back({ProjectFileForWrite(projectDir, FramesFileName(d)), FrameTableText(t.frames)});
        files.push_back({ProjectFileForWrite(projectDir, MappingsFileName(d)), MappingsText(d, t.mappings)});
    }
    if (tables.signalFileChanged)
        files.push_back({ProjectFileForWrite(projectDir, kSignalFile), SignalFileText(tables.signalFile)});
    if (files.empty()) return;
    CommitFileSet(projectDir, change == TablesChange::Import ? "import of signals" : "removal of signals", files);
}

std::string FrameText(FrameDirection direction, const DirectionTables& tables, std::size_t row) {
    return "frame " + tables.frames.rows[row].CobID + " (row " + std::to_string(row + 1) + " of " +
           std::string(FramesFileName(direction)) + ")";
}

}  // namespace vestrel::signaldb
