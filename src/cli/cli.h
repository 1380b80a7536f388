#pragma once

#include "cli/commands.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace vestrel {

// The headless face of the compiler and the merge. `args` excludes the
// program name. Reports go to `out` only where a command's output is its
// product (--help, --version, the problems that check lists, the
// configuration that decode prints); messages, notes and progress go to `err`.
// `terminal` says whether `err` is a terminal, which turns on the progress bar.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal);

// The same with every setting of the context, for tests.
int RunCli(const std::vector<std::string>& args, CliContext& cli);

}  // namespace vestrel
