// The .xls backend of SpreadsheetSource, on FreeXL.
#include "platform/error.h"
#include "platform/spreadsheet_source.h"

#include <freexl.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>

namespace vestrel {

namespace {

constexpr unsigned int kMaxXlsRows = 65536;

std::string OpenFailure(const std::filesystem::path& path, const std::string& reason) {
    return WorkbookFailure(path, reason);
}

// An encrypted .xlsx is an OLE container like an .xls, holding the streams
// "EncryptionInfo" and "EncryptedPackage" instead of a workbook. Their names
// stand in UTF-16 in the container's directory.
bool IsEncryptedOfficeFile(const std::filesystem::path& path) {
    constexpr std::size_t kMaxScan = 64u << 20;
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    bytes.resize(kMaxScan);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.compare(0, 4, "\xD0\xCF\x11\xE0") != 0) return false;
    const std::string_view name = "EncryptedPackage";
    std::string wide;
    for (char c : name) wide += {c, '\0'};
    return bytes.find(wide) != std::string::npos;
}

// FreeXL 1.0.6 trusts the OLE container more than a damaged file deserves:
// it converts the name of each directory entry with the length the entry
// gives, up to 64 KiB past the sector it read onto its stack (the format
// allows 64 bytes), and it sizes its tables by the sector counts of the
// header (a file of 2 KB claiming 4096 DIFAT sectors took it 2.6 GB and
// minutes). So the header and the directory are looked at here first, and
// what FreeXL would misread is refused before it sees the file. Whatever
// else is wrong with the container is left to FreeXL to find.
std::optional<std::string> DamagedContainer(const std::filesystem::path& path) {
    constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
    constexpr std::size_t kEntrySize = 128;
    constexpr std::size_t kMaxNameBytes = 64;
    std::ifstream in(path, std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < 512 || file.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") != 0) return std::nullopt;

    auto u16 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(file[at]) |
                                          static_cast<unsigned char>(file[at + 1]) << 8);
    };
    auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    const std::uint32_t shift = u16(0x1E);
    if (shift != 9 && shift != 12) return "sector size 2^" + std::to_string(shift);
    const std::size_t sectorSize = std::size_t{1} << shift;
    // The sectors after the header, a last partial one included.
    const std::size_t fileSectors = (file.size() - 1) / sectorSize;
    for (const auto& [at, what] : {std::pair<std::size_t, const char*>{0x2C, "FAT"}, {0x40, "mini FAT"},
                                   {0x48, "DIFAT"}}) {
        if (u32(at) > fileSectors)
            return "it counts " + std::to_string(u32(at)) + " " + what + " sectors in a file of " +
                   std::to_string(fileSectors);
    }
    // Where FreeXL reads a sector: it works the position out in 32 bits, so
    // a sector number past the file can wrap around onto one inside it.
    auto sectorAt = [&](std::uint32_t sector) -> std::optional<std::size_t> {
        const std::size_t at = static_cast<std::uint32_t>((std::uint64_t{sector} + 1) << shift);
        if (at + sectorSize > file.size()) return std::nullopt;
        return at;
    };
    const std::size_t maxHops = file.size() / sectorSize;

    // The FAT sectors: 109 listed in the header, the rest in the DIFAT chain.
    std::vector<std::uint32_t> fatSectors;
    for (std::size_t i = 0; i < 109; ++i) fatSectors.push_back(u32(0x4C + 4 * i));
    std::uint32_t next = u32(0x44);
    for (std::size_t hops = 0; next != kEndOfChain && hops < maxHops; ++hops) {
        const auto at = sectorAt(next);
        if (!at) break;
        for (std::size_t i = 0; i + 1 < sectorSize / 4; ++i) fatSectors.push_back(u32(*at + 4 * i));
        next = u32(*at + sectorSize - 4);
    }
    fatSectors.resize(std::min<std::size_t>(fatSectors.size(), u32(0x2C)));
    auto nextSector = [&](std::uint32_t sector) -> std::uint32_t {
        const std::size_t perSector = sectorSize / 4;
        const std::size_t fatIndex = sector / perSector;
        if (fatIndex >= fatSectors.size()) return kEndOfChain;
        const auto at = sectorAt(fatSectors[fatIndex]);
        return at ? u32(*at + 4 * (sector % perSector)) : kEndOfChain;
    };

    std::uint32_t sector = u32(0x30);
    for (std::size_t hops = 0; sector != kEndOfChain && hops < maxHops; ++hops, sector = nextSector(sector)) {
        const auto at = sectorAt(sector);
        if (!at) break;
        for (std::size_t entry = *at; entry < *at + sectorSize; entry += kEntrySize) {
            if (u16(entry + 0x40) > kMaxNameBytes)
                return "a directory entry name of " + std::to_string(u16(entry + 0x40)) + " bytes";
        }
    }
    return std::nullopt;
}

std::string Reason(int code) {
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return "The file does not exist or cannot be read.";
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
    case FREEXL_CFBF_READ_ERROR:
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return "It is not an Excel 97-2003 workbook (.xls).";
    case FREEXL_INSUFFICIENT_MEMORY:
        return "Not enough memory.";
    default:
        return "The workbook is damaged or not supported (FreeXL error " + std::to_string(code) + ").";
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
            throw Error(OpenFailure(path_, "It has no sheet \"" + std::string(sheetName) + "\"."));
        const auto index = static_cast<unsigned short>(it - sheets_.begin());
        unsigned int rows = 0;
        unsigned short columns = 0;
        int rc = freexl_select_active_worksheet(handle_.get(), index);
        if (rc == FREEXL_OK) rc = freexl_worksheet_dimensions(handle_.get(), &rows, &columns);
        if (rc != FREEXL_OK) throw Error(OpenFailure(path_, Reason(rc)));
        // The range comes from the sheet's own record, which a damaged file
        // can make as large as it likes; an .xls sheet has 65536 rows.
        if (rows > kMaxXlsRows)
            throw Error(OpenFailure(path_, "The workbook is damaged or not supported (sheet \"" +
                                               std::string(sheetName) + "\" claims " + std::to_string(rows) +
                                               " rows)."));
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
    if (auto damage = DamagedContainer(path))
        throw Error(OpenFailure(path, "The workbook is damaged or not supported (" + *damage + ")."));
    const void* raw = nullptr;
    const int rc = freexl_open(path.c_str(), &raw);
    Handle handle(raw);  // closed on every way out, also after a failed open
    // FreeXL can report success without a handle for some damaged files.
    if (rc != FREEXL_OK || !handle) {
        if (rc == FREEXL_BIFF_WORKBOOK_NOT_FOUND && IsEncryptedOfficeFile(path))
            throw Error(OpenFailure(path, "The workbook is password-protected."));
        throw Error(OpenFailure(path, Reason(rc)));
    }

    unsigned int protection = FREEXL_UNKNOWN;
    if (freexl_get_info(handle.get(), FREEXL_BIFF_PASSWORD, &protection) == FREEXL_OK &&
        protection == FREEXL_BIFF_OBFUSCATED)
        throw Error(OpenFailure(path, "The workbook is password-protected."));

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
