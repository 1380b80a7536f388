#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace vestrel::test {

// Runs `body` where file permissions are enforced. An ordinary user runs it
// in place; root (as in CI containers) runs it in a child process switched to
// the "nobody" user, so that a read-only folder really refuses writes. The
// body returns an empty text on success, otherwise what went wrong. Folders
// the body uses must be reachable by that user (see OpenToEveryone).
inline ::testing::AssertionResult RunUnprivileged(const std::function<std::string()>& body) {
    if (::geteuid() != 0) {
        std::string failure = body();
        return failure.empty() ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << failure;
    }
    int fds[2];
    if (::pipe(fds) != 0) return ::testing::AssertionFailure() << "pipe failed";
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string failure;
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            failure = "cannot switch to the nobody user";
        } else {
            try {
                failure = body();
            } catch (const std::exception& e) {
                failure = std::string("exception: ") + e.what();
            }
        }
        if (!failure.empty()) (void)!::write(fds[1], failure.data(), failure.size());
        ::close(fds[1]);
        ::_exit(failure.empty() ? 0 : 1);
    }
    ::close(fds[1]);
    std::string failure;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) failure.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << (failure.empty() ? "the unprivileged run failed" : failure);
}

// Lets every user into `dir` and everything in it, so that RunUnprivileged's
// body can reach a folder that root created.
inline void OpenToEveryone(const std::filesystem::path& dir) {
    namespace fs = std::filesystem;
    fs::permissions(dir, fs::perms::all);
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        fs::permissions(entry.path(), fs::perms::all);
}

}  // namespace vestrel::test
