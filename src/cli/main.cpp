#include "cli/cli.h"
#include "platform/stop_signals.h"
#include "platform/system_file.h"

#include <iostream>

int main(int argc, char** argv) {
    vestrel::IgnoreFileSizeLimitSignal();
    std::vector<std::string> args(argv + 1, argv + argc);
    return vestrel::RunCli(args, std::cout, std::cerr, vestrel::StandardErrorIsTerminal());
}
