// The .xlsx and .ods backends of SpreadsheetSource, on liborcus: reads the
// file, checks its zip archive, tells the two formats apart and hands every
// reading pass to the reader of its format.
#include "platform/error.h"
#include "platform/ods_reader.h"
#include "platform/spreadsheet_source.h"
#include "platform/workbook_refusal.h"
#include "platform/workbook_zip.h"
#include "platform/xlsx_reader.h"

#include <algorithm>
#include <cstdint>
#include <fstream>

namespace vestrel {

namespace {

using namespace workbook_io;

// Far above any frame workbook, low enough that a hostile file cannot take
// the machine's memory.
constexpr std::uint64_t kMaxFileBytes = 128u << 20;

std::string ReadWorkbookBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw Refusal{kUnreadableFile};
    const std::streamoff size = in.tellg();
    if (size < 0) throw Refusal{kUnreadableFile};
    if (static_cast<std::uint64_t>(size) > kMaxFileBytes) throw Refusal{kTooLarge};
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), size)) throw Refusal{kUnreadableFile};
    return bytes;
}

enum class Format { Xlsx, Ods };

// The format by the archive's entries; anything else is no workbook.
Format FormatOf(std::string_view bytes) {
    if (bytes.compare(0, 2, "PK") != 0) throw Refusal{kNotAWorkbook};
    const std::vector<std::string> entries = CheckZipDirectory(bytes);
    auto has = [&](std::string_view name) { return std::find(entries.begin(), entries.end(), name) != entries.end(); };
    if (has("[Content_Types].xml") && has("xl/workbook.xml")) return Format::Xlsx;
    if (has("content.xml") && IsOdsSpreadsheet(CheckedZip(bytes))) return Format::Ods;
    throw Refusal{kNotAWorkbook};
}

// Keeps the checked bytes and reads them again for every sheet asked for.
class OrcusWorkbook : public SpreadsheetSource {
public:
    OrcusWorkbook(std::filesystem::path path, std::string bytes, Format format)
        : path_(std::move(path)), bytes_(std::move(bytes)), format_(format) {
        CellSink listing;
        names_ = Read(listing);
    }

    std::vector<std::string> SheetNames() const override { return names_; }

    std::vector<SheetRow> ReadRows(std::string_view sheetName, std::size_t maxColumns) const override {
        if (std::find(names_.begin(), names_.end(), sheetName) == names_.end())
            throw Error(WorkbookFailure(path_, NoSheet(sheetName).reason));
        CellSink sink;
        sink.sheet = std::string(sheetName);
        sink.maxColumns = maxColumns;
        Read(sink);
        return sink.Rows();
    }

private:
    std::vector<std::string> Read(CellSink& sink) const {
        try {
            if (format_ == Format::Xlsx) return ReadXlsx(bytes_, sink);
            CheckedZip zip(bytes_);
            return ReadOds(zip, sink);
        } catch (...) {
            RethrowForUser(path_);
        }
    }

    std::filesystem::path path_;
    std::string bytes_;
    Format format_;
    std::vector<std::string> names_;
};

}  // namespace

std::unique_ptr<SpreadsheetSource> OpenOrcusWorkbook(const std::filesystem::path& path) {
    try {
        std::string bytes = ReadWorkbookBytes(path);
        const Format format = FormatOf(bytes);
        return std::make_unique<OrcusWorkbook>(path, std::move(bytes), format);
    } catch (...) {
        RethrowForUser(path);
    }
}

}  // namespace vestrel
