// Looks at an .xls file the way FreeXL 1.0.6 reads it, before FreeXL does.
#include "platform/xls_container_check.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

namespace vestrel {

namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::size_t kEntrySize = 128;
constexpr std::size_t kMaxNameBytes = 64;
// The longest record that BIFF allows; FreeXL copies each record into a
// buffer of about that size by the length the record gives.
constexpr std::size_t kMaxRecordBytes = 8224;
// One full .xls sheet, 65536 rows by 256 columns: FreeXL keeps 16 bytes a
// cell, some 256 MB, and allocates it while it opens the file.
constexpr std::uint64_t kMaxCells = 65536ull * 256;

constexpr std::uint16_t kBof = 0x0809;
constexpr std::uint16_t kEof = 0x000A;
constexpr std::uint16_t kDimensions = 0x0200;
constexpr std::uint16_t kDimensionsBiff2 = 0x0000;

std::uint32_t U16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t U32(std::string_view bytes, std::size_t at) { return U16(bytes, at) | U16(bytes, at + 2) << 16; }

// Records that place one cell (or a run of cells) by row and column in
// their first four bytes. FreeXL sizes a sheet without a DIMENSIONS record
// from the largest of these.
bool IsCellRecord(std::uint16_t type, bool legacy) {
    switch (type) {
    case 0x0006:  // FORMULA
    case 0x00BD:  // MULRK
    case 0x00BE:  // MULBLANK
    case 0x00D6:  // RSTRING
    case 0x00FD:  // LABELSST
    case 0x0201:  // BLANK
    case 0x0203:  // NUMBER
    case 0x0204:  // LABEL
    case 0x0205:  // BOOLERR
    case 0x0206:  // FORMULA, BIFF3
    case 0x027E:  // RK
    case 0x0406:  // FORMULA, BIFF4
        return true;
    case 0x0001:  // BIFF2: BLANK, INTEGER, NUMBER, LABEL, BOOLERR
    case 0x0002:
    case 0x0003:
    case 0x0004:
    case 0x0005:
        return legacy;
    default:
        return false;
    }
}

// Where FreeXL reads a workbook stream from, which decides how it ends.
enum class StreamKind {
    Legacy,   // a BIFF2-4 file: one bare stream without a container, up to its EOF record
    Regular,  // sectors of the container, up to a record of type and size 0
    Mini,     // a buffer of the mini stream, which FreeXL copies records out of past its end
};

// Walks the records of a workbook stream and adds up the cells that FreeXL
// will allocate for them: a sheet's DIMENSIONS record allocates its table,
// and a sheet without one gets the table its largest cell reaches.
std::optional<std::string> CheckRecords(std::string_view stream, StreamKind kind) {
    const bool legacy = kind == StreamKind::Legacy;
    if (stream.size() < 6) return std::nullopt;
    const std::uint16_t first = static_cast<std::uint16_t>(U16(stream, 0));
    bool biff8 = false;
    if (legacy) {
        if (first != 0x0009 && first != 0x0209 && first != 0x0409) return std::nullopt;
    } else {
        // FreeXL reads nothing more of a stream that does not start with the
        // BOF of BIFF5 or BIFF8; the version decides the DIMENSIONS layout.
        const std::uint32_t version = U16(stream, 4);
        if (first != kBof || U16(stream, 2) < 2 || (version != 0x0500 && version != 0x0600)) return std::nullopt;
        biff8 = version == 0x0600;
    }

    std::uint64_t total = 0;
    std::uint64_t declared = 0;
    bool hasDimensions = false;
    std::uint64_t rowsUsed = 0;
    std::uint64_t columnsUsed = 0;
    auto closeSheet = [&] {
        total += hasDimensions ? declared : rowsUsed * columnsUsed;
        declared = rowsUsed = columnsUsed = 0;
        hasDimensions = false;
    };
    auto tooMany = [&] {
        return total > kMaxCells ? std::optional<std::string>("its sheets claim " + std::to_string(total) + " cells")
                                 : std::nullopt;
    };

    for (std::size_t at = 0; at + 4 <= stream.size();) {
        const std::uint16_t type = static_cast<std::uint16_t>(U16(stream, at));
        const std::size_t size = U16(stream, at + 2);
        if (kind == StreamKind::Regular && type == 0 && size == 0) break;  // FreeXL takes this for the end
        if (size > kMaxRecordBytes) return "a record of " + std::to_string(size) + " bytes";
        if (at + 4 + size > stream.size()) {
            if (kind == StreamKind::Mini) return std::string("a record running past the end of the workbook stream");
            break;
        }
        const std::string_view body = stream.substr(at + 4, size);
        at += 4 + size;

        if (type == kBof && !legacy) {
            closeSheet();  // a BIFF2-4 file is one sheet, whatever BOFs it holds
        } else if (type == kEof) {
            closeSheet();
            if (legacy) break;
            if (auto damage = tooMany()) return damage;
        } else if (type == kDimensions || (legacy && type == kDimensionsBiff2)) {
            // FreeXL reads the last row and column past a short record, in
            // whatever its buffer held before.
            const std::size_t needed = biff8 ? 12 : 8;
            if (body.size() < needed) return std::string("a DIMENSIONS record of ") + std::to_string(size) + " bytes";
            // FreeXL allocates a new table for each and never frees the one
            // before: a file of many would take memory that stays taken.
            if (hasDimensions) return std::string("a sheet with two DIMENSIONS records");
            // A BIFF2-4 sheet gets its table at its first cell when no
            // DIMENSIONS record came before.
            if (legacy && rowsUsed > 0) return std::string("a DIMENSIONS record after the cells");
            const std::uint64_t rows = biff8 ? U32(body, 4) : U16(body, 2);
            const std::uint64_t columns = biff8 ? U16(body, 10) : U16(body, 6);
            declared = rows * columns;
            hasDimensions = true;
            if (declared > kMaxCells) {
                closeSheet();
                return tooMany();
            }
        } else if (IsCellRecord(type, legacy)) {
            // FreeXL takes the row and column of a short one from whatever
            // its buffer held before.
            if (body.size() < 4) return "a cell record of " + std::to_string(size) + " bytes";
            rowsUsed = std::max<std::uint64_t>(rowsUsed, U16(body, 0) + 1ull);
            columnsUsed = std::max<std::uint64_t>(columnsUsed, U16(body, 2) + 1ull);
        }
    }
    closeSheet();
    return tooMany();
}

bool IsContainer(std::string_view file) {
    return file.size() >= 512 && file.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") == 0;
}

// The compound file ("OLE") container of an .xls, read as FreeXL reads it.
class Container {
public:
    explicit Container(std::string file) : file_(std::move(file)) {}

