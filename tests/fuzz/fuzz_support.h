#pragma once

// Shared by the libFuzzer harnesses: a scratch folder of this process's own,
// splitting one input into several files, and property checks that stop the
// fuzzer with a message (libFuzzer then keeps the input as a crash).

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace vestrel::fuzz {

namespace fs = std::filesystem;

[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "\nPROPERTY VIOLATED: %s\n", what.c_str());
    std::abort();
}

// The message is built only when the check fails: checks run per byte.
#define FUZZ_CHECK(condition, message)                        \
    do {                                                      \
        if (!(condition)) ::vestrel::fuzz::Fail(message);     \
    } while (false)

// $TMPDIR when set, else /dev/shm when it exists (no disk writes), else /tmp.
inline fs::path ScratchBase() {
    if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp) return tmp;
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0) return "/dev/shm";
    return "/tmp";
}

// One folder per process, made on first use and removed at exit. Parallel
// fuzzing jobs each get their own.
inline const fs::path& ScratchDir() {
    static const fs::path dir = [] {
        std::string pattern = (ScratchBase() / "vestrel-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) Fail("cannot create a scratch folder under " + ScratchBase().string());
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(ScratchDir(), ec);
        });
        return fs::path(pattern);
    }();
    return dir;
}

// ScratchDir()/name, emptied: every iteration starts from the same state.
inline fs::path EmptyFolder(std::string_view name) {
    const fs::path dir = ScratchDir() / std::string(name);
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
    if (ec) Fail("cannot create " + dir.string() + ": " + ec.message());
    return dir;
}

inline void WriteBytes(const fs::path& path, std::string_view data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) Fail("cannot create " + path.string());
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n <= 0) Fail("cannot write " + path.string());
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    ::close(fd);
}

inline std::string ReadBytes(const fs::path& path) {
    std::string data;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return data;
    char buffer[1 << 16];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) data.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return data;
}

// The input cut at each NUL byte, into at most `parts` pieces (the last one
// keeps any further NUL bytes). XML and CSV never hold NUL, so the pieces are
// the files of a project, one after another.
inline std::vector<std::string_view> SplitAtNul(std::string_view data, std::size_t parts) {
    std::vector<std::string_view> pieces;
    while (pieces.size() + 1 < parts) {
        const auto nul = data.find('\0');
        if (nul == std::string_view::npos) break;
        pieces.push_back(data.substr(0, nul));
        data.remove_prefix(nul + 1);
    }
    pieces.push_back(data);
    return pieces;
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

// The names of the files in `dir`, for checks that nothing was left behind.
inline std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace vestrel::fuzz
