#pragma once

// A comparison as vestrel-cli diff prints it: both sides' SHA-256 at the
// head, one change a line, the notes and the count; as text, Markdown or a
// self-contained HTML page, each escaped for where it goes.

#include "compare/configuration_diff.h"

#include <string>

namespace vestrel::compare {

enum class DiffFormat { Text, Markdown, Html };

// How the head names each side: the path given, or a name of the caller's
// (a revision of version control).
struct SideNames {
    std::string old;
    std::string now;
};

// "project folder PATH, SHA-256 <hex> of the sha256sum lines of pargen.xml ...",
// not escaped.
std::string HeadText(const ComparedSide& side, const std::string& name);

std::string DiffDocument(const ComparedSide& old, const ComparedSide& now, const Comparison& comparison,
                         DiffFormat format, const SideNames& names);

}  // namespace vestrel::compare
