#include "platform/html_text.h"

#include "platform/printable_text.h"

namespace vestrel {

std::string EscapeMarkup(std::string_view text, LineBreaks lineBreaks, Quotes quotes) {
    const std::string printable = PrintableText(text, lineBreaks);
    std::string out;
    out.reserve(printable.size() + printable.size() / 8);
    const bool escapeQuotes = quotes == Quotes::Escape;
    for (char c : printable) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += escapeQuotes ? "&quot;" : "\""; break;
            case '\'': out += escapeQuotes ? "&#39;" : "'"; break;
            default: out += c;
        }
    }
    return out;
}

std::string EscapeHtml(std::string_view text) { return EscapeMarkup(text, LineBreaks::Keep, Quotes::Escape); }

}  // namespace vestrel
