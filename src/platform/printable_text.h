#pragma once

#include <string>
#include <string_view>

namespace vestrel {

// Text from files and file names made safe to show on a terminal or in a
// message box: every control character (C0, DEL and the C1 range, also when
// it comes as UTF-8) becomes "\xHH", every format character (bidirectional
// controls such as U+202E, zero-width characters) and line or paragraph
// separator (U+2028, U+2029) "\u202E", and a backslash stays as it is.
// Nothing a file holds can then move the cursor, retitle a terminal, hide
// text or show it in another order than it stands. Data files (CSV, the
// project's XML) keep text as read; what a person reads goes through here.
enum class LineBreaks {
    Keep,      // line feeds stay (message boxes), CR LF and lone CRs become a line feed
    OneLine,   // each line break becomes "; " (one line of a terminal report)
};
std::string PrintableText(std::string_view text, LineBreaks lineBreaks);

}  // namespace vestrel
