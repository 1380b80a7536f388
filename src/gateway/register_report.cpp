#include "gateway/register_report.h"

#include "gateway/report_signals.h"

#include "inspect/bank_decoder.h"
#include "platform/csv_text.h"
#include "platform/html_text.h"
#include "platform/printable_text.h"

#include <algorithm>
#include <cmath>
#include <charconv>

namespace vestrel::gateway {

namespace {

// Light fills for the mapping records of a frame, one after the other.
constexpr const char* kPalette[] = {"#cfe3ff", "#ffd9b3", "#c8f0c8", "#f3c8f0", "#fff0a8", "#c8f0ee", "#e6d3c3",
                                    "#dcdcf8"};
constexpr const char* kStrokes[] = {"#2a6fd6", "#d9822b", "#2f9a2f", "#b33aa8", "#b59a00", "#1f9a93", "#8b5a2b",
                                    "#5a5ac8"};

const char* DirectionTitle(FrameDirection d) {
    return d == FrameDirection::Receive ? "Receive: registers the Modbus master reads"
                                        : "Transmit: registers the Modbus master writes";
}

// As printf's %g in the C locale, whatever locale the program runs in.
std::string Number(double value) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
    return ec == std::errc() ? std::string(text, end) : std::string("0");
}

// The width of a register label in the pictures' bold 12 px DejaVu Sans:
// "register " and digits, each digit as wide as the next.
double LabelWidth(std::uint16_t reg) {
    constexpr double kPrefix = 57.8, kDigit = 8.35;
    return kPrefix + kDigit * static_cast<double>(std::to_string(reg).size());
}

// The frame cell of a register row: the frame's position, and why its
// registers get nothing when no frame or the lookup never reaches it.
std::string FrameCell(const GatewayModel& model, const GatewayDirection& d, const GatewayMapping& m) {
    const GatewayFrame* frame = d.FrameOf(m);
    if (!frame) return std::to_string(m.frame) + " (no such frame)";
    if (d.direction == FrameDirection::Receive) {
        if (const Result<void> reached = model.ReceiveFrameReached(m.frame - 1); !reached)
            return std::to_string(m.frame) + " (" + reached.Why() + ")";
    }
    return std::to_string(m.frame);
}

// One register row of a direction's table, cells as plain text.
std::vector<std::string> MapRow(const GatewayModel& model, const GatewayDirection& d, const GatewayMapping& m) {
    const GatewayFrame* frame = d.FrameOf(m);
    return {std::to_string(m.reg), FrameCell(model, d, m), frame ? can::CobIdText(frame->cobId) : "",
            frame ? frame->mnemonic : "", ByteSourceCell(m.HighByte(), frame), ByteSourceCell(m.LowByte(), frame)};
}

std::string CsvField(const std::string& text) { return CsvCell(PrintableText(text, LineBreaks::OneLine), ','); }

std::string MarkdownCell(const std::string& text) { return EscapeMarkdown(text); }

// Draws a frame picture shape by shape.
struct Picture {
    FramePicture value;
    void Rect(double x, double y, double w, double h, const std::string& fill, const std::string& stroke,
              bool dashed = false) {
        value.shapes.push_back({PictureShape::Kind::Rect, {x, y, w, h}, fill, stroke, dashed});
    }
    void Text(double x, double y, const std::string& text, const std::string& fill = "#000", int size = 12,
              bool bold = false) {
        value.shapes.push_back({PictureShape::Kind::Text, {x, y}, fill, {}, false, text, size, bold});
    }
    // A line with an arrowhead at (x2, y2), drawn as a polygon (no markers:
    // Qt's SVG renderer does not draw them).
    void Arrow(double x1, double y1, double x2, double y2, const std::string& stroke, bool dashed) {
        value.shapes.push_back({PictureShape::Kind::Line, {x1, y1, x2, y2}, {}, stroke, dashed});
        const double length = std::hypot(x2 - x1, y2 - y1);
        if (length < 1) return;
        const double ux = (x2 - x1) / length, uy = (y2 - y1) / length;
        const double bx = x2 - 9 * ux, by = y2 - 9 * uy;
        value.shapes.push_back(
            {PictureShape::Kind::Polygon, {x2, y2, bx - 4 * uy, by + 4 * ux, bx + 4 * uy, by - 4 * ux}, stroke, {}, false});
    }
};

// A shape as an SVG element with presentation attributes only.
std::string ShapeSvg(const PictureShape& s) {
    const auto& v = s.points;
    const std::string dash = s.dashed ? " stroke-dasharray=\"4,3\"" : "";
    switch (s.kind) {
        case PictureShape::Kind::Rect:
            return "<rect x=\"" + Number(v[0]) + "\" y=\"" + Number(v[1]) + "\" width=\"" + Number(v[2]) +
                   "\" height=\"" + Number(v[3]) + "\" fill=\"" + s.fill + "\" stroke=\"" + s.stroke +
                   "\" stroke-width=\"1.5\"" + dash + "/>";
        case PictureShape::Kind::Text:
            return "<text x=\"" + Number(v[0]) + "\" y=\"" + Number(v[1]) +
                   "\" font-family=\"DejaVu Sans, sans-serif\" font-size=\"" + std::to_string(s.size) + "\"" +
                   (s.bold ? " font-weight=\"bold\"" : "") + " text-anchor=\"middle\" fill=\"" + s.fill + "\">" +
                   EscapeHtml(s.text) + "</text>";
        case PictureShape::Kind::Line:
            return "<line x1=\"" + Number(v[0]) + "\" y1=\"" + Number(v[1]) + "\" x2=\"" + Number(v[2]) + "\" y2=\"" +
                   Number(v[3]) + "\" stroke=\"" + s.stroke + "\" stroke-width=\"1.5\"" + dash + "/>";
        case PictureShape::Kind::Polygon: {
            std::string points;
            for (std::size_t i = 0; i + 1 < v.size(); i += 2)
                points += (i ? " " : "") + Number(v[i]) + "," + Number(v[i + 1]);
            return "<polygon points=\"" + points + "\" fill=\"" + s.fill + "\"/>";
        }
    }
    return {};
}

}  // namespace

