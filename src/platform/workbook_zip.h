#pragma once

// The zip archive of an .xlsx or .ods workbook. liborcus 0.17 trusts the
// sizes in an archive's directory, so every archive is checked here first
// and liborcus only ever reads the bytes that were checked. Private to the
// workbook readers.

#include <orcus/zip_archive.hpp>
#include <orcus/zip_archive_stream.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vestrel {
namespace workbook_io {

// Checks the archive's directory as liborcus will read it (the last end
// record, then entry after entry from the directory's start) and returns
// the entry names. Every entry must lie inside the file, be stored or
// deflated at a possible ratio, unpack to its length and CRC-32, and all of
// them together must unpack to a bounded size. Throws a Refusal.
std::vector<std::string> CheckZipDirectory(std::string_view bytes);

// An archive that CheckZipDirectory has passed, opened with liborcus. The
// bytes must outlive it.
class CheckedZip {
public:
    explicit CheckedZip(std::string_view bytes);

    // The unpacked entry, or nullopt when the archive has none of that name.
    std::optional<std::string> Entry(std::string_view name) const;

private:
    orcus::zip_archive_stream_blob stream_;
    orcus::zip_archive archive_;
};

}  // namespace workbook_io
}  // namespace vestrel
