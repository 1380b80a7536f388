#pragma once

#include "platform/printable_text.h"

#include <string>
#include <string_view>

namespace vestrel {

// Text for HTML content and attribute values: & < > " ' as entities, and
// control characters made printable as PrintableText does.
std::string EscapeHtml(std::string_view text);

// The same with the line breaks and quotes chosen: text between tags needs
// no quotes escaped (Markdown shows them as typed), attribute values do.
enum class Quotes { Keep, Escape };
std::string EscapeMarkup(std::string_view text, LineBreaks lineBreaks, Quotes quotes);

// Text for Markdown, within a line: markup characters as entities (Markdown
// passes HTML through), a backslash before every character of Markdown's
// inline syntax (\\ ` * _ [ ] | ~ # and the "@" of an e-mail address; an
// "_" between letters or digits marks nothing and stays as it is), and
// before the ":" of "http://" and the "." of "www.", which GitHub's Markdown
// makes links of. What a file holds is then shown as it is: never a link, an
// image, emphasis or code, and its backslashes stay.
std::string EscapeMarkdown(std::string_view text);

}  // namespace vestrel
