#pragma once

#include "gateway/gateway_model.h"

#include <string>
#include <vector>

// The register map of a configuration: its settings in words, per direction
// the registers sorted by number with the frame bytes that feed them, a
// picture of each frame's data bytes, and what the project check and the
// model find. As one self-contained HTML page, as CSV or as Markdown.
namespace vestrel::gateway {

struct ReportInput {
    const GatewayModel* model = nullptr;
    std::vector<Problem> problems;  // the project check's findings; none for banks
    std::string sourceName;         // the project folder's or the image's name, for the title
    bool fromProject = true;        // banks of a compile: their stamp means nothing
};

enum class ReportFormat { Html, Csv, Markdown };

std::string RegisterMapHtml(const ReportInput& input);
// One row per mapping record: direction, register, frame, COB-ID, mnemonic,
// high byte from, low byte from; sorted by direction, then register.
std::string RegisterMapCsv(const ReportInput& input);
std::string RegisterMapMarkdown(const ReportInput& input);
std::string RegisterMap(const ReportInput& input, ReportFormat format);

// The picture of one frame: its data bytes B1-B8 (those past Dimensin
// greyed) and an arrow from each byte to the register half it feeds, or from
// the register half to the byte for a transmit frame; a colour per mapping
// record. An <svg> element with presentation attributes only, so that a
// browser and Qt's SVG renderer draw it alike.
std::string FramePictureSvg(const GatewayModel& model, FrameDirection direction, int frameIndex);

// The title of a frame as the report and the windows show it:
// "Frame 1 "Drive status": COB-ID 0x181, Dimensin 8". Not escaped.
std::string FrameCaption(const GatewayFrame& frame, int frameIndex);

// The communication settings as (name, value in words) pairs.
std::vector<std::pair<std::string, std::string>> SettingsInWords(const ReportInput& input);

// "B3", "none", "B5 (past Dimensin 2)", "code 9 (no data byte)".
std::string ByteSourceCell(int nibble, const GatewayFrame* frame);

// Mapping record indexes of a direction sorted by register, then record.
std::vector<int> MappingsByRegister(const GatewayDirection& direction);

}  // namespace vestrel::gateway
