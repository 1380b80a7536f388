#include "srec_image_gen.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace vestrel::bench {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// xorshift32: fast, reproducible, good enough for filler data.
std::uint32_t Next(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::unique_ptr<std::FILE, FileCloser> Create(const std::filesystem::path& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) throw std::runtime_error("cannot create " + path.string());
    return file;
}

}  // namespace

std::uintmax_t WriteLargeImage(const std::filesystem::path& path, std::uint32_t dataBytes, std::uint32_t recordBytes) {
    if (recordBytes == 0 || recordBytes > 250) throw std::invalid_argument("record size out of range");
    if (dataBytes > 0x1000000) throw std::invalid_argument("S2 records address 16 MiB at most");
    auto file = Create(path);
    std::fputs("S00F000068656C6C6F202020202000003C\r\n", file.get());
    std::uint32_t state = 0x12345678;
    std::string line;
    for (std::uint32_t address = 0; address < dataBytes; address += recordBytes) {
        const std::uint32_t count = std::min(recordBytes, dataBytes - address);
        line.assign("S2");
        unsigned sum = count + 4;
        auto put = [&](unsigned byte) {
            line += kHex[byte >> 4];
            line += kHex[byte & 0xF];
        };
        put(count + 4);
        for (int shift = 16; shift >= 0; shift -= 8) {
            sum += (address >> shift) & 0xFF;
            put((address >> shift) & 0xFF);
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            const unsigned byte = Next(state) & 0xFF;
            sum += byte;
            put(byte);
        }
        put(~sum & 0xFF);
        line += "\r\n";
        std::fwrite(line.data(), 1, line.size(), file.get());
    }
    std::fputs("S9030000FC\r\n", file.get());
    if (std::fflush(file.get()) != 0) throw std::runtime_error("cannot write " + path.string());
    return std::filesystem::file_size(path);
}

void WriteRandomFile(const std::filesystem::path& path, std::size_t size, std::uint32_t seed) {
    auto file = Create(path);
    std::uint32_t state = seed | 1;
    for (std::size_t i = 0; i < size; ++i) std::fputc(static_cast<int>(Next(state) & 0xFF), file.get());
    if (std::fflush(file.get()) != 0) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace vestrel::bench