std::string FrameCaption(const GatewayFrame& frame, int frameIndex) {
    std::string caption = "Frame " + std::to_string(frameIndex + 1);
    if (!frame.mnemonic.empty()) caption += " \"" + frame.mnemonic + "\"";
    caption += ": COB-ID " + can::CobIdText(frame.cobId) + ", Dimensin " + std::to_string(frame.length);
    if (frame.remote) caption += ", remote frame";
    return caption;
}

std::string ByteSourceCell(int nibble, const GatewayFrame* frame) {
    if (nibble == 0) return "none";
    if (DataByteOfNibble(nibble) < 0) return "code " + std::to_string(nibble) + " (no data byte)";
    const std::string byte = "B" + std::to_string(nibble);
    if (frame && DataByteWithin(nibble, frame->length) < 0) return byte + " (past Dimensin " + std::to_string(frame->length) + ")";
    return byte;
}

std::vector<int> MappingsByRegister(const GatewayDirection& direction) {
    std::vector<int> order(direction.mappings.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return direction.mappings[static_cast<std::size_t>(a)].reg < direction.mappings[static_cast<std::size_t>(b)].reg;
    });
    return order;
}

std::vector<std::pair<std::string, std::string>> SettingsInWords(const ReportInput& input) {
    std::vector<std::pair<std::string, std::string>> settings;
    // A report of a project has no compile to stamp.
    for (SettingRow& row : DecodedSettings(input.model->Banks(), !input.fromProject))
        settings.emplace_back(std::move(row.name), std::move(row.value));
    return settings;
}

std::string FramePictureSvg(const FramePicture& picture) {
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Number(picture.width) + "\" height=\"" +
                      Number(picture.height) + "\" viewBox=\"0 0 " + Number(picture.width) + " " +
                      Number(picture.height) + "\">";
    for (const PictureShape& shape : picture.shapes) svg += ShapeSvg(shape);
    return svg + "</svg>";
}

std::string FramePictureSvg(const GatewayModel& model, FrameDirection direction, int frameIndex) {
    return FramePictureSvg(FramePictureOf(model, direction, frameIndex));
}