    std::optional<std::string> Check() {
        const std::uint32_t shift = U16(file_, 0x1E);
        if (shift != 9 && shift != 12) return "sector size 2^" + std::to_string(shift);
        shift_ = shift;
        sectorSize_ = std::size_t{1} << shift;
        // The sectors after the header, a last partial one included.
        const std::size_t fileSectors = (file_.size() - 1) / sectorSize_;
        for (const auto& [at, what] : {std::pair<std::size_t, const char*>{0x2C, "FAT"}, {0x40, "mini FAT"},
                                       {0x48, "DIFAT"}}) {
            if (U32(file_, at) > fileSectors)
                return "it counts " + std::to_string(U32(file_, at)) + " " + what + " sectors in a file of " +
                       std::to_string(fileSectors);
        }
        // Where this and FreeXL differ on a FAT sector that cannot be read,
        // the checks go on with what was read.
        ReadFat();
        if (auto damage = CheckDirectoryNames()) return damage;
        return CheckWorkbookStream();
    }

private:
    // Where FreeXL reads a sector: it works the position out in 32 bits, so
    // a sector number past the file can wrap around onto one inside it.
    std::optional<std::size_t> SectorAt(std::uint32_t sector) const {
        const std::size_t at = static_cast<std::uint32_t>((std::uint64_t{sector} + 1) << shift_);
        if (at + sectorSize_ > file_.size()) return std::nullopt;
        return at;
    }

    // The FAT as FreeXL lists it: every FAT sector named in the header that
    // is not marked free, then those of the DIFAT chain, for as many DIFAT
    // sectors as the header counts.
    bool ReadFat() {
        auto add = [&](std::uint32_t sector) {
            const auto at = SectorAt(sector);
            if (at) fatSectors_.push_back(*at);
            return at.has_value();
        };
        for (std::size_t i = 0; i < 109; ++i) {
            const std::uint32_t sector = U32(file_, 0x4C + 4 * i);
            if (sector != kFreeSector && !add(sector)) return false;
        }
        const std::size_t perSector = sectorSize_ / 4;
        // FreeXL fails on a DIFAT chain shorter than the header counts.
        const std::uint32_t blocks = U32(file_, 0x48);
        std::uint32_t next = U32(file_, 0x44);
        for (std::uint32_t block = 0; block < blocks; ++block) {
            const auto at = next == kEndOfChain ? std::nullopt : SectorAt(next);
            if (!at) return false;
            for (std::size_t i = 0; i + 1 < perSector; ++i) {
                const std::uint32_t sector = U32(file_, *at + 4 * i);
                if (sector == kEndOfChain) return block + 1 == blocks;
                if (sector != kFreeSector && !add(sector)) return false;
            }
            next = U32(file_, *at + sectorSize_ - 4);
        }
        return true;
    }

