#pragma once

#include "firmware/bank_merge.h"
#include "live/send_schedule.h"
#include "live/verify_report.h"

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace vestrel {

// Exit codes of vestrel-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the work asked for was not done; the reason is on stderr
inline constexpr int kExitUsage = 2;   // the command line was not understood

// What every command works with: its product goes to `out`, messages, notes
// and progress go to `err` (a progress bar only when `terminal`).
struct CliContext {
    std::ostream& out;
    std::ostream& err;
    bool terminal = false;
    // A test seam passed to every merge the command runs.
    std::function<void(MergeStep)> atMergeStep;
    // A test seam called at each step of verify: a test sends its frames once
    // the command listens.
    std::function<void(live::VerifyStep)> atVerifyStep;
    // A test seam called at each step of send, play and stimulate: a test
    // waits for the interface to join a bus before the first frame, or stops
    // the run after a number of frames.
    std::function<void(live::SendStep)> atSendStep;

    // Prints "vestrel-cli: <text>" on stderr, control characters escaped and
    // on one line.
    void Say(const std::string& text) const;
    // Prints what a command did, "Wrote ...", on stderr, escaped the same way.
    void Done(const std::string& text) const;
};

// The command functions are declared with their entries in the command
// table (command_table.cpp), which carries each.

}  // namespace vestrel