FramePicture FramePictureOf(const GatewayModel& model, FrameDirection direction, int frameIndex) {
    const GatewayDirection& d = model.Direction(direction);
    const GatewayFrame& frame = d.frames[static_cast<std::size_t>(frameIndex)];
    const bool receive = direction == FrameDirection::Receive;
    constexpr double kByteW = 58, kByteGap = 10, kByteH = 34, kByteY = 8;
    constexpr double kRegGap = 14, kRegH = 34, kRegY = 112;
    const std::size_t registers = frame.mappings.size();
    // Wide enough for the longest label under it.
    double regW = 84;
    for (int m : frame.mappings)
        regW = std::max(regW, std::ceil(LabelWidth(d.mappings[static_cast<std::size_t>(m)].reg)) + 8);
    const double width =
        std::max(can::kMaxDataBytes * (kByteW + kByteGap), static_cast<double>(registers) * (regW + kRegGap)) + 16;
    const double height = registers ? kRegY + kRegH + 24 : kByteY + kByteH + 10;

    Picture p;
    p.value.width = width;
    p.value.height = height;
    // The colour of each byte: that of the first record feeding it.
    std::array<int, can::kMaxDataBytes> byteColour;
    byteColour.fill(-1);
    for (std::size_t r = 0; r < registers; ++r) {
        const GatewayMapping& m = d.mappings[static_cast<std::size_t>(frame.mappings[r])];
        for (int nibble : {m.HighByte(), m.LowByte()})
            if (const int b = DataByteOfNibble(nibble); b >= 0 && byteColour[static_cast<std::size_t>(b)] < 0)
                byteColour[static_cast<std::size_t>(b)] = static_cast<int>(r % std::size(kPalette));
    }
    for (int b = 0; b < can::kMaxDataBytes; ++b) {
        const double x = 8 + b * (kByteW + kByteGap);
        const bool present = b < frame.length && !frame.remote;
        const int colour = byteColour[static_cast<std::size_t>(b)];
        p.Rect(x, kByteY, kByteW, kByteH, present ? (colour >= 0 ? kPalette[colour] : "#ffffff") : "#eeeeee",
               present ? "#444444" : "#aaaaaa", !present);
        p.Text(x + kByteW / 2, kByteY + kByteH / 2 + 5, "B" + std::to_string(b + 1), present ? "#000" : "#999", 13,
               present);
    }
    for (std::size_t r = 0; r < registers; ++r) {
        const GatewayMapping& m = d.mappings[static_cast<std::size_t>(frame.mappings[r])];
        const std::size_t colour = r % std::size(kPalette);
        const double x = 8 + static_cast<double>(r) * (regW + kRegGap);
        const double half = regW / 2;
        p.Rect(x, kRegY, half, kRegH, kPalette[colour], kStrokes[colour]);
        p.Rect(x + half, kRegY, half, kRegH, kPalette[colour], kStrokes[colour]);
        p.Text(x + half / 2, kRegY + 14, "high", "#333", 10);
        p.Text(x + half + half / 2, kRegY + 14, "low", "#333", 10);
        p.Text(x + regW / 2, kRegY + kRegH + 16, "register " + std::to_string(m.reg), "#000", 12, true);
        const std::pair<int, double> halves[] = {{m.HighByte(), x + half / 2}, {m.LowByte(), x + half + half / 2}};
        for (const auto& [nibble, hx] : halves) {
            if (nibble == 0) {
                p.Text(hx, kRegY + 28, "none", "#777", 10);
                continue;
            }
            if (DataByteOfNibble(nibble) < 0) {
                p.Text(hx, kRegY + 28, "code " + std::to_string(nibble), "#c00000", 10, true);
                continue;
            }
            const bool reachable = DataByteWithin(nibble, frame.length) >= 0 && !frame.remote;
            p.Text(hx, kRegY + 28, "B" + std::to_string(nibble), reachable ? "#000" : "#c00000", 10, true);
            const double bx = 8 + DataByteOfNibble(nibble) * (kByteW + kByteGap) + kByteW / 2;
            const std::string stroke = reachable ? kStrokes[colour] : "#c00000";
            if (receive)
                p.Arrow(bx, kByteY + kByteH, hx, kRegY - 1, stroke, !reachable);
            else
                p.Arrow(hx, kRegY, bx, kByteY + kByteH + 1, stroke, !reachable);
        }
    }
    return std::move(p.value);
}

std::vector<std::string> MapTableHeadings(FrameDirection direction) {
    const bool receive = direction == FrameDirection::Receive;
    return {"Register", "Frame", "COB-ID", "Mnemonic", receive ? "High byte from" : "High byte to",
            receive ? "Low byte from" : "Low byte to"};
}

