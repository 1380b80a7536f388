#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace vestrel::test {

// Starts a child process that calls save(0), save(1), save(2), ... until it
// is killed, kills it with SIGKILL `delay` after its first save began and
// reaps it. The delay counts from the child's own signal, not from the fork,
// which a sanitizer build can make slower than a few saves. The child never
// returns into the test program.
inline void KillDuringRepeatedSaves(const std::function<void(int round)>& save, std::chrono::microseconds delay) {
    int started[2];
    if (::pipe(started) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(started[0]);
        const char ready = 1;
        if (::write(started[1], &ready, 1) != 1) ::_exit(1);
        try {
            for (int round = 0; round < 1000000; ++round) save(round);
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    ::close(started[1]);
    char ready = 0;
    while (::read(started[0], &ready, 1) < 0 && errno == EINTR) {
    }
    ::close(started[0]);
    std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// The files in `dir` whose names start with "." followed by `name`: the
// temporary files of atomic saves of `name` that never finished.
inline std::vector<std::filesystem::path> UnfinishedSaves(const std::filesystem::path& dir, const std::string& name) {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename().string().rfind("." + name, 0) == 0) found.push_back(entry.path());
    return found;
}

// How long one call of `save` takes, the best of three.
inline std::chrono::microseconds TimeOfOneSave(const std::function<void(int round)>& save) {
    auto best = std::chrono::microseconds::max();
    for (int round = 0; round < 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        save(round);
        best = std::min(best, std::chrono::duration_cast<std::chrono::microseconds>(
                                  std::chrono::steady_clock::now() - start));
    }
    return best;
}

}  // namespace vestrel::test
