#pragma once

#include <string>
#include <string_view>

namespace vestrel {

// Text for HTML content and attribute values: & < > " ' as entities, and
// control characters made printable as PrintableText does.
std::string EscapeHtml(std::string_view text);

}  // namespace vestrel
