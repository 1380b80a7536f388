#include "can_log_gen.h"

#include <zlib.h>

#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>

namespace vestrel::bench {

namespace {

struct Kind {
    const char* text;
    std::uint32_t id;
    int length;
};
constexpr Kind kKinds[] = {{"181", 0x181, 8}, {"281", 0x281, 4}, {"381", 0x381, 2}, {"201", 0x201, 8},
                           {"181", 0x181, 8}, {"281", 0x281, 4}, {"181", 0x181, 8}, {"7E5", 0x7E5, 2}};

// The frames one after the other: `each(micros since the epoch, kind, data)`.
template <typename Each>
void DemoBusFrames(std::uint64_t frames, unsigned seed, Each each) {
    std::mt19937 random(seed);
    std::uint64_t seconds = 1733661931, micros = 0;
    for (std::uint64_t i = 0; i < frames; ++i) {
        micros += 100 + random() % 900;
        if (micros >= 1000000) {
            micros -= 1000000;
            ++seconds;
        }
        const Kind& kind = kKinds[random() % 8];
        unsigned char data[8] = {};
        for (int b = 0; b < kind.length; ++b) data[b] = static_cast<unsigned char>(random() & 0xFF);
        each(seconds * 1000000 + micros, kind, data);
    }
}

class File {
public:
    explicit File(const std::filesystem::path& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {
        if (!file_) throw std::runtime_error("cannot create " + path.string());
    }
    ~File() {
        if (file_) std::fclose(file_);
    }
    void Write(const std::string& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), file_); }
    void Close() {
        const int rc = std::fclose(file_);
        file_ = nullptr;
        if (rc != 0) throw std::runtime_error("cannot write " + path_.string());
    }

private:
    std::filesystem::path path_;
    std::FILE* file_;
};

void Put(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The object header of version 1: signature, sizes, type, flags (1 ns), time stamp.
void PutObjectHeader(std::string& out, std::uint32_t type, std::uint32_t payload, std::uint64_t nanos) {
    out += "LOBJ";
    Put(out, 32, 2);
    Put(out, 1, 2);
    Put(out, 32 + payload, 4);
    Put(out, type, 4);
    Put(out, 2, 4);
    Put(out, 0, 4);
    Put(out, nanos, 8);
}

void PutContainer(File& file, const std::string& objects) {
    uLongf packedSize = compressBound(static_cast<uLong>(objects.size()));
    std::string packed(packedSize, '\0');
    if (compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(objects.data()),
                 static_cast<uLong>(objects.size())) != Z_OK)
        throw std::runtime_error("zlib cannot compress");
    packed.resize(packedSize);
    std::string container = "LOBJ";
    Put(container, 16, 2);
    Put(container, 1, 2);
    Put(container, 32 + packed.size(), 4);
    Put(container, 10, 4);  // LOG_CONTAINER
    Put(container, 2, 2);   // zlib
    Put(container, 0, 6);
    Put(container, objects.size(), 4);
    Put(container, 0, 4);
    container += packed;
    container.append(container.size() % 4, '\0');
    file.Write(container);
}

}  // namespace

void WriteDemoBusLog(const std::filesystem::path& path, std::uint64_t frames, unsigned seed) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    File file(path);
    std::string chunk;
    DemoBusFrames(frames, seed, [&](std::uint64_t micros, const Kind& kind, const unsigned char* data) {
        char line[64];
        const int n = std::snprintf(line, sizeof line, "(%llu.%06llu) can0 %s#",
                                    static_cast<unsigned long long>(micros / 1000000),
                                    static_cast<unsigned long long>(micros % 1000000), kind.text);
        chunk.append(line, static_cast<std::size_t>(n));
        for (int b = 0; b < kind.length; ++b) {
            chunk += kHex[data[b] >> 4];
            chunk += kHex[data[b] & 0xF];
        }
        chunk += '\n';
        if (chunk.size() > (1 << 20)) {
            file.Write(chunk);
            chunk.clear();
        }
    });
    file.Write(chunk);
    file.Close();
}

void WriteRandomIdLog(const std::filesystem::path& path, std::uint64_t frames, unsigned seed) {
    File file(path);
    std::mt19937 random(seed);
    std::string chunk;
    for (std::uint64_t i = 0; i < frames; ++i) {
        char line[64];
        const int n =
            std::snprintf(line, sizeof line, "(1733661931.%06llu) can0 %08X#11\n",
                          static_cast<unsigned long long>(i % 1000000), static_cast<unsigned>(random() & 0x1FFFFFFF));
        chunk.append(line, static_cast<std::size_t>(n));
        if (chunk.size() > (1 << 20)) {
            file.Write(chunk);
            chunk.clear();
        }
    }
    file.Write(chunk);
    file.Close();
}

void WriteDemoBusBlf(const std::filesystem::path& path, std::uint64_t frames, unsigned seed) {
    constexpr std::size_t kContainerBytes = 128 * 1024;
    File file(path);
    std::string header = "LOGG";
    Put(header, 144, 4);
    header.resize(144, '\0');  // no start time: the stamps count from the start
    file.Write(header);
    std::string objects;
    std::uint64_t start = 0;
    bool first = true;
    DemoBusFrames(frames, seed, [&](std::uint64_t micros, const Kind& kind, const unsigned char* data) {
        if (first) start = micros, first = false;
        PutObjectHeader(objects, 1, 16, (micros - start) * 1000);  // CAN_MESSAGE
        Put(objects, 1, 2);                                        // channel
        Put(objects, 0, 1);                                        // flags
        Put(objects, static_cast<std::uint64_t>(kind.length), 1);
        Put(objects, kind.id, 4);
        objects.append(reinterpret_cast<const char*>(data), 8);
        if (objects.size() >= kContainerBytes) {
            PutContainer(file, objects.substr(0, kContainerBytes));
            objects.erase(0, kContainerBytes);
        }
    });
    if (!objects.empty()) PutContainer(file, objects);
    file.Close();
}

}  // namespace vestrel::bench
