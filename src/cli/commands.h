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

// One function per command. Each takes the arguments after the command's
// name, throws UsageError for a command line it does not understand and
// Error for work that failed, and returns the exit status otherwise.
int BuildCommand(const std::vector<std::string>& args, CliContext& cli);
int UpdateCommand(const std::vector<std::string>& args, CliContext& cli);
int MergeCommand(const std::vector<std::string>& args, CliContext& cli);
int CheckCommand(const std::vector<std::string>& args, CliContext& cli);
int DecodeCommand(const std::vector<std::string>& args, CliContext& cli);
// What changes between two configurations (diff_command.cpp); exits as
// diff(1): 0 the same, 1 different, 2 when they could not be compared.
int DiffCommand(const std::vector<std::string>& args, CliContext& cli);
// What the gateway does with a configuration (preview_command.cpp,
// replay_command.cpp, report_command.cpp).
int PreviewCommand(const std::vector<std::string>& args, CliContext& cli);
int ReplayCommand(const std::vector<std::string>& args, CliContext& cli);
// Charts of a log's signals and registers (plot_command.cpp).
int PlotCommand(const std::vector<std::string>& args, CliContext& cli);
int ReportCommand(const std::vector<std::string>& args, CliContext& cli);
// What a CAN database holds and what the import would make of it
// (signals_command.cpp).
int SignalsCommand(const std::vector<std::string>& args, CliContext& cli);
// A database's signals into a project's mapping and out again
// (import_signals_command.cpp).
int ImportSignalsCommand(const std::vector<std::string>& args, CliContext& cli);
int RemoveSignalsCommand(const std::vector<std::string>& args, CliContext& cli);
// Where the application's workspace is, seeded as its first start would
// (workspace_command.cpp).
int WorkspaceCommand(const std::vector<std::string>& args, CliContext& cli);
// A gateway on the bench, on real buses through Qt SerialBus
// (verify_command.cpp, simulate_command.cpp); built with the bench tools only.
int VerifyCommand(const std::vector<std::string>& args, CliContext& cli);
int SimulateCommand(const std::vector<std::string>& args, CliContext& cli);
// Traffic for the bench: frames given, a log, a project's receive frames
// (send_commands.cpp, stimulate_command.cpp); built with the bench tools only.
int SendCommand(const std::vector<std::string>& args, CliContext& cli);
int PlayCommand(const std::vector<std::string>& args, CliContext& cli);
int StimulateCommand(const std::vector<std::string>& args, CliContext& cli);

}  // namespace vestrel
