#pragma once

#include "platform/error.h"
#include "project/frame_mapping.h"
#include "project/frame_table.h"
#include "project/project_files.h"
#include "signaldb/signal_file.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The project as an import of signals, or their removal, changes it: the
// frame and mapping tables of both directions and signals.xml, read whole
// (or not at all) and written back as one set.
namespace vestrel::signaldb {

// Why an import or a removal writes nothing: every reason found, each with
// its numbers. what() holds them one a line.
class ImportRefused : public Error {
public:
    explicit ImportRefused(std::vector<std::string> reasons);
    const std::vector<std::string>& Reasons() const { return reasons_; }

private:
    std::vector<std::string> reasons_;
};

struct DirectionTables {
    FrameTable frames;   // the frame file's rows, texts as they stand
    FrameList mappings;  // one per frame row, in order (NrPdo = position), with its registers
    bool changed = false;

    // The row (0-based) of the frame with this COB-ID; refusals when several
    // rows have it go to `refusals`. Nothing when none has it.
    std::optional<std::size_t> FrameWithId(std::uint32_t id, std::vector<std::string>& refusals) const;
    // Removes the frame and its registers; the frames after it move up.
    void RemoveFrame(std::size_t row);
    // The number of mapping rows.
    std::size_t MappingCount() const;
};

struct ProjectTables {
    CanMode mode = CanMode::Can20A;
    DirectionTables receive, transmit;
    SignalFile signalFile;
    std::string signalFileName = std::string(kSignalFile);  // as found on disk
    bool signalFileChanged = false;

    DirectionTables& Of(FrameDirection d) { return d == FrameDirection::Receive ? receive : transmit; }
    const DirectionTables& Of(FrameDirection d) const { return d == FrameDirection::Receive ? receive : transmit; }
};

// Reads the project's CAN mode, frame and mapping files and signals.xml.
// Throws ImportRefused when one cannot be read whole, since writing it back
// would lose what was not read: a file that is not well-formed, more than 250
// frames, a mapping row without its three values, with an Index or PosComp
// that is not integer text or an NrPdo that names no frame, a signals.xml
// this tool would not write. Throws Error when the folder does not exist.
ProjectTables ReadProjectTables(const std::filesystem::path& projectDir);

// What changes the tables: the run a record of an interrupted write names.
enum class TablesChange { Import, Removal };

// Writes the files of the directions that changed, and signals.xml when it
// did, as one set (CommitFileSet): after a kill or a failure the project
// holds all of them as before or all as after. The caller holds the project
// folder's lock. Throws Error as the writes fail.
void WriteProjectTables(const std::filesystem::path& projectDir, const ProjectTables& tables,
                        TablesChange change = TablesChange::Import);

// The integer value of an Index, CobID, Dimensin or PosComp text.
std::optional<std::int32_t> IntegerValue(const std::string& text);

// "frame 0x181 (row 2 of RCobDef.xml)".
std::string FrameText(FrameDirection direction, const DirectionTables& tables, std::size_t row);

}  // namespace vestrel::signaldb
