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

}  // namespace vestrel
