#include "platform/html_text.h"

#include "platform/printable_text.h"

namespace vestrel {

std::string EscapeHtml(std::string_view text) {
    const std::string printable = PrintableText(text, LineBreaks::Keep);
    std::string out;
    out.reserve(printable.size() + printable.size() / 8);
    for (char c : printable) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace vestrel
