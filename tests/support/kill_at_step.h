#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <stdexcept>

namespace vestrel::test {

// Runs `body` in a child process. The body installs its test seams so that
// they call `die` exactly where the child is to end: `die` raises `signal`
// with its default action, as a kill from outside would land there. Returns
// the signal that ended the child, or 0 when the body returned without
// reaching that point (the child then exits normally). Deterministic: the
// child ends at a chosen step, never after a measured delay.
inline int RunInChildEndedBy(int signal, const std::function<void(const std::function<void()>& die)>& body) {
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::signal(signal, SIG_DFL);
        try {
            body([signal] { ::raise(signal); });
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    if (WIFSIGNALED(status)) return WTERMSIG(status);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return 0;
    throw std::runtime_error("the child failed on its own");
}

}  // namespace vestrel::test
