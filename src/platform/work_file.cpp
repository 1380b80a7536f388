#include "platform/work_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

namespace vestrel::work_file {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMarker = ".vestrel-";
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The paths the signal handler removes. A slot is free (0), being filled (1)
// or holds a path (2); the handler reads only filled ones, without locks, as
// a handler may.
struct Slot {
    std::atomic<int> state{0};
    char path[PATH_MAX];
};
constexpr int kSlots = 64;
Slot slots[kSlots];

extern "C" void RemoveWorkFilesThenEnd(int signal) {
    // Files first, then the folders they were in (a scratch folder).
    for (Slot& slot : slots)
        if (slot.state.load() == 2) ::unlink(slot.path);
    for (Slot& slot : slots)
        if (slot.state.load() == 2) ::rmdir(slot.path);
    ::signal(signal, SIG_DFL);
    ::raise(signal);  // delivered with the default action once the handler returns
}

// Installs the handler for each signal still at its default action; one that
// the program handles or ignores is its own business.
void InstallHandlers() {
    for (int signal : kSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0) continue;
        if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = RemoveWorkFilesThenEnd;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

std::string Prefix(const fs::path& target) { return "." + target.filename().string() + std::string(kMarker); }

bool IsWorkFileName(std::string_view name) {
    // ".NAME.vestrel-PID-XXXXXX" or ".NAME.vestrel-PID-NL"
    const std::size_t marker = name.rfind(kMarker);
    if (name.empty() || name[0] != '.' || marker == std::string_view::npos || marker < 2) return false;
    std::string_view rest = name.substr(marker + kMarker.size());
    std::size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
    return digits > 0 && digits + 1 < rest.size() && rest[digits] == '-';
}

bool Claim(int fd, const fs::path& path) {
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) return true;  // no locks here: nothing removes the file either
    }
    // A cleaner may have taken the file for abandoned before the lock was
    // ours: it is then unlinked, or its name holds another file.
    struct stat held {}, named {};
    return ::fstat(fd, &held) == 0 && held.st_nlink > 0 && ::lstat(path.c_str(), &named) == 0 &&
           SameFile(held, named);
}

void RemoveAbandoned(const fs::path& dir) {
    std::error_code ec;
    fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec);
    if (ec) return;
    for (const fs::directory_entry& entry : it) {
        if (!IsWorkFileName(entry.path().filename().string())) continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) continue;
        struct stat held {}, named {};
        // Only a regular file whose lock no one holds, and only while the
        // name still leads to the file locked here.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
            ::lstat(entry.path().c_str(), &named) == 0 && SameFile(held, named))
            ::unlink(entry.path().c_str());
        ::close(fd);
    }
}

Guard::Guard(const fs::path& path) {
    const std::string text = path.string();
    if (text.size() >= PATH_MAX) return;
    InstallHandlers();
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (!slots[i].state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(slots[i].path, text.c_str(), text.size() + 1);
        slots[i].state.store(2);
        slot_ = i;
        return;
    }
}

Guard& Guard::operator=(Guard&& other) noexcept {
    if (this != &other) {
        Release();
        slot_ = other.slot_;
        other.slot_ = -1;
    }
    return *this;
}

void Guard::Release() noexcept {
    if (slot_ < 0) return;
    slots[slot_].state.store(0);
    slot_ = -1;
}

}  // namespace vestrel::work_file