std::vector<std::pair<FindingLevel, std::string>> ReportFindings(const ReportInput& input) {
    std::vector<std::pair<FindingLevel, std::string>> findings;
    for (const Problem& problem : input.problems)
        findings.emplace_back(problem.severity == Severity::Error ? FindingLevel::Error : FindingLevel::Warning,
                              FormatProblem(problem));
    for (const Finding& finding : input.model->Findings()) {
        // The check has said it of the project's rows already.
        if (input.fromProject && finding.inProjectCheck) continue;
        findings.emplace_back(FindingLevel::Note,
                              (finding.direction == FrameDirection::Receive ? "Receive: " : "Transmit: ") + finding.text);
    }
    return findings;
}

ReportDocument RegisterMapDocument(const ReportInput& input) {
    const GatewayModel& model = *input.model;
    ReportDocument doc;
    doc.title = "Register map: " + input.sourceName;
    auto add = [&](ReportBlock::Kind kind, std::string text = {}) -> ReportBlock& {
        ReportBlock& block = doc.blocks.emplace_back();
        block.kind = kind;
        block.text = std::move(text);
        return block;
    };
    add(ReportBlock::Kind::Intro,
        input.fromProject ? "The project as a compile lays it into the banks: register numbers, byte codes and the "
                            "frame each COB-ID reaches are what the device holds."
                          : "Read back from the banks; they keep no mnemonics.");
    add(ReportBlock::Kind::Heading, "Findings");
    auto findings = ReportFindings(input);
    if (findings.empty())
        add(ReportBlock::Kind::Paragraph, "None.");
    else
        add(ReportBlock::Kind::Findings).findings = std::move(findings);
    add(ReportBlock::Kind::Heading, "Communication settings");
    ReportBlock& settings = add(ReportBlock::Kind::Settings);
    for (auto& [name, value] : SettingsInWords(input)) settings.table.rows.push_back({name, value});
    add(ReportBlock::Kind::Heading, kPlcAccessTitle);
    ReportBlock& access = add(ReportBlock::Kind::Settings);
    for (auto& [name, value] : PlcAccessInWords(model)) access.table.rows.push_back({name, value});

    for (FrameDirection direction : {FrameDirection::Receive, FrameDirection::Transmit}) {
        const GatewayDirection& d = model.Direction(direction);
        add(ReportBlock::Kind::Heading, DirectionTitle(direction));
        if (d.mappings.empty()) {
            add(ReportBlock::Kind::Paragraph, "No mapping records.");
        } else {
            ReportTable& table = add(ReportBlock::Kind::MapTable).table;
            table.headings = MapTableHeadings(direction);
            table.numeric = {true, true, false, false, false, false};
            for (int index : MappingsByRegister(d))
                table.rows.push_back(MapRow(model, d, d.mappings[static_cast<std::size_t>(index)]));
        }
        if (input.signalValues) {
            ReportTable signalTable = SignalTable(*input.signalValues, direction);
            if (!signalTable.rows.empty()) {
                add(ReportBlock::Kind::Subheading,
                    direction == FrameDirection::Receive ? "Receive signals" : "Transmit signals");
                add(ReportBlock::Kind::MapTable).table = std::move(signalTable);
                if (direction == FrameDirection::Transmit && HasMultiRegisterWrites(*input.signalValues))
                    add(ReportBlock::Kind::Paragraph, kMultiRegisterWriteNote);
            }
        }
        add(ReportBlock::Kind::Subheading,
            direction == FrameDirection::Receive ? "Receive frames" : "Transmit frames");
        if (d.frames.empty()) add(ReportBlock::Kind::Paragraph, "No frames.");
        for (std::size_t i = 0; i < d.frames.size(); ++i)
            add(ReportBlock::Kind::Frame, FrameCaption(d.frames[i], static_cast<int>(i))).picture =
                FramePictureOf(model, direction, static_cast<int>(i));
    }
    return doc;
}

std::string RegisterMapHtml(const ReportInput& input) { return RegisterMapHtml(RegisterMapDocument(input)); }

