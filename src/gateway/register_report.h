#pragma once

#include "gateway/gateway_model.h"
#include "inspect/project_check.h"

#include <functional>
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

// A frame picture as a value: shapes in the picture's own units (those of
// the SVG it is written as), which the HTML writes as SVG and the PDF draws.
struct PictureShape {
    enum class Kind { Rect, Text, Line, Polygon };
    Kind kind = Kind::Rect;
    // Rect: x, y, width, height; Text: the middle of its base line; Line:
    // x1, y1, x2, y2; Polygon: its corners, x and y after each other.
    std::vector<double> points;
    std::string fill;     // "#rrggbb" or "#rgb": a Rect's, a Polygon's and a Text's colour
    std::string stroke;   // a Rect's outline and a Line's colour, 1.5 wide
    bool dashed = false;  // dashes of 4, gaps of 3
    std::string text = {};  // a Text's, not escaped
    int size = 12;          // a Text's font size
    bool bold = false;
};

struct FramePicture {
    double width = 0, height = 0;
    std::vector<PictureShape> shapes;
};

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
    FramePicture picture;  // a Frame's
};

struct ReportDocument {
    std::string title;  // "Register map: Demo"
    std::vector<ReportBlock> blocks;
};

ReportDocument RegisterMapDocument(const ReportInput& input);

std::string RegisterMapHtml(const ReportInput& input);
// What the page holds in place of a frame's picture; by default the picture
// as inline SVG.
using PictureWriter = std::function<std::string(const FramePicture& picture)>;
std::string RegisterMapHtml(const ReportDocument& document, const PictureWriter& picture = {});
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
FramePicture FramePictureOf(const GatewayModel& model, FrameDirection direction, int frameIndex);
std::string FramePictureSvg(const FramePicture& picture);
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
