#pragma once

#include "cli/command_table.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vestrel {

// A command line that was not understood: vestrel-cli prints the text and a
// hint at --help and exits with status 2. Thrown by the argument parsing of
// every command.
struct UsageError {
    std::string text;
};

// The options and operands of one command, as its entry in the command
// table declares them. Options are "--name" (a switch) or "--name VALUE" /
// "--name=VALUE"; each may be given once; "--" ends the options, so that an
// operand may begin with "-".
class Arguments {
public:
    // Parses the arguments after the command's name; throws UsageError for an
    // option the command does not declare, a missing value or an option
    // given twice. `command` is kept: an entry of the command table
    // (CliCommand), which lives as long as the program.
    Arguments(const std::vector<std::string>& args, const CommandSpec& command);

    // Whether the option was given. Asking for an option the command does
    // not declare is a mistake of the program: std::logic_error.
    bool Has(const std::string& name) const;
    // The value given, else the declared default, else none.
    std::optional<std::string> Value(const std::string& name) const;
    const std::vector<std::string>& Operands() const { return operands_; }

    // "usage: vestrel-cli <the command's form>".
    UsageError Usage() const;
    // Throws Usage() unless there are exactly `count` operands.
    void ExpectOperands(std::size_t count) const;
    // The same for at least `count`.
    void ExpectAtLeast(std::size_t count) const;

private:
    const OptionSpec& Declared(const std::string& name) const;

    const CommandSpec& command_;
    std::map<std::string, std::string> given_;
    std::vector<std::string> operands_;
};

}  // namespace vestrel
