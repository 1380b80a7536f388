#pragma once

#include "cli/cli.h"

#include <sstream>
#include <string>
#include <vector>

namespace vestrel::test {

// What a vestrel-cli command gave: its exit status and both streams.
struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a command line in this process, as vestrel-cli would.
inline CliRun Cli(const std::vector<std::string>& args, bool terminal = false) {
    std::ostringstream out, err;
    const int status = RunCli(args, out, err, terminal);
    return {status, out.str(), err.str()};
}

}  // namespace vestrel::test
