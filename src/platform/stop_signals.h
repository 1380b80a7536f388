#pragma once

#include <memory>
#include <string>

namespace vestrel {

// SIGINT and SIGTERM, while this lives, no longer end the process: each
// makes Descriptor() readable, for an event loop to wait on, and Take()
// says which came. The handlers of before are back when this is destroyed.
// One at a time.
class StopSignalCatcher {
public:
    // Throws Error when the system cannot give the handlers.
    StopSignalCatcher();
    ~StopSignalCatcher();
    StopSignalCatcher(const StopSignalCatcher&) = delete;
    StopSignalCatcher& operator=(const StopSignalCatcher&) = delete;

    int Descriptor() const;
    // The signal that came since the last call, or 0.
    int Take();

    // " by SIGINT", " by SIGTERM" or nothing, for `signal` as Take() gave it.
    static std::string ByText(int signal);

private:
    struct Handlers;
    std::unique_ptr<Handlers> old_;
};

// A write beyond the file-size limit then fails with "File too large",
// which the run reports, instead of killing the process silently.
void IgnoreFileSizeLimitSignal();

}  // namespace vestrel
