#include "cli/cli.h"

#include <unistd.h>

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return vestrel::RunCli(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
