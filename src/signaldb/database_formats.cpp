#include "signaldb/database_formats.h"

#include "platform/text.h"
#include "signaldb/dbc_reader.h"
#include "signaldb/eds_reader.h"

#include <array>

namespace vestrel::signaldb {

namespace {

constexpr std::array<std::string_view, 1> kDbcExtensions = {".dbc"};
constexpr std::array<std::string_view, 1> kEdsExtensions = {".eds"};
constexpr std::array<std::string_view, 1> kDcfExtensions = {".dcf"};

// An EDS and a DCF read alike: the reader tells them apart by their content.
const std::array<DatabaseFormatInfo, 3> kFormats = {{
    {DatabaseFormat::Dbc, "DBC", kDbcExtensions, false, &ReadDbc},
    {DatabaseFormat::Eds, "EDS", kEdsExtensions, true, &ReadEds},
    {DatabaseFormat::Dcf, "DCF", kDcfExtensions, true, &ReadEds},
}};

}  // namespace

std::span<const DatabaseFormatInfo> DatabaseFormats() { return kFormats; }

const DatabaseFormatInfo& FormatInfo(DatabaseFormat format) {
    for (const DatabaseFormatInfo& info : kFormats)
        if (info.format == format) return info;
    return kFormats.front();
}

const char* FormatName(DatabaseFormat format) { return FormatInfo(format).name; }

const DatabaseFormatInfo* FormatOfFileName(const std::filesystem::path& path) {
    const std::string extension = path.extension().string();
    for (const DatabaseFormatInfo& info : kFormats)
        for (std::string_view e : info.extensions)
            if (EqualNoCase(extension, e)) return &info;
    return nullptr;
}

std::string ExtensionsText() {
    std::vector<std::string> all;
    for (const DatabaseFormatInfo& info : kFormats)
        for (std::string_view e : info.extensions) all.emplace_back(e);
    std::string text;
    for (std::size_t i = 0; i < all.size(); ++i)
        text += (i == 0 ? "" : i + 1 == all.size() ? " or " : ", ") + all[i];
    return text;
}

std::string ExtensionPatterns() {
    std::string text;
    for (const DatabaseFormatInfo& info : kFormats)
        for (std::string_view e : info.extensions) text += (text.empty() ? "*" : " *") + std::string(e);
    return text;
}

std::string UnusedNodeIdNote(DatabaseFormat format, std::optional<int> nodeId, std::string_view optionName) {
    const DatabaseFormatInfo& info = FormatInfo(format);
    if (!nodeId || info.takesNodeId) return {};
    return std::string("a ") + info.name + " has no node id; " + std::string(optionName) + " is not used";
}

}  // namespace vestrel::signaldb
