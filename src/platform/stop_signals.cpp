#include "platform/stop_signals.h"

#include "platform/error.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace vestrel {

namespace {

int stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    (void)!::write(stopPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

struct StopSignalCatcher::Handlers {
    struct sigaction interrupt {};
    struct sigaction terminate {};
};

StopSignalCatcher::StopSignalCatcher() : old_(std::make_unique<Handlers>()) {
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw Error("Cannot set up the signal handling: " + std::string(std::strerror(errno)));
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &old_->interrupt);
    ::sigaction(SIGTERM, &action, &old_->terminate);
}

StopSignalCatcher::~StopSignalCatcher() {
    ::sigaction(SIGINT, &old_->interrupt, nullptr);
    ::sigaction(SIGTERM, &old_->terminate, nullptr);
    ::close(stopPipe[0]);
    ::close(stopPipe[1]);
    stopPipe[0] = stopPipe[1] = -1;
}

int StopSignalCatcher::Descriptor() const { return stopPipe[0]; }

int StopSignalCatcher::Take() {
    char byte = 0;
    return ::read(stopPipe[0], &byte, 1) == 1 ? byte : 0;
}

std::string StopSignalCatcher::ByText(int signal) {
    return signal == SIGINT ? " by SIGINT" : signal == SIGTERM ? " by SIGTERM" : "";
}

void IgnoreFileSizeLimitSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace vestrel
