#pragma once

#include <initializer_list>
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

// The options and operands of one command. Options are "--name" (a switch)
// or "--name VALUE" / "--name=VALUE"; each may be given once; "--" ends the
// options, so that an operand may begin with "-".
class Arguments {
public:
    struct Option {
        std::string name;  // without the dashes
        bool takesValue = false;
        std::string valueHint = {};  // "a list such as 1,2", for the message when the value is missing
    };

    // Parses the arguments after the command's name; throws UsageError for an
    // unknown option, a missing value or an option given twice.
    Arguments(const std::vector<std::string>& args, std::initializer_list<Option> options);

    bool Has(const std::string& name) const { return given_.count(name) != 0; }
    std::optional<std::string> Value(const std::string& name) const;
    const std::vector<std::string>& Operands() const { return operands_; }

    // Throws UsageError("usage: vestrel-cli <form>") unless there are exactly
    // `count` operands.
    void ExpectOperands(std::size_t count, const std::string& form) const;
    // The same for at least `count`.
    void ExpectAtLeast(std::size_t count, const std::string& form) const;

private:
    std::map<std::string, std::string> given_;
    std::vector<std::string> operands_;
};

}  // namespace vestrel
