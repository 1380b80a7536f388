#pragma once

#include "cli/arguments.h"
#include "cli/commands.h"
#include "gateway/gateway_model.h"
#include "gateway/model_loading.h"
#include "live/bench_settings.h"
#include "live/register_numbering.h"
#include "live/send_schedule.h"
#include "platform/stop_signals.h"

#include <memory>
#include <string>

class QCoreApplication;
class QEventLoop;
class QSocketNotifier;

namespace vestrel {

namespace live {
class CanBus;
}

struct BenchSetup {
    gateway::ProjectModel loaded;
    live::BenchSettings settings;  // the project's, with --serial and --address applied
    live::CanEndpoint can;
    std::string port;
    live::Numbering indexNumbering = live::Numbering::ProtocolAddress;
};

// Reads the shared options (throws UsageError) and loads the model of
// SOURCE (throws Error when the project does not compile). Says the project
// check's warnings and the notes about the project's settings.
BenchSetup ReadBenchSetup(const Arguments& a, const CliContext& cli);

// The serial port to open for --modbus PORT: a bare name is a device under
// /dev unless a file of that name is in the current folder, which is taken
// as given ("./ttyB").
std::string SerialPortPath(const std::string& port);

// A whole number from `min` to `max` given to --name (or its declared
// default); UsageError otherwise. 0 when the option is absent and has no
// default.
long NumberOption(const Arguments& a, const std::string& name, long min, long max);

// The event loop the bench commands run in: the application's, or one made
// for the command, which keeps Qt SerialBus's own log lines off the terminal
// unless QT_LOGGING_RULES asks for them.
class CommandEventLoop {
public:
    CommandEventLoop();
    ~CommandEventLoop();
    CommandEventLoop(const CommandEventLoop&) = delete;
    CommandEventLoop& operator=(const CommandEventLoop&) = delete;

private:
    std::unique_ptr<QCoreApplication> app_;
};

// SIGINT and SIGTERM end `loop` instead of the process, so that the
// interfaces are closed and the summary is printed. The handlers of before
// are back when this is destroyed. One at a time.
class StopSignals {
public:
    explicit StopSignals(QEventLoop& loop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal that ended the loop, or 0.
    int Signal() const { return signal_; }
    // " by SIGINT", " by SIGTERM" or nothing.
    std::string ByText() const;

private:
    StopSignalCatcher catcher_;
    std::unique_ptr<QSocketNotifier> notifier_;
    int signal_ = 0;
};

// Opens the CAN interface and waits until it is open (at most 10 s); throws
// Error otherwise. The plugin's notes are said on stderr.
void OpenBus(live::CanBus& bus, const live::CanEndpoint& can, int bitRate, const CliContext& cli);

// How a send run ended.
struct SendOutcome {
    live::SendTally tally;
    std::string stoppedBy;  // " by SIGINT", " by SIGTERM", or empty when every frame went out
};

// Opens the CAN interface and sends what `source` says when it says it,
// until the source ends or SIGINT or SIGTERM stops the run; throws Error
// when the interface does not open or a frame cannot be sent. `sent` sees
// each frame that went out. Calls cli.atSendStep.
SendOutcome RunSend(live::FrameSource& source, const live::CanEndpoint& can, int bitRate, const CliContext& cli,
                    const live::SendRun::Observer& sent = {});

// "Sent 20 frames; behind schedule at most 0.4 ms, at the end 0.1 ms."
std::string SendSummary(const SendOutcome& outcome);

}  // namespace vestrel
