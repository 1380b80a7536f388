#include "plot/plot_svg.h"

#include "platform/html_text.h"

#include <charconv>
#include <cmath>

namespace vestrel::plot {

namespace {

// A coordinate with at most one decimal: "12", "12.5".
void AppendNumber(std::string& out, double value) {
    const double rounded = std::round(value * 10) / 10;
    char text[32];
    const auto [end, ec] =
        std::to_chars(text, text + sizeof text, rounded == 0 ? 0.0 : rounded, std::chars_format::fixed, 1);
    std::string_view number(text, ec == std::errc() ? static_cast<std::size_t>(end - text) : 0);
    if (number.size() >= 2 && number.substr(number.size() - 2) == ".0") number.remove_suffix(2);
    out += number.empty() ? std::string_view("0") : number;
}

std::string Hex(const Colour& c) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "#";
    for (const std::uint8_t v : {c.r, c.g, c.b}) {
        text += kDigits[v >> 4];
        text += kDigits[v & 0xF];
    }
    return text;
}

void Attribute(std::string& out, const char* name, double value) {
    out += ' ';
    out += name;
    out += "=\"";
    AppendNumber(out, value);
    out += '"';
}

void Paint(std::string& out, const Shape& s) {
    out += s.fill ? " fill=\"" + Hex(*s.fill) + "\"" : std::string(" fill=\"none\"");
    if (s.fill && s.opacity < 1) Attribute(out, "fill-opacity", s.opacity);
    if (s.stroke) {
        out += " stroke=\"" + Hex(*s.stroke) + "\"";
        Attribute(out, "stroke-width", s.strokeWidth);
    }
}

void AppendShape(std::string& out, const Shape& s) {
    switch (s.kind) {
        case Shape::Kind::Rect:
            out += "<rect";
            Attribute(out, "x", s.x);
            Attribute(out, "y", s.y);
            Attribute(out, "width", s.w);
            Attribute(out, "height", s.h);
            Paint(out, s);
            out += "/>\n";
            break;
        case Shape::Kind::Polyline:
            out += "<polyline points=\"";
            for (std::size_t i = 0; i < s.points.size(); ++i) {
                if (i) out += ' ';
                AppendNumber(out, s.points[i].x);
                out += ',';
                AppendNumber(out, s.points[i].y);
            }
            out += "\" stroke-linejoin=\"round\"";
            Paint(out, [&] {
                Shape unfilled = s;
                unfilled.fill.reset();
                return unfilled;
            }());
            out += "/>\n";
            break;
        case Shape::Kind::Text:
            out += "<text";
            Attribute(out, "x", s.x);
            Attribute(out, "y", s.y);
            Attribute(out, "font-size", s.size);
            if (s.bold) out += " font-weight=\"bold\"";
            if (s.anchor != Anchor::Start) out += s.anchor == Anchor::Middle ? " text-anchor=\"middle\"" : " text-anchor=\"end\"";
            Paint(out, s);
            out += '>' + EscapeHtml(s.text) + "</text>\n";
            break;
    }
}

}  // namespace

std::string FigureSvg(const Figure& figure) {
    std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\"";
    Attribute(out, "width", figure.width);
    Attribute(out, "height", figure.height);
    out += " viewBox=\"0 0 ";
    AppendNumber(out, figure.width);
    out += ' ';
    AppendNumber(out, figure.height);
    out += "\" font-family=\"DejaVu Sans, Arial, sans-serif\">\n";
    for (const Shape& shape : figure.shapes) AppendShape(out, shape);
    out += "</svg>\n";
    return out;
}

std::string PlotHtml(const Plot& plot, const Figure& figure, const std::vector<std::string>& summary) {
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>" +
                       EscapeHtml(plot.title) +
                       "</title>\n<style>\n"
                       "body{font-family:\"DejaVu Sans\",Arial,sans-serif;font-size:14px;margin:24px;color:#111}\n"
                       "h2{font-size:18px;margin:28px 0 8px;border-bottom:1px solid #ccc;max-width:1000px}\n"
                       "pre{font-size:13px}\n"
                       "</style>\n</head>\n<body>\n";
    page += FigureSvg(figure);
    page += "<h2>The log</h2>\n<pre>";
    for (const std::string& line : summary) page += EscapeHtml(line) + "\n";
    page += "</pre>\n</body>\n</html>\n";
    return page;
}

}  // namespace vestrel::plot
