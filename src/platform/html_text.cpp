#include "platform/html_text.h"

#include "platform/printable_text.h"

#include <cctype>

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

std::string EscapeMarkdown(std::string_view text) {
    const std::string markup = EscapeMarkup(text, LineBreaks::OneLine, Quotes::Keep);
    const std::string_view m = markup;
    auto startsWith = [&](std::size_t at, std::string_view what) {
        if (m.size() - at < what.size()) return false;
        for (std::size_t i = 0; i < what.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(m[at + i])) != what[i]) return false;
        return true;
    };
    std::string out;
    out.reserve(markup.size() + markup.size() / 8);
    for (std::size_t i = 0; i < m.size(); ++i) {
        const char c = m[i];
        // An "_" between letters or digits never marks emphasis (Baud_Ser).
        auto wordChar = [&](std::size_t at) { return at < m.size() && std::isalnum(static_cast<unsigned char>(m[at])); };
        const bool inWord = c == '_' && i > 0 && wordChar(i - 1) && wordChar(i + 1);
        const bool inline_ = !inWord && std::string_view("\\`*_[]|~#@").find(c) != std::string_view::npos;
        const bool scheme = c == ':' && startsWith(i + 1, "//");
        const bool www = c == '.' && i >= 3 && startsWith(i - 3, "www.");
        if (inline_ || scheme || www) out += '\\';
        out += c;
    }
    return out;
}

}  // namespace vestrel
