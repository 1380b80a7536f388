#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vestrel {

// Exit codes of vestrel-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the work asked for was not done; the reason is on stderr
inline constexpr int kExitUsage = 2;   // the command line was not understood

// The headless face of the compiler and the merge. `args` excludes the
// program name. Reports go to `out` only where a command's output is its
// product (--help, --version, the problems that check lists, the
// configuration that decode prints); messages, notes and progress go to `err`.
// `terminal` says whether `err` is a terminal, which turns on the progress bar.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal);

}  // namespace vestrel
