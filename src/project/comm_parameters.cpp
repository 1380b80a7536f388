#include "project/comm_parameters.h"

#include "platform/file_util.h"

#include "project/integer_text.h"
#include "project/project_document.h"
#include "project/project_xml.h"

namespace vestrel {

namespace {
constexpr const char* kCommDocumentElement = "GeneralParameter";
}

const std::array<CommParameterElement, 11> kCommParameterElements = {{
    {"BaudRateCAN", &CommParameters::BaudRateCAN, "0"},
    {"CANType", &CommParameters::CANType, "0"},
    {"Baud_Ser", &CommParameters::Baud_Ser, "3"},
    {"Par_Ser", &CommParameters::Par_Ser, "0"},
    {"IDDev_Ser", &CommParameters::IDDev_Ser, "1"},
    {"TimeOut_Ser", &CommParameters::TimeOut_Ser, "1000"},
    {"TimeOut_Data", &CommParameters::TimeOut_Data, "0"},
    {"TO_ModReg", &CommParameters::TO_ModReg, "1"},
    {"Serial", &CommParameters::Serial, "1"},
    {"Cancel_Data", &CommParameters::Cancel_Data, "0"},
    {"Can_Data_Inp_Reg", &CommParameters::Can_Data_Inp_Reg, "0"},
}};

CommParameters CommParameters::Defaults() {
    CommParameters p;
    for (const auto& e : kCommParameterElements) p.*e.field = e.defaultText;
    return p;
}

SettingTexts ReadCommParameterTexts(const std::filesystem::path& projectDir, std::string_view name) {
    std::vector<const char*> elements;
    for (const auto& e : kCommParameterElements) elements.push_back(e.name);
    return ReadSettingTexts(projectDir, name, elements);
}

CommParametersRead ReadCommParameters(const std::filesystem::path& projectDir) {
    CommParametersRead result;
    const SettingTexts file = ReadCommParameterTexts(projectDir, kPargenFile);
    if (file.status == ProjectDocument::Status::Absent) return result;
    if (!file.Loaded()) {
        result.status = CommParametersRead::Status::Unreadable;
        result.error = file.error;
        return result;
    }
    result.status = CommParametersRead::Status::Loaded;
    // The settings are those of "GeneralParameter"; another document element
    // holds none.
    if (file.rootName != kCommDocumentElement) return result;
    for (std::size_t i = 0; i < kCommParameterElements.size(); ++i)
        result.parameters.*kCommParameterElements[i].field = file.values[i];
    return result;
}

std::string CommParametersText(const CommParameters& parameters) {
    ProjectXml xml;
    auto root = xml.AddDocumentElement(kCommDocumentElement);
    for (const auto& e : kCommParameterElements) {
        const auto& value = parameters.*e.field;
        xml.SetText(xml.AppendChild(root, e.name), value ? *value : std::string(e.defaultText));
    }
    return xml.Serialize();
}

void WriteCommParameters(const std::filesystem::path& projectDir, const CommParameters& parameters) {
    WriteFileAtomic(ProjectFileForWrite(projectDir, kPargenFile), CommParametersText(parameters));
}

CanMode CanModeOf(const CommParameters& parameters) {
    if (!parameters.CANType) return CanMode::Can20A;
    auto value = ParseIntegerText(*parameters.CANType);
    return value ? CanModeOfCanType(*value) : CanMode::Can20A;
}

CanMode ReadProjectCanMode(const std::filesystem::path& projectDir) {
    CommParametersRead read = ReadCommParameters(projectDir);
    if (read.status == CommParametersRead::Status::Unreadable) throw Error(read.error);
    return CanModeOf(read.parameters);
}

}  // namespace vestrel
