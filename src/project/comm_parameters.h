#pragma once

#include "project/project_document.h"
#include "project/project_files.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>

namespace vestrel {

// The content of pargen.xml: eleven settings, each a text or absent.
struct CommParameters {
    using Field = std::optional<std::string>;

    Field BaudRateCAN;
    Field CANType;
    Field Baud_Ser;
    Field Par_Ser;
    Field IDDev_Ser;
    Field TimeOut_Ser;
    Field TimeOut_Data;
    Field TO_ModReg;
    Field Serial;
    Field Cancel_Data;
    Field Can_Data_Inp_Reg;

    // The defaults of a new project: 0, 0, 3, 0, 1, 1000, 0, 1, 1, 0, 0.
    static CommParameters Defaults();

    friend bool operator==(const CommParameters&, const CommParameters&) = default;
};

// The elements of "GeneralParameter" in the order they are written.
struct CommParameterElement {
    const char* name;
    CommParameters::Field CommParameters::*field;
    const char* defaultText;
};
extern const std::array<CommParameterElement, 11> kCommParameterElements;

struct CommParametersRead {
    enum class Status {
        NoFile,      // no pargen.xml in the project folder
        Unreadable,  // not well-formed, or the file could not be read; see error
        Loaded,      // parameters holds what the file holds (absent where missing)
    };
    Status status = Status::NoFile;
    CommParameters parameters;
    std::string error;
};

CommParametersRead ReadCommParameters(const std::filesystem::path& projectDir);

// The eleven settings of the file `name` (letter case ignored) as texts, in
// the order of kCommParameterElements, taken from the document element
// whatever its name: what the compiler and the project check read. The
// compiler asks for "Pargen.xml", the settings dialog for "pargen.xml".
SettingTexts ReadCommParameterTexts(const std::filesystem::path& projectDir, std::string_view name);

// The file's text: all eleven elements, an absent field as its default.
std::string CommParametersText(const CommParameters& parameters);

// Writes all eleven elements; an absent field is written as its default.
// Throws Error when the file cannot be saved; the old file then stays.
void WriteCommParameters(const std::filesystem::path& projectDir, const CommParameters& parameters);

// The editors' reading of CANType: the device's (CanModeOfCanType), and an
// absent or non-integer text CAN 2.0A.
CanMode CanModeOf(const CommParameters& parameters);

// The CAN mode of a project for the editors: CAN 2.0A without pargen.xml.
// Throws Error with the parse error's text when the file cannot be read.
CanMode ReadProjectCanMode(const std::filesystem::path& projectDir);

}  // namespace vestrel
