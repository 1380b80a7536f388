#include "compare/diff_document.h"

#include "platform/html_text.h"
#include "platform/printable_text.h"

namespace vestrel::compare {

namespace {

std::string Shown(const std::string& text) { return PrintableText(text, LineBreaks::OneLine); }

std::string Text(const std::string& oldHead, const std::string& newHead, const Comparison& c) {
    std::string out = Shown("old: " + oldHead) + "\n" + Shown("new: " + newHead) + "\n";
    for (const Change& change : c.changes) out += Shown(change.text) + "\n";
    for (const std::string& note : c.notes) out += Shown("note: " + note) + "\n";
    return out + CountText(c) + "\n";
}

std::string Markdown(const std::string& oldHead, const std::string& newHead, const Comparison& c) {
    std::string md = "# Configuration changes\n\n- old: " + EscapeMarkdown(oldHead) + "\n- new: " +
                     EscapeMarkdown(newHead) + "\n\n" + CountText(c) + ".\n";
    if (!c.changes.empty()) md += "\n";
    for (const Change& change : c.changes) md += "- " + EscapeMarkdown(change.text) + "\n";
    if (!c.notes.empty()) md += "\n## Notes\n\n";
    for (const std::string& note : c.notes) md += "- " + EscapeMarkdown(note) + "\n";
    return md;
}

std::string Html(const std::string& oldHead, const std::string& newHead, const Comparison& c) {
    std::string h =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>Configuration changes</title>\n"
        "<style>\n"
        "body{font-family:\"DejaVu Sans\",Arial,sans-serif;font-size:14px;margin:24px;color:#111;max-width:1100px}\n"
        "h1{font-size:22px;margin:0 0 4px}h2{font-size:18px;margin:28px 0 8px;border-bottom:1px solid #ccc}\n"
        ".muted{color:#666}li{margin:2px 0}li.off{color:#666}\n"
        "</style>\n</head>\n<body>\n<h1>Configuration changes</h1>\n<ul class=\"muted\">\n<li>old: " +
        EscapeHtml(oldHead) + "</li>\n<li>new: " + EscapeHtml(newHead) + "</li>\n</ul>\n<p><strong>" +
        EscapeHtml(CountText(c)) + "</strong></p>\n";
    if (!c.changes.empty()) {
        h += "<ul class=\"changes\">\n";
        for (const Change& change : c.changes)
            h += std::string(change.reachesDevice ? "<li>" : "<li class=\"off\">") + EscapeHtml(change.text) + "</li>\n";
        h += "</ul>\n";
    }
    if (!c.notes.empty()) {
        h += "<h2>Notes</h2>\n<ul class=\"notes\">\n";
        for (const std::string& note : c.notes) h += "<li>" + EscapeHtml(note) + "</li>\n";
        h += "</ul>\n";
    }
    return h + "</body>\n</html>\n";
}

}  // namespace

std::string HeadText(const ComparedSide& side, const std::string& name) {
    return side.kindText + " " + name + ", " + side.digestText;
}

std::string DiffDocument(const ComparedSide& old, const ComparedSide& now, const Comparison& comparison,
                         DiffFormat format, const SideNames& names) {
    const std::string a = HeadText(old, names.old);
    const std::string b = HeadText(now, names.now);
    switch (format) {
        case DiffFormat::Text: return Text(a, b, comparison);
        case DiffFormat::Markdown: return Markdown(a, b, comparison);
        case DiffFormat::Html: return Html(a, b, comparison);
    }
    return {};
}

}  // namespace vestrel::compare