std::string RegisterMapHtml(const ReportDocument& doc, const PictureWriter& picture) {
    std::string h;
    auto add = [&](const std::string& text) { h += text; };
    add("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>" + EscapeHtml(doc.title) +
        "</title>\n<style>\n"
        "body{font-family:\"DejaVu Sans\",Arial,sans-serif;font-size:14px;margin:24px;color:#111;max-width:1100px}\n"
        "h1{font-size:22px;margin:0 0 4px}h2{font-size:18px;margin:28px 0 8px;border-bottom:1px solid #ccc}\n"
        "h3{font-size:15px;margin:18px 0 6px}\n"
        "table{border-collapse:collapse;margin:6px 0}th,td{border:1px solid #bbb;padding:3px 8px;text-align:left}\n"
        "th{background:#f0f0f0}td.n{text-align:right}\n"
        "ul.findings li.error{color:#a00000}ul.findings li.warning{color:#7a5200}\n"
        ".muted{color:#666}div.frame{margin:8px 0 16px}p.caption{font-weight:bold;margin:10px 0 4px}\n"
        "</style>\n</head>\n<body>\n");
    add("<h1>" + EscapeHtml(doc.title) + "</h1>\n");
    for (const ReportBlock& b : doc.blocks) {
        switch (b.kind) {
            case ReportBlock::Kind::Intro: add("<p class=\"muted\">" + EscapeHtml(b.text) + "</p>\n"); break;
            case ReportBlock::Kind::Heading: add("<h2>" + EscapeHtml(b.text) + "</h2>\n"); break;
            case ReportBlock::Kind::Subheading: add("<h3>" + EscapeHtml(b.text) + "</h3>\n"); break;
            case ReportBlock::Kind::Paragraph: add("<p>" + EscapeHtml(b.text) + "</p>\n"); break;
            case ReportBlock::Kind::Findings:
                add("<ul class=\"findings\">\n");
                for (const auto& [level, text] : b.findings)
                    add(std::string(level == FindingLevel::Error     ? "<li class=\"error\">"
                                    : level == FindingLevel::Warning ? "<li class=\"warning\">"
                                                                     : "<li>") +
                        EscapeHtml(text) + "</li>\n");
                add("</ul>\n");
                break;
            case ReportBlock::Kind::Settings:
                add("<table class=\"settings\">\n");
                for (const auto& row : b.table.rows)
                    add("<tr><th>" + EscapeHtml(row[0]) + "</th><td>" + EscapeHtml(row[1]) + "</td></tr>\n");
                add("</table>\n");
                break;
            case ReportBlock::Kind::MapTable:
                add("<table class=\"map\">\n<thead><tr>");
                for (const std::string& heading : b.table.headings) add("<th>" + EscapeHtml(heading) + "</th>");
                add("</tr></thead>\n<tbody>\n");
                for (const auto& row : b.table.rows) {
                    add("<tr>");
                    for (std::size_t c = 0; c < row.size(); ++c)
                        add((b.table.numeric[c] ? "<td class=\"n\">" : "<td>") + EscapeHtml(row[c]) + "</td>");
                    add("</tr>\n");
                }
                add("</tbody>\n</table>\n");
                break;
            case ReportBlock::Kind::Frame:
                add("<div class=\"frame\">\n<p class=\"caption\">" + EscapeHtml(b.text) + "</p>\n<div>" +
                    (picture ? picture(b.picture) : FramePictureSvg(b.picture)) +
                    "</div>\n</div>\n");
                break;
        }
    }
    add("</body>\n</html>\n");
    return h;
}

std::string RegisterMapCsv(const ReportInput& input) {
    // The byte columns name the data byte of each register half; the
    // direction column says which way it goes.
    // With signals, what each register carries follows in columns of its own.
    const bool signalValues = input.signalValues && !input.signalValues->Empty();
    std::string csv = "direction,register,frame,cob_id,mnemonic,high_byte,low_byte";
    csv += signalValues ? std::string(",") + kSignalCsvHeadings + "\n" : "\n";
    for (FrameDirection direction : {FrameDirection::Receive, FrameDirection::Transmit}) {
        const GatewayDirection& d = input.model->Direction(direction);
        for (int index : MappingsByRegister(d)) {
            csv += direction == FrameDirection::Receive ? "receive" : "transmit";
            const GatewayMapping& mapping = d.mappings[static_cast<std::size_t>(index)];
            for (const std::string& cell : MapRow(*input.model, d, mapping)) csv += "," + CsvField(cell);
            if (signalValues)
                for (const std::string& cell : SignalCsvCells(*input.signalValues, direction, mapping.reg))
                    csv += "," + CsvField(cell);
            csv += "\n";
        }
    }
    return csv;
}