    std::uint32_t NextSector(std::uint32_t sector) const {
        const std::size_t perSector = sectorSize_ / 4;
        const std::size_t fatIndex = sector / perSector;
        if (fatIndex >= fatSectors_.size()) return kEndOfChain;  // FreeXL stops there too
        return U32(file_, fatSectors_[fatIndex] + 4 * (sector % perSector));
    }

    // FreeXL converts each directory entry's name with the length the entry
    // gives, up to 64 KiB past the sector it read onto its stack; the format
    // allows 64 bytes.
    std::optional<std::string> CheckDirectoryNames() const {
        const std::size_t maxHops = file_.size() / sectorSize_;
        std::uint32_t sector = U32(file_, 0x30);
        for (std::size_t hops = 0; sector != kEndOfChain && hops < maxHops; ++hops, sector = NextSector(sector)) {
            const auto at = SectorAt(sector);
            if (!at) break;
            for (std::size_t entry = *at; entry < *at + sectorSize_; entry += kEntrySize) {
                if (U16(file_, entry + 0x40) > kMaxNameBytes)
                    return "a directory entry name of " + std::to_string(U16(file_, entry + 0x40)) + " bytes";
            }
        }
        return std::nullopt;
    }

    static std::string EntryName(std::string_view entry) {
        std::string name;
        const std::size_t bytes = std::min<std::size_t>(U16(entry, 0x40), kMaxNameBytes);
        for (std::size_t i = 0; i + 1 < bytes; i += 2) {
            const std::uint32_t c = U16(entry, i);
            if (c == 0) break;
            name += c < 0x80 ? static_cast<char>(c) : '?';
        }
        return name;
    }

    // The sectors of a chain from `sector` on, as many as `bytes` fills;
    // nullopt when the chain goes on past them.
    std::optional<std::string> Chain(std::uint32_t sector, std::uint64_t bytes) const {
        std::string out;
        const std::size_t maxHops = file_.size() / sectorSize_ + 1;
        for (std::size_t hops = 0; sector != kEndOfChain && hops < maxHops; ++hops) {
            if (out.size() >= bytes) return std::nullopt;
            const auto at = SectorAt(sector);
            if (!at) break;
            out.append(file_, *at, sectorSize_);
            sector = NextSector(sector);
        }
        if (out.size() > bytes) out.resize(static_cast<std::size_t>(bytes));
        return out;
    }

    // FreeXL looks for the workbook among the entries of the first directory
    // sector only. A small one sits in the mini stream, which FreeXL loads
    // whole and reads the workbook's records from its start.
    std::optional<std::string> CheckWorkbookStream() const {
        const auto directory = SectorAt(U32(file_, 0x30));
        if (!directory) return std::nullopt;
        std::uint32_t miniStart = kEndOfChain;
        std::uint64_t miniSize = 0;
        for (std::size_t entry = *directory; entry < *directory + sectorSize_; entry += kEntrySize) {
            const std::string_view view(file_.data() + entry, kEntrySize);
            const std::string name = EntryName(view);
            if (name == "Root Entry") {
                miniStart = U32(view, 0x74);
                miniSize = U32(view, 0x78);
            }
            if (name != "Workbook" && name != "Book") continue;
            const std::uint64_t size = U32(view, 0x78);
            const std::uint32_t miniCutoff = U32(file_, 0x40) > 0 ? U32(file_, 0x38) : 0;
            if (size <= miniCutoff) {
                // FreeXL allocates the whole mini stream before it reads it.
                if (miniSize > file_.size())
                    return "a mini stream of " + std::to_string(miniSize) + " bytes in a file of " +
                           std::to_string(file_.size());
                // FreeXL reads the workbook's records up to the workbook's
                // size, whatever the mini stream holds.
                if (size > miniSize)
                    return "a workbook stream of " + std::to_string(size) + " bytes in a mini stream of " +
                           std::to_string(miniSize);
                auto mini = Chain(miniStart, miniSize);
                // FreeXL refuses a mini stream whose chain is not its size.
                if (!mini || mini->size() != miniSize) return std::nullopt;
                mini->resize(static_cast<std::size_t>(size));
                return CheckRecords(*mini, StreamKind::Mini);
            }
            auto stream = Chain(U32(view, 0x74), size);
            // Past the stream's size FreeXL's reading position runs off its
            // sector buffer.
            if (!stream) return std::string("a workbook stream running on past its size");
            return CheckRecords(*stream, StreamKind::Regular);
        }
        return std::nullopt;
    }

    std::string file_;
    std::uint32_t shift_ = 9;
    std::size_t sectorSize_ = 512;
    std::vector<std::size_t> fatSectors_;
};

}  // namespace

Result<void> CheckXlsForFreeXl(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Without a container FreeXL takes the file for one bare BIFF2-4 stream.
    const std::optional<std::string> damage =
        IsContainer(file) ? Container(std::move(file)).Check() : CheckRecords(file, StreamKind::Legacy);
    if (damage) return Failure{*damage};
    return {};
}

}  // namespace vestrel
