#include "signaldb/signal_file_check.h"

#include "platform/error.h"
#include "platform/sha256.h"
#include "platform/file_util.h"
#include "platform/text.h"
#include "project/frame_mapping.h"
#include "project/frame_table.h"
#include "project/integer_text.h"
#include "signaldb/signal_file.h"

#include <map>
#include <optional>

namespace vestrel::signaldb {

namespace {

namespace fs = std::filesystem;

struct MappedRow {
    std::optional<std::int32_t> cobId;  // of the frame its NrPdo names, when it names one
    std::string posComp;
};

// The mapping rows of a direction by register number, each with its frame's
// COB-ID; nothing when a file cannot be read (the check says so elsewhere).
std::optional<std::map<std::int32_t, std::vector<MappedRow>>> RowsByRegister(const fs::path& dir, FrameDirection direction) {
    const FrameFileRows frames = ReadFrameRows(dir, direction);
    const MappingFileRows mappings = ReadMappingRows(dir, direction);
    if (frames.status == ProjectDocument::Status::Unreadable || mappings.status == ProjectDocument::Status::Unreadable)
        return std::nullopt;
    std::map<std::int32_t, std::vector<MappedRow>> rows;
    for (const auto& row : mappings.rows) {
        const auto index = row[kIndexColumn] ? ParseIntegerText(*row[kIndexColumn]) : std::nullopt;
        if (!index) continue;
        MappedRow mapped{std::nullopt, row[kPosCompColumn].value_or("")};
        const auto nrPdo = row[kNrPdoColumn] ? ParseIntegerText(*row[kNrPdoColumn]) : std::nullopt;
        if (nrPdo && *nrPdo >= 1 && static_cast<std::size_t>(*nrPdo) <= frames.rows.size()) {
            const auto& cobId = frames.rows[static_cast<std::size_t>(*nrPdo - 1)][kCobIdColumn];
            if (cobId) mapped.cobId = ParseIntegerText(*cobId);
        }
        rows[*index].push_back(std::move(mapped));
    }
    return rows;
}

std::string CobIdText(std::uint32_t id, bool extended) { return "0x" + UpperHex(id, extended ? 8 : 3); }

std::string PosCompText(int posComp) {
    return "PosComp " + std::to_string(posComp) + " (" + RegisterHalvesText(PlannedRegister{static_cast<std::uint8_t>(posComp)}) + ")";
}

// "DriveDiagnostics.Ready, Fault": the signals a register holds.
std::string HeldBy(const ImportedMessage& m, std::int32_t index) {
    std::string names;
    for (const ImportedSignal& s : m.signalList)
        for (std::int32_t r : s.registers)
            if (r == index) names += (names.empty() ? m.name + "." : ", ") + s.signal.name;
    return names;
}

void CheckRegisters(const fs::path& dir, const SignalFile& file, std::vector<std::string>& out) {
    for (FrameDirection d : {FrameDirection::Receive, FrameDirection::Transmit}) {
        const auto read = RowsByRegister(dir, d);
        if (!read) continue;
        const auto& rows = *read;
        for (const ImportedMessage& m : file.messages) {
            if (m.direction != d) continue;
            for (const ImportedRegister& r : m.registers) {
                const std::string reg = "register " + std::to_string(r.index) + " (" + DirectionWord(d) + ")";
                const auto it = rows.find(r.index);
                if (it == rows.end()) {
                    out.push_back(reg + " has no mapping; it was imported for " + HeldBy(m, r.index));
                    continue;
                }
                bool matches = false;
                for (const MappedRow& row : it->second)
                    matches = matches || (row.cobId && static_cast<std::uint32_t>(*row.cobId) == m.id &&
                                          ParseIntegerText(row.posComp) == r.posComp);
                if (matches) continue;
                const MappedRow& now = it->second.front();
                const auto posComp = ParseIntegerText(now.posComp);
                out.push_back(reg + " no longer maps what it was imported for (" + HeldBy(m, r.index) + "): it maps " +
                              (posComp ? PosCompText(*posComp & 0xFF) : "PosComp '" + now.posComp + "'") + " of " +
                              (now.cobId ? "frame 0x" + UpperHex(static_cast<std::uint32_t>(*now.cobId)) : "no frame") +
                              ", imported as " + PosCompText(r.posComp) + " of frame " + CobIdText(m.id, m.extended));
            }
        }
    }
}

void CheckDatabases(const fs::path& dir, const SignalFile& file, std::vector<std::string>& out) {
    std::map<std::string, std::optional<std::string>> digests;  // database -> SHA-256 now, if found
    for (const ImportedMessage& m : file.messages) {
        auto [it, first] = digests.try_emplace(m.database);
        if (!first) continue;
        const fs::path path = dir / fs::path(m.database);
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) continue;
        try {
            it->second = Sha256Hex(ReadRegularFile(path, kMaxDatabaseBytes));
        } catch (const Error&) {
            // Found but not readable: nothing to compare.
        }
    }
    for (const auto& [database, digest] : digests) {
        if (!digest) continue;
        std::string changed;
        int count = 0;
        for (const ImportedMessage& m : file.messages)
            if (m.database == database && m.sha256 != *digest) changed += (count++ ? ", " : "") + m.name;
        if (count)
            out.push_back(database + " changed since " + changed + (count == 1 ? " was" : " were") +
                          " imported from it: import again to take what changed");
    }
}

}  // namespace

SignalFileWarnings CheckSignalFile(const fs::path& projectDir) {
    SignalFileWarnings warnings;
    const SignalFileRead read = ReadSignalFile(projectDir);
    warnings.fileName = read.fileName;
    if (read.status == ProjectDocument::Status::Absent) return warnings;
    if (!read.Loaded()) {
        warnings.texts.push_back("the file cannot be read, so its signals are not known: " + read.error);
        return warnings;
    }
    for (const ImportedMessage& m : read.file.messages)
        for (const ImportedSignal& s : m.signalList)
            if (!s.problem.empty())
                warnings.texts.push_back(m.name + "." + s.signal.name + " has no physical value: " + s.problem);
    CheckRegisters(projectDir, read.file, warnings.texts);
    CheckDatabases(projectDir, read.file, warnings.texts);
    return warnings;
}

}  // namespace vestrel::signaldb
