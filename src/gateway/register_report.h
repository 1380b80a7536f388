#pragma once

#include "gateway/gateway_model.h"
#include "inspect/project_check.h"

#include <string>
#include <vector>

// The register map of a configuration: its settings in words, per direction
// the registers sorted by number with the frame bytes that feed them, a
// picture of each frame's data bytes, and what the project check and the
// model find. As one self-contained HTML page, as CSV or as Markdown.
namespace vestrel::gateway {

class SignalValues;

struct ReportInput {
    const GatewayModel* model = nullptr;
    std::vector<Problem> problems;  // the project check's findings; none for banks
    std::string sourceName;         // the project folder's or the image's name, for the title
    bool fromProject = true;        // banks of a compile: their stamp means nothing
    const SignalValues* signalValues = nullptr;  // what the registers signals were imported into mean
};

enum class ReportFormat { Html, Csv, Markdown };

// The register map as a document: the blocks the HTML page and the PDF are
// both made of, in order, so that they say the same. Texts are plain (not
// escaped); a frame block carries its picture as SVG.
struct ReportTable {
    std::vector<std::string> headings;           // none for a table of name-value rows
    std::vector<bool> numeric;                   // right-aligned columns
    std::vector<std::vector<std::string>> rows;  // for name-value rows: name, value
};

enum class FindingLevel { Error, Warning, Note };

struct ReportBlock {
    enum class Kind {
        Intro,       // the line under the title
        Heading,     // a section: findings, settings, a direction
        Subheading,  // a direction's frames
        Paragraph,   // "None.", "No frames."
        Findings,    // a list, each item with its level
        Settings,    // name-value rows
        MapTable,    // registers with the frame bytes they are fed from or feed
        Frame,       // a caption and the frame's picture
    };
    Kind kind = Kind::Paragraph;
    std::string text;  // Intro, Heading, Subheading, Paragraph; a Frame's caption
    std::vector<std::pair<FindingLevel, std::string>> findings;
    ReportTable table;
    std::string svg;
};

struct ReportDocument {
    std::string title;  // "Register map: Demo"
    std::vector<ReportBlock> blocks;
};

ReportDocument RegisterMapDocument(const ReportInput& input);

std::string RegisterMapHtml(const ReportInput& input);
std::string RegisterMapHtml(const ReportDocument& document);
// One row per mapping record: direction, register, frame, COB-ID, mnemonic,
// and the data byte of the register's high and low half (the byte it is fed
// from, receiving, or feeds, transmitting); sorted by direction, then
// register.
std::string RegisterMapCsv(const ReportInput& input);
std::string RegisterMapMarkdown(const ReportInput& input);
std::string RegisterMap(const ReportInput& input, ReportFormat format);

// The picture of one frame: its data bytes B1-B8 (those past Dimensin
// greyed) and an arrow from each byte to the register half it feeds, or from
// the register half to the byte for a transmit frame; a colour per mapping
// record. An <svg> element with presentation attributes only, so that a
// browser and Qt's SVG renderer draw it alike; its numbers never depend on
// the locale. Each register gets room for its label ("register 65531").
std::string FramePictureSvg(const GatewayModel& model, FrameDirection direction, int frameIndex);

// The title of a frame as the report and the windows show it:
// "Frame 1 "Drive status": COB-ID 0x181, Dimensin 8". Not escaped.
std::string FrameCaption(const GatewayFrame& frame, int frameIndex);

// The headings of a direction's register table: "High byte from" where the
// frame feeds the register, "High byte to" where the register feeds the frame.
std::vector<std::string> MapTableHeadings(FrameDirection direction);

// The findings a report lists: the project check's problems, then what the
// model adds to them, each problem once.
std::vector<std::pair<FindingLevel, std::string>> ReportFindings(const ReportInput& input);

// The communication settings as (name, value in words) pairs.
std::vector<std::pair<std::string, std::string>> SettingsInWords(const ReportInput& input);

// "B3", "none", "B5 (past Dimensin 2)", "code 9 (no data byte)".
std::string ByteSourceCell(int nibble, const GatewayFrame* frame);

// Mapping record indexes of a direction sorted by register, then record.
std::vector<int> MappingsByRegister(const GatewayDirection& direction);

}  // namespace vestrel::gateway
