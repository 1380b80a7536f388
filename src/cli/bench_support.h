#pragma once

#include "cli/arguments.h"
#include "cli/commands.h"
#include "gateway/gateway_model.h"
#include "live/bench_settings.h"
#include "live/register_numbering.h"

#include <memory>
#include <string>

class QCoreApplication;

namespace vestrel {

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

}  // namespace vestrel
