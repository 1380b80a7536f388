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

// The options verify and simulate share: where the gateway is and how to
// reach it.
inline const Arguments::Option kCanOption{"can", true, "a CAN interface such as socketcan:can0"};
inline const Arguments::Option kModbusOption{"modbus", true, "a serial port such as /dev/ttyUSB0"};
inline const Arguments::Option kSerialOption{"serial", true, "serial settings such as 19200,8E1"};
inline const Arguments::Option kAddressOption{"address", true, "a device address from 1 to 247"};
inline const Arguments::Option kIndexBaseOption{"index-base", true, "0 or 1"};
inline const Arguments::Option kSecondsOption{"seconds", true, "a number of seconds"};

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
BenchSetup ReadBenchSetup(const Arguments& a, const std::string& form, const CliContext& cli);

// The serial port to open for --modbus PORT: a bare name is a device under
// /dev unless a file of that name is in the current folder, which is taken
// as given ("./ttyB").
std::string SerialPortPath(const std::string& port);

// A whole number from `min` to `max` given to --name; UsageError otherwise.
long NumberOption(const Arguments& a, const std::string& name, long fallback, long min, long max);

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
