#include "frame_csv_gen.h"

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace vestrel::bench {

std::uint64_t WriteFrameCsv(const std::filesystem::path& file, std::uint64_t bytes) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(file.c_str(), "wb"), &std::fclose);
    if (!out) throw std::runtime_error("cannot create " + file.string());
    std::string piece = "cobid,id_dev_orig,en_bypass,posind,n_tpdo \r\n";
    std::uint64_t written = 0;
    std::uint64_t records = 0;
    char line[96];
    while (written + piece.size() < bytes) {
        // Hexadecimal and decimal COB-IDs, a quoted label now and then.
        const unsigned cobId = 0x100 + static_cast<unsigned>(records % 0x600);
        const int n = records % 7 == 0
                          ? std::snprintf(line, sizeof line, "\"0x%03X\",%u,0,0,\"label, %llu\"\r\n", cobId,
                                          1 + static_cast<unsigned>(records % 8),
                                          static_cast<unsigned long long>(records))
                          : std::snprintf(line, sizeof line, "%u,%u,0,0,%llu\r\n", cobId,
                                          1 + static_cast<unsigned>(records % 8),
                                          static_cast<unsigned long long>(records));
        piece.append(line, static_cast<std::size_t>(n));
        ++records;
        if (piece.size() >= (1u << 20)) {
            if (std::fwrite(piece.data(), 1, piece.size(), out.get()) != piece.size())
                throw std::runtime_error("cannot write " + file.string());
            written += piece.size();
            piece.clear();
        }
    }
    if (std::fwrite(piece.data(), 1, piece.size(), out.get()) != piece.size())
        throw std::runtime_error("cannot write " + file.string());
    return records;
}

}  // namespace vestrel::bench
