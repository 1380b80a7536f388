#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace vestrel::test {

// Starts a child process that calls save(0), save(1), save(2), ... until it
// is killed, kills it with SIGKILL after `delay` and reaps it. The child
// never returns into the test program.
inline void KillDuringRepeatedSaves(const std::function<void(int round)>& save, std::chrono::microseconds delay) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            for (int round = 0; round < 1000000; ++round) save(round);
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
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
