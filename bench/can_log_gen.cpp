#include "can_log_gen.h"

#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>

namespace vestrel::bench {

void WriteDemoBusLog(const std::filesystem::path& path, std::uint64_t frames, unsigned seed) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error("cannot create " + path.string());
    static constexpr char kHex[] = "0123456789ABCDEF";
    struct Kind {
        const char* id;
        int length;
    };
    static constexpr Kind kKinds[] = {{"181", 8}, {"281", 4}, {"381", 2}, {"201", 8}, {"181", 8}, {"281", 4},
                                      {"181", 8}, {"7E5", 2}};
    std::mt19937 random(seed);
    std::string chunk;
    std::uint64_t seconds = 1733661931, micros = 0;
    for (std::uint64_t i = 0; i < frames; ++i) {
        micros += 100 + random() % 900;
        if (micros >= 1000000) {
            micros -= 1000000;
            ++seconds;
        }
        const Kind& kind = kKinds[random() % 8];
        char line[64];
        int n = std::snprintf(line, sizeof line, "(%llu.%06llu) can0 %s#", static_cast<unsigned long long>(seconds),
                              static_cast<unsigned long long>(micros), kind.id);
        chunk.append(line, static_cast<std::size_t>(n));
        for (int b = 0; b < kind.length; ++b) {
            const unsigned byte = random() & 0xFF;
            chunk += kHex[byte >> 4];
            chunk += kHex[byte & 0xF];
        }
        chunk += '\n';
        if (chunk.size() > (1 << 20)) {
            std::fwrite(chunk.data(), 1, chunk.size(), file);
            chunk.clear();
        }
    }
    std::fwrite(chunk.data(), 1, chunk.size(), file);
    if (std::fclose(file) != 0) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace vestrel::bench