std::string RegisterMapMarkdown(const ReportInput& input) {
    const GatewayModel& model = *input.model;
    std::string md = "# Register map: " + MarkdownCell(input.sourceName) + "\n\n## Findings\n\n";
    const auto findings = ReportFindings(input);
    if (findings.empty()) md += "None.\n";
    for (const auto& [level, text] : findings) md += "- " + MarkdownCell(text) + "\n";
    md += "\n## Communication settings\n\n";
    for (const auto& [name, value] : SettingsInWords(input)) md += "- " + name + ": " + MarkdownCell(value) + "\n";
    md += "\n## " + std::string(kPlcAccessTitle) + "\n\n";
    for (const auto& [name, value] : PlcAccessInWords(model)) md += "- " + name + ": " + MarkdownCell(value) + "\n";
    for (FrameDirection direction : {FrameDirection::Receive, FrameDirection::Transmit}) {
        const GatewayDirection& d = model.Direction(direction);
        md += "\n## " + std::string(DirectionTitle(direction)) + "\n\n";
        if (d.mappings.empty()) {
            md += "No mapping records.\n";
        } else {
            for (const std::string& heading : MapTableHeadings(direction)) md += "| " + heading + " ";
            md += "|\n|---:|---:|---|---|---|---|\n";
            for (int index : MappingsByRegister(d)) {
                for (const std::string& cell : MapRow(model, d, d.mappings[static_cast<std::size_t>(index)]))
                    md += "| " + MarkdownCell(cell) + " ";
                md += "|\n";
            }
        }
        if (input.signalValues) {
            const ReportTable table = SignalTable(*input.signalValues, direction);
            if (!table.rows.empty()) {
                md += std::string("\n### ") + (direction == FrameDirection::Receive ? "Receive" : "Transmit") +
                      " signals\n\n";
                for (const std::string& heading : table.headings) md += "| " + heading + " ";
                md += "|\n|---:|---|---|---|---|---|---|---|\n";
                for (const auto& row : table.rows) {
                    for (const std::string& cell : row) md += "| " + MarkdownCell(cell) + " ";
                    md += "|\n";
                }
                if (direction == FrameDirection::Transmit && HasMultiRegisterWrites(*input.signalValues))
                    md += "\n" + MarkdownCell(kMultiRegisterWriteNote) + "\n";
            }
        }
        // Each frame's bytes as a row of cells naming the register half they feed.
        for (std::size_t i = 0; i < d.frames.size(); ++i) {
            const GatewayFrame& frame = d.frames[i];
            md += "\n" + MarkdownCell(FrameCaption(frame, static_cast<int>(i))) + "\n\n";
            md += "| B1 | B2 | B3 | B4 | B5 | B6 | B7 | B8 |\n|---|---|---|---|---|---|---|---|\n|";
            for (int b = 1; b <= can::kMaxDataBytes; ++b) {
                std::string cell;
                for (int m : frame.mappings) {
                    const GatewayMapping& mapping = d.mappings[static_cast<std::size_t>(m)];
                    for (const auto& [nibble, half] :
                         {std::pair{mapping.HighByte(), " high"}, std::pair{mapping.LowByte(), " low"}})
                        if (DataByteOfNibble(nibble) == b - 1)
                            cell += (cell.empty() ? "" : ", ") + std::to_string(mapping.reg) + half;
                }
                if (b > frame.length || frame.remote) cell = cell.empty() ? "past Dimensin" : cell + " (past Dimensin)";
                md += " " + (cell.empty() ? std::string("not fed") : cell) + " |";
            }
            md += "\n";
        }
    }
    return md;
}

std::string RegisterMap(const ReportInput& input, ReportFormat format) {
    switch (format) {
        case ReportFormat::Html: return RegisterMapHtml(input);
        case ReportFormat::Csv: return RegisterMapCsv(input);
        case ReportFormat::Markdown: return RegisterMapMarkdown(input);
    }
    return {};
}

}  // namespace vestrel::gateway
