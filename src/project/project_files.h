#pragma once

#include "project/gateway_terms.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace vestrel {

// The project files, spelled as they are created. Lookups ignore letter case.
inline constexpr std::string_view kPargenFile = "pargen.xml";
inline constexpr std::string_view kReceiveFramesFile = "RCobDef.xml";
inline constexpr std::string_view kTransmitFramesFile = "TCobDef.xml";
inline constexpr std::string_view kReceiveMappingsFile = "RInfoCob.xml";
inline constexpr std::string_view kTransmitMappingsFile = "TInfoCob.xml";
// All five, in that order.
inline constexpr std::string_view kProjectFileNames[] = {kPargenFile, kReceiveFramesFile, kTransmitFramesFile,
                                                         kReceiveMappingsFile, kTransmitMappingsFile};

// Any mode other than 1 is transmit, as in the dialogs.
inline FrameDirection DirectionFromMode(int editorMode) {
    return editorMode == 1 ? FrameDirection::Receive : FrameDirection::Transmit;
}

inline std::string_view FramesFileName(FrameDirection d) {
    return d == FrameDirection::Receive ? kReceiveFramesFile : kTransmitFramesFile;
}
inline std::string_view MappingsFileName(FrameDirection d) {
    return d == FrameDirection::Receive ? kReceiveMappingsFile : kTransmitMappingsFile;
}
// "RInfoCob" or "TInfoCob": the mapping file's stem, its document element and
// the stem of its CSV export.
inline std::string_view MappingsStem(FrameDirection d) {
    return d == FrameDirection::Receive ? "RInfoCob" : "TInfoCob";
}

// The entry of that name in the project folder, letter case ignored; nothing
// only when there is none. An entry that is not a readable file (a folder, a
// named pipe, a link that leads nowhere) is found too, so that reading it
// reports why instead of taking the file for absent.
std::optional<std::filesystem::path> FindProjectFile(const std::filesystem::path& projectDir,
                                                     std::string_view name);

// Where a save of that file goes: an existing differently cased file keeps
// its name.
std::filesystem::path ProjectFileForWrite(const std::filesystem::path& projectDir, std::string_view name);

// The five project files, in the order above, each as found on disk or, when
// there is none, under its own name: what a run that reads the project reads.
std::vector<std::filesystem::path> ProjectFilePaths(const std::filesystem::path& projectDir);

// Whether a folder without project files may be taken as a project: a
// command that only reads a project needs one that holds some; one that
// writes project files (the signal import) may also start a project that
// "New project" has just made, a folder that holds nothing but an empty bin.
enum class FreshProject { Refused, Taken };

// Throws Error unless `projectDir` is a folder that holds at least one of the
// five project files (or, where `fresh` takes it, is a fresh project):
// "Project folder "X" not found", or "The folder "X" is not a project: it
// holds none of pargen.xml, ...". Commands that take a project refuse
// anything else before they write anything. First it settles the folder
// (SettleFileSet): a set of project files that a killed run left half in
// place is completed or undone, or, while another run is still writing it,
// refused with an Error that names it; work files no writer holds are removed.
void RequireProjectFolder(const std::filesystem::path& projectDir, FreshProject fresh = FreshProject::Refused);

}  // namespace vestrel
