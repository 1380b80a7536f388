#pragma once

#include <string>
#include <vector>

// The one declaration of vestrel-cli's commands: their operands, options,
// defaults and texts. --help, each command's argument parsing, the manual
// pages and the bash completion are all made from it. Plain C++, so that the
// generator of the manual runs without Qt.

namespace vestrel {

// What an operand or an option's value is; the completion offers accordingly.
enum class ValueKind {
    Text,          // nothing to offer (a number, a list, a frame)
    Choice,        // one of OptionSpec::choices
    File,          // a file
    Folder,        // a folder
    Path,          // a file or a folder (SOURCE, LOG)
    CanInterface,  // PLUGIN:IFACE, with OptionSpec::examples
    SerialPort,    // a serial device
};

// Where a command's synopsis shows an option.
enum class OptionPlace {
    Optional,  // [--name VALUE]
    Required,  // --name VALUE
    InForm,    // written into one of the operand forms
    Grouped,   // folded into "[bench options]"; that section describes it
};

struct OptionSpec {
    std::string name;                         // without the dashes
    std::string value = {};                   // the value's name in the synopsis; empty: a switch (or a Choice)
    std::string needs = {};                   // "--name needs <this>" when the value is missing
    std::string meaning = {};                 // one line, for the manual
    std::string defaultValue = {};            // taken when the option is not given; empty: none
    ValueKind kind = ValueKind::Text;
    std::vector<std::string> choices = {};    // the values of a Choice
    std::vector<std::string> examples = {};   // what the completion offers for a CanInterface
    OptionPlace shown = OptionPlace::Optional;

    bool TakesValue() const { return !value.empty() || !choices.empty(); }
    // "--name VALUE", a Choice as "--name a|b".
    std::string Synopsis() const;
};

class Arguments;
struct CliContext;

// What a command does, given its arguments as its entry declares them. It
// throws UsageError for a command line it does not understand and Error for
// work that failed, and returns the exit status otherwise.
using CommandRun = int (*)(const Arguments& args, CliContext& cli);

struct CommandSpec {
    std::string name;
    CommandRun run;  // nothing for a bench command in a build without the bench tools
    std::vector<std::string> forms;       // the operands; more than one: alternatives
    std::vector<ValueKind> operands = {};  // what each operand is; the last one repeats
    std::vector<OptionSpec> options = {};
    std::string description = {};         // --help's lines, each ending in a newline
    bool bench = false;                   // on real buses: only in builds with the bench tools

    const OptionSpec* Find(const std::string& option) const;
    // "name FORM [--option VALUE] ... [bench options]", as --help shows it.
    std::string Synopsis() const;
    // The synopsis with every option written out, for "usage: vestrel-cli ...".
    std::string UsageForm() const;
};

// A text that belongs to no one command (SOURCE, the bench options, ...).
struct SectionSpec {
    std::string title;  // the manual's heading
    std::string text;   // --help's lines, each ending in a newline
    std::string after;  // --help shows it below this command; empty: at the end
    bool bench = false;
    bool continues = false;  // at the end: in the paragraph of the one before
};

// The desktop application, for its manual page.
struct ApplicationSpec {
    std::string name;
    std::string summary;
    std::string description;
    std::string files;
};

// Every command, the bench commands included.
const std::vector<CommandSpec>& CliCommands();
const std::vector<SectionSpec>& CliSections();
const ApplicationSpec& DesktopApplication();
// The command of that name; std::logic_error when there is none.
const CommandSpec& CliCommand(const std::string& name);
// The same, or nothing for a name no command has.
const CommandSpec* FindCliCommand(const std::string& name);
// The text of --help; the bench commands and their sections only `withBench`.
std::string CliUsage(bool withBench);
// The text of "vestrel-cli COMMAND --help": the command, what it shares with
// the commands of its kind, and where the rest is.
std::string CommandUsage(const CommandSpec& command);

}  // namespace vestrel
