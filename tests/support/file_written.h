#pragma once

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>

namespace vestrel::test {

// Watches a folder for a file that another process writes and closes, so
// that a test waits for that event instead of polling the file on a clock.
// Make it before starting the process. The guard only turns a process that
// never writes into a failure instead of a hang.
class FileWritten {
public:
    FileWritten(std::filesystem::path dir, std::string name) : dir_(std::move(dir)), name_(std::move(name)) {
        fd_ = ::inotify_init1(IN_CLOEXEC);
        if (fd_ >= 0) ::inotify_add_watch(fd_, dir_.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
    }
    ~FileWritten() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileWritten(const FileWritten&) = delete;
    FileWritten& operator=(const FileWritten&) = delete;

    // True once the file was closed after writing; false when the guard ran out.
    bool Wait(int guardMilliseconds = 20000) {
        alignas(inotify_event) char buffer[sizeof(inotify_event) + NAME_MAX + 1];
        while (fd_ >= 0) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, guardMilliseconds) <= 0) return false;
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && name_ == event->name) return true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return false;
    }

private:
    std::filesystem::path dir_;
    std::string name_;
    int fd_ = -1;
};

}  // namespace vestrel::test
