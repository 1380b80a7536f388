#pragma once

#include <string>

// The manual pages and the bash completion, made from the command table
// (cli/command_table.h). The bench commands and their sections only
// `withBench`, as in --help.

namespace vestrel {

// vestrel-cli(1) in the man macros of groff.
std::string CliManPage(bool withBench);
// vestrel(1): the desktop application, its workspace, and where the CLI is.
std::string ApplicationManPage();
// A bash completion script for vestrel-cli: its function _vestrel_cli and
// the `complete` line that binds it.
std::string CliCompletion(bool withBench);

}  // namespace vestrel
