// The .xls backend of SpreadsheetSource, on FreeXL.
#include "platform/error.h"
#include "platform/spreadsheet_source.h"
#include "platform/workbook_refusal.h"
#include "platform/xls_container_check.h"

#include <freexl.h>

#include <algorithm>
#include <fstream>

namespace vestrel {

namespace {

using namespace workbook_io;

constexpr unsigned int kMaxXlsRows = 65536;

std::string OpenFailure(const std::filesystem::path& path, const std::string& reason) {
    return WorkbookFailure(path, reason);
}

// An encrypted .xlsx is an OLE container like an .xls, holding the streams
// "EncryptionInfo" and "EncryptedPackage" instead of a workbook. Their names
// stand in UTF-16 in the container's directory.
bool IsEncryptedOfficeFile(const std::filesystem::path& path) {
    constexpr std::uintmax_t kMaxScan = 64u << 20;
    std::error_code error;
    const std::uintmax_t fileSize = std::filesystem::file_size(path, error);
    if (error) return false;
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(std::min(fileSize, kMaxScan)));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.compare(0, 4, "\xD0\xCF\x11\xE0") != 0) return false;
    const std::string_view name = "EncryptedPackage";
    std::string wide;
    for (char c : name) wide += {c, '\0'};
    return bytes.find(wide) != std::string::npos;
}

std::string Reason(int code) {
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return kUnreadableFile;
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
    case FREEXL_CFBF_READ_ERROR:
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return kNotAnXlsWorkbook;
    case FREEXL_INSUFFICIENT_MEMORY:
        return kNotEnoughMemory;
    default:
        return Damaged("FreeXL error " + std::to_string(code)).reason;
    }
}

struct HandleCloser {
    void operator()(const void* handle) const { freexl_close(handle); }
};
using Handle = std::unique_ptr<const void, HandleCloser>;

class FreeXlWorkbook : public SpreadsheetSource {
public:
    FreeXlWorkbook(std::filesystem::path path, Handle handle, std::vector<std::string> sheets)
        : path_(std::move(path)), handle_(std::move(handle)), sheets_(std::move(sheets)) {}

    std::vector<std::string> SheetNames() const override { return sheets_; }

    std::vector<SheetRow> ReadRows(std::string_view sheetName, std::size_t maxColumns) const override {
        auto it = std::find(sheets_.begin(), sheets_.end(), sheetName);
        if (it == sheets_.end())
            throw Error(OpenFailure(path_, NoSheet(sheetName).reason));
        const auto index = static_cast<unsigned short>(it - sheets_.begin());
        unsigned int rows = 0;
        unsigned short columns = 0;
        int rc = freexl_select_active_worksheet(handle_.get(), index);
        if (rc == FREEXL_OK) rc = freexl_worksheet_dimensions(handle_.get(), &rows, &columns);
        if (rc != FREEXL_OK) throw Error(OpenFailure(path_, Reason(rc)));
        // The range comes from the sheet's own record, which a damaged file
        // can make as large as it likes; an .xls sheet has 65536 rows.
        if (rows > kMaxXlsRows) {
            const std::string claim = "sheet \"" + std::string(sheetName) + "\" claims " + std::to_string(rows) + " rows";
            throw Error(OpenFailure(path_, Damaged(claim).reason));
        }
        columns = static_cast<unsigned short>(std::min<std::size_t>(columns, maxColumns));

        std::vector<SheetRow> out(rows, SheetRow(columns));
        for (unsigned int r = 0; r < rows; ++r) {
            for (unsigned short c = 0; c < columns; ++c) {
                FreeXL_CellValue cell;
                rc = freexl_get_cell_value(handle_.get(), r, c, &cell);
                if (rc != FREEXL_OK) throw Error(OpenFailure(path_, Reason(rc)));
                out[r][c] = CellText(cell);
            }
        }
        return out;
    }

private:
    static SheetCell CellText(const FreeXL_CellValue& cell) {
        switch (cell.type) {
        case FREEXL_CELL_INT:
            return std::to_string(cell.value.int_value);
        case FREEXL_CELL_DOUBLE:
            return FormatSheetNumber(cell.value.double_value);
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_SST_TEXT:
        case FREEXL_CELL_DATE:
        case FREEXL_CELL_DATETIME:
        case FREEXL_CELL_TIME:
            return std::string(cell.value.text_value ? cell.value.text_value : "");
        default:
            return std::nullopt;
        }
    }

    std::filesystem::path path_;
    Handle handle_;
    std::vector<std::string> sheets_;
};

}  // namespace

std::unique_ptr<SpreadsheetSource> OpenFreeXlWorkbook(const std::filesystem::path& path) {
    if (const Result<void> check = CheckXlsForFreeXl(path); !check)
        throw Error(OpenFailure(path, Damaged(check.Why()).reason));
    const void* raw = nullptr;
    const int rc = freexl_open(path.c_str(), &raw);
    Handle handle(raw);  // closed on every way out, also after a failed open
    // FreeXL can report success without a handle for some damaged files.
    if (rc != FREEXL_OK || !handle) {
        if (rc == FREEXL_BIFF_WORKBOOK_NOT_FOUND && IsEncryptedOfficeFile(path))
            throw Error(OpenFailure(path, kPasswordProtected));
        throw Error(OpenFailure(path, Reason(rc)));
    }

    unsigned int protection = FREEXL_UNKNOWN;
    if (freexl_get_info(handle.get(), FREEXL_BIFF_PASSWORD, &protection) == FREEXL_OK &&
        protection == FREEXL_BIFF_OBFUSCATED)
        throw Error(OpenFailure(path, kPasswordProtected));

    unsigned int count = 0;
    if (int info = freexl_get_info(handle.get(), FREEXL_BIFF_SHEET_COUNT, &count); info != FREEXL_OK)
        throw Error(OpenFailure(path, Reason(info)));
    std::vector<std::string> sheets;
    for (unsigned int i = 0; i < count; ++i) {
        const char* name = nullptr;
        int got = freexl_get_worksheet_name(handle.get(), static_cast<unsigned short>(i), &name);
        if (got != FREEXL_OK) throw Error(OpenFailure(path, Reason(got)));
        sheets.emplace_back(name ? name : "");
    }
    return std::make_unique<FreeXlWorkbook>(path, std::move(handle), std::move(sheets));
}

}  // namespace vestrel
