#include "platform/workbook_zip.h"

#include "platform/workbook_refusal.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>

namespace vestrel {
namespace workbook_io {

namespace {

// Far above any frame workbook, low enough that a hostile archive cannot
// take the machine's memory.
constexpr std::uint64_t kMaxUnpackedBytes = 512u << 20;
// Deflate cannot shrink data more than 1032 to 1.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

constexpr std::uint64_t kEndRecordBytes = 22;
constexpr std::uint64_t kDirectoryEntryBytes = 46;
constexpr std::uint64_t kLocalHeaderBytes = 30;

std::uint32_t LittleEndian(std::string_view bytes, std::uint64_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// Unpacks one entry in pieces and compares its length and CRC-32 with the
// directory's: liborcus checks neither, and a damaged entry would otherwise
// come through as garbled cells.
bool EntryIsIntact(std::string_view packed, bool deflated, std::uint64_t size, std::uint32_t crc) {
    if (!deflated) return crc32(0, reinterpret_cast<const Bytef*>(packed.data()), static_cast<uInt>(packed.size())) == crc;
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    unsigned char piece[64 * 1024];
    uLong sum = crc32(0, nullptr, 0);
    std::uint64_t produced = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        stream.next_out = piece;
        stream.avail_out = sizeof piece;
        rc = inflate(&stream, Z_NO_FLUSH);
        const std::size_t got = sizeof piece - stream.avail_out;
        produced += got;
        if (produced > size) break;
        sum = crc32(sum, piece, static_cast<uInt>(got));
        if (rc == Z_BUF_ERROR && got > 0) rc = Z_OK;  // room was short, not input
    }
    inflateEnd(&stream);
    return rc == Z_STREAM_END && produced == size && sum == crc;
}

// The end record that liborcus reads: the last one in the file.
std::uint64_t FindEndRecord(std::string_view bytes) {
    if (bytes.size() < kEndRecordBytes) throw Refusal{kNotAWorkbook};
    for (std::uint64_t at = bytes.size() - kEndRecordBytes + 1; at-- > 0;) {
        if (bytes.compare(at, 4, "PK\x05\x06") == 0) return at;
    }
    throw Refusal{kNotAWorkbook};
}

// One entry of the archive's directory.
struct DirectoryEntry {
    std::string name;
    std::uint32_t flags;
    std::uint32_t method;
    std::uint32_t crc;
    std::uint64_t packedSize;
    std::uint64_t size;
    std::uint64_t localHeader;
    std::uint64_t next;  // where the directory's next entry starts
};

DirectoryEntry ReadDirectoryEntry(std::string_view bytes, std::uint64_t at, std::uint64_t end) {
    if (at + kDirectoryEntryBytes > end) throw Damaged("zip archive directory");
    DirectoryEntry entry;
    entry.flags = LittleEndian(bytes, at + 8, 2);
    entry.method = LittleEndian(bytes, at + 10, 2);
    entry.crc = LittleEndian(bytes, at + 16, 4);
    entry.packedSize = LittleEndian(bytes, at + 20, 4);
    entry.size = LittleEndian(bytes, at + 24, 4);
    const std::uint64_t nameLength = LittleEndian(bytes, at + 28, 2);
    entry.next = at + kDirectoryEntryBytes + nameLength + LittleEndian(bytes, at + 30, 2) +
                 LittleEndian(bytes, at + 32, 2);
    entry.localHeader = LittleEndian(bytes, at + 42, 4);
    if (entry.next > end) throw Damaged("zip archive directory");
    entry.name = std::string(bytes.substr(at + kDirectoryEntryBytes, nameLength));
    return entry;
}

// The packed data of an entry, once its header says it can be unpacked:
// not encrypted, stored or deflated, no zip64, inside the file, and not
// claiming more than its packed size can give.
std::string_view PackedData(std::string_view bytes, const DirectoryEntry& entry) {
    if (entry.flags & 1) throw Refusal{kPasswordProtected};
    if (entry.method != 0 && entry.method != 8)
        throw Damaged("zip compression method " + std::to_string(entry.method));
    if (entry.packedSize == 0xFFFFFFFF || entry.size == 0xFFFFFFFF) throw Damaged("zip64 archive");
    const std::uint64_t local = entry.localHeader;
    if (local + kLocalHeaderBytes > bytes.size() || bytes.compare(local, 4, "PK\x03\x04") != 0)
        throw Damaged("zip entry " + entry.name);
    const std::uint64_t data =
        local + kLocalHeaderBytes + LittleEndian(bytes, local + 26, 2) + LittleEndian(bytes, local + 28, 2);
    if (data + entry.packedSize > bytes.size()) throw Damaged("zip entry " + entry.name);
    const bool possible = entry.method == 0
                              ? entry.size == entry.packedSize
                              : entry.size <= std::max<std::uint64_t>(entry.packedSize, 1) * kMaxDeflateRatio;
    if (!possible) throw Damaged("zip entry " + entry.name);
    return bytes.substr(data, entry.packedSize);
}

}  // namespace

std::vector<std::string> CheckZipDirectory(std::string_view bytes) {
    const std::uint64_t end = FindEndRecord(bytes);
    if (end + kEndRecordBytes + LittleEndian(bytes, end + 20, 2) != bytes.size())
        throw Damaged("zip archive end record");
    const std::uint32_t entries = LittleEndian(bytes, end + 10, 2);
    const std::uint64_t directorySize = LittleEndian(bytes, end + 12, 4);
    const std::uint64_t directory = LittleEndian(bytes, end + 16, 4);
    // One disk only, and the directory before the end record.
    if (LittleEndian(bytes, end + 4, 2) != 0 || LittleEndian(bytes, end + 6, 2) != 0 ||
        LittleEndian(bytes, end + 8, 2) != entries || directory + directorySize > end)
        throw Damaged("zip archive directory");

    std::vector<std::string> names;
    std::uint64_t unpacked = 0;
    std::uint64_t at = directory;
    while (at + 4 <= end && bytes.compare(at, 4, "PK\x01\x02") == 0) {
        DirectoryEntry entry = ReadDirectoryEntry(bytes, at, end);
        const std::string_view packed = PackedData(bytes, entry);
        unpacked += entry.size;
        if (unpacked > kMaxUnpackedBytes) throw Refusal{kTooLarge};
        if (!EntryIsIntact(packed, entry.method == 8, entry.size, entry.crc)) throw Damaged("zip entry " + entry.name);
        names.push_back(std::move(entry.name));
        at = entry.next;
    }
    if (names.size() != entries) throw Damaged("zip archive directory");
    return names;
}

CheckedZip::CheckedZip(std::string_view bytes)
    : stream_(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), archive_(&stream_) {
    archive_.load();
}

std::optional<std::string> CheckedZip::Entry(std::string_view name) const {
    std::vector<unsigned char> buffer;
    if (!archive_.read_file_entry(name, buffer)) return std::nullopt;
    // liborcus hands the entry over with a terminating zero byte.
    if (!buffer.empty() && buffer.back() == 0) buffer.pop_back();
    return std::string(buffer.begin(), buffer.end());
}

}  // namespace workbook_io
}  // namespace vestrel
