#include "cli/cli.h"

#include <unistd.h>

#include <csignal>
#include <iostream>

int main(int argc, char** argv) {
    // A write beyond the file-size limit then fails with "File too large",
    // which the command reports, instead of killing the process silently.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    return vestrel::RunCli(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
