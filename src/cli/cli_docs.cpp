#include "cli/cli_docs.h"

#include "cli/command_table.h"
#include "vestrel/version.h"

#include <sstream>

namespace vestrel {

namespace {

// Text for the roff source: a backslash printed as such, the dashes of an
// option as minus signs (so that a copied option works), and a line that
// would start with a control character kept as text.
std::string Roff(const std::string& text, bool allDashes = false) {
    std::string out;
    bool lineStart = true;
    bool optionWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (lineStart && (c == '.' || c == '\'')) out += "\\&";
        const bool wordStart = i == 0 || std::string(" \n[(|").find(text[i - 1]) != std::string::npos;
        if (wordStart) optionWord = c == '-';
        if (c == '\\')
            out += "\\e";
        else if (c == '-' && (optionWord || allDashes))
            out += "\\-";
        else
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

std::string Header(const std::string& name, const std::string& title) {
    return ".TH " + title + " 1 \"\" \"Firmware Vestrel " + kProductVersion +
           "\" \"User Commands\"\n"
           ".SH NAME\n" +
           Roff(name) + "\n";
}

std::string OptionItem(const OptionSpec& option) {
    std::string item = ".TP\n\\fB\\-\\-" + Roff(option.name, true) + "\\fR";
    if (option.TakesValue()) {
        const std::string synopsis = option.Synopsis();
        item += " \\fI" + Roff(synopsis.substr(synopsis.find(' ') + 1), true) + "\\fR";
    }
    item += "\n" + Roff(option.meaning);
    if (!option.defaultValue.empty()) item += " (default: " + Roff(option.defaultValue) + ")";
    item += option.shown == OptionPlace::Required ? "; required.\n" : ".\n";
    return item;
}

// The words of a bash list, each quoted.
std::string Words(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& word : words) {
        if (!out.empty()) out += ' ';
        out += word;
    }
    return out;
}

std::string KindName(ValueKind kind) {
    switch (kind) {
        case ValueKind::Folder: return "folder";
        case ValueKind::File:
        case ValueKind::Path: return "path";
        case ValueKind::SerialPort: return "port";
        case ValueKind::Text:
        case ValueKind::Choice:
        case ValueKind::CanInterface: break;
    }
    return "none";
}

// The helpers and the start of the completion function, up to the list of
// commands.
constexpr const char* kCompletionHead =
    "# bash completion for vestrel-cli. Made by the build from the command table\n"
    "# of vestrel-cli, like its --help and its manual page.\n"
    "\n"
    "_vestrel_cli_words() {\n"
    "    mapfile -t COMPREPLY < <(compgen -W \"$*\" -- \"$cur\")\n"
    "    # Bash splits a word at a colon: offer what follows the last one typed.\n"
    "    if [[ $cur == *:* && $COMP_WORDBREAKS == *:* ]]; then\n"
    "        local i colon=${cur%\"${cur##*:}\"}\n"
    "        for i in \"${!COMPREPLY[@]}\"; do COMPREPLY[i]=${COMPREPLY[i]#\"$colon\"}; done\n"
    "    fi\n"
    "}\n"
    "\n"
    "_vestrel_cli_kind() {\n"
    "    case $1 in\n"
    "        folder) mapfile -t COMPREPLY < <(compgen -d -- \"$cur\") ;;\n"
    "        path) mapfile -t COMPREPLY < <(compgen -f -- \"$cur\") ;;\n"
    "        port) mapfile -t COMPREPLY < <(compgen -G '/dev/ttyUSB*'; compgen -G '/dev/ttyACM*'\n"
    "                  compgen -G '/dev/ttyS*'; compgen -G '/dev/pts/[0-9]*')\n"
    "              mapfile -t COMPREPLY < <(compgen -W \"${COMPREPLY[*]}\" -- \"$cur\"; compgen -f -- \"$cur\") ;;\n"
    "        *) COMPREPLY=() ;;\n"
    "    esac\n"
    "    [[ $1 == none ]] || compopt -o filenames 2>/dev/null\n"
    "    return 0\n"
    "}\n"
    "\n"
    "_vestrel_cli() {\n"
    "    local cur prev cword words=(\"${COMP_WORDS[@]}\")\n"
    "    cword=$COMP_CWORD\n"
    "    # The words as typed, a colon kept inside its word (PLUGIN:IFACE).\n"
    "    if [[ -n ${COMP_LINE-} ]]; then\n"
    "        local line=${COMP_LINE:0:${COMP_POINT:-${#COMP_LINE}}}\n"
    "        read -ra words <<< \"$line\"\n"
    "        [[ $line == *[[:space:]] || ${#words[@]} -eq 0 ]] && words+=(\"\")\n"
    "        cword=$(( ${#words[@]} - 1 ))\n"
    "    fi\n"
    "    cur=${words[cword]-}\n"
    "    prev=\n"
    "    (( cword > 0 )) && prev=${words[cword-1]}\n"
    "    # --name=VALUE: bash completes what follows the equals sign.\n"
    "    if [[ $cur == --*=* ]]; then\n"
    "        prev=${cur%%=*}\n"
    "        cur=${cur#*=}\n"
    "    fi\n"
    "    COMPREPLY=()\n"
    "    if (( cword <= 1 )); then\n"
    "        _vestrel_cli_words ";

// From the command to the options of each command.
constexpr const char* kCompletionCommands =
    "\n"
    "        return 0\n"
    "    fi\n"
    "    local command=${words[1]} options valued operands\n"
    "    case $command in\n";

// From the options to the values each takes.
constexpr const char* kCompletionValues =
    "        *) return 0 ;;\n"
    "    esac\n"
    "    if [[ -n $prev && \" $valued \" == *\" $prev \"* ]]; then\n"
    "        case \"$command $prev\" in\n";

// The operands, and the binding.
constexpr const char* kCompletionTail =
    "        esac\n"
    "        return 0\n"
    "    fi\n"
    "    if [[ $cur == -* ]]; then\n"
    "        _vestrel_cli_words $options\n"
    "        return 0\n"
    "    fi\n"
    "    # Which operand this is: the words before it less the options and their values.\n"
    "    local i word n=0 ended=\n"
    "    for (( i = 2; i < cword; i++ )); do\n"
    "        word=${words[i]}\n"
    "        if [[ -z $ended && $word == -- ]]; then ended=1; continue; fi\n"
    "        if [[ -z $ended && $word == --* ]]; then\n"
    "            [[ $word != *=* && \" $valued \" == *\" $word \"* ]] && (( i++ ))\n"
    "            continue\n"
    "        fi\n"
    "        (( n++ ))\n"
    "    done\n"
    "    local kinds\n"
    "    read -ra kinds <<< \"$operands\"\n"
    "    (( ${#kinds[@]} == 0 )) && return 0\n"
    "    (( n >= ${#kinds[@]} )) && n=$(( ${#kinds[@]} - 1 ))\n"
    "    _vestrel_cli_kind \"${kinds[n]}\"\n"
    "}\n"
    "\n"
    "complete -F _vestrel_cli vestrel-cli\n";

}  // namespace

std::string CliManPage(bool withBench) {
    std::ostringstream page;
    page << Header("vestrel-cli - build, merge, check and inspect gateway configurations without a window",
                   "VESTREL-CLI")
         << ".SH SYNOPSIS\n.nh\n.ad l\n";
    for (const CommandSpec& command : CliCommands()) {
        if (command.bench && !withBench) continue;
        page << ".PP\n\\fBvestrel\\-cli\\fR " << Roff(command.Synopsis(), true) << "\n";
    }
    page << ".PP\n\\fBvestrel\\-cli\\fR \\-\\-help | \\-\\-version | \\fICOMMAND\\fR \\-\\-help\n"
         << ".ad\n.hy\n.SH DESCRIPTION\n"
            "vestrel\\-cli does what the desktop application vestrel(1) does with a gateway's\n"
            "project, without any window: it checks and compiles a project into the\n"
            "configuration banks, merges them into the device's S-record image, reads\n"
            "banks back, shows what the gateway does with CAN frames and logs, maps the\n"
            "signals of CAN databases into a project";
    page << (withBench ? ", and checks or simulates a gateway on the bench" : "") << ".\n";
    page << ".SH COMMANDS\n";
    for (const CommandSpec& command : CliCommands()) {
        if (command.bench && !withBench) continue;
        page << ".SS " << command.name << "\n"
             << ".nh\n.ad l\n\\fBvestrel\\-cli\\fR " << Roff(command.Synopsis(), true) << "\n.ad\n.hy\n.PP\n"
             << Roff(command.description);
        if (!command.options.empty()) page << ".PP\nOptions:\n";
        for (const OptionSpec& option : command.options) page << OptionItem(option);
    }
    for (const SectionSpec& section : CliSections()) {
        if (section.bench && !withBench) continue;
        page << ".SH \"" << section.title << "\"\n" << Roff(section.text);
    }
    page << ".SH \"SEE ALSO\"\n.BR vestrel (1)\n";
    return page.str();
}

std::string ApplicationManPage() {
    const ApplicationSpec& app = DesktopApplication();
    std::ostringstream page;
    page << Header(app.name + " - " + app.summary, "VESTREL") << ".SH SYNOPSIS\n.B " << app.name << "\n"
         << ".SH DESCRIPTION\n"
         << Roff(app.description) << ".SH FILES\n"
         << Roff(app.files) << ".SH \"SEE ALSO\"\n.BR vestrel\\-cli (1)\n";
    return page.str();
}

std::string CliCompletion(bool withBench) {
    std::vector<std::string> names;
    std::ostringstream commands, values;
    for (const CommandSpec& command : CliCommands()) {
        if (command.bench && !withBench) continue;
        names.push_back(command.name);
        std::vector<std::string> options, valued, operands;
        for (const OptionSpec& option : command.options) {
            options.push_back("--" + option.name);
            if (!option.TakesValue()) continue;
            valued.push_back("--" + option.name);
            const std::string pattern = "\"" + command.name + " --" + option.name + "\")";
            if (!option.choices.empty())
                values << "        " << pattern << " _vestrel_cli_words " << Words(option.choices) << " ;;\n";
            else if (!option.examples.empty())
                values << "        " << pattern << " _vestrel_cli_words " << Words(option.examples) << " ;;\n";
            else
                values << "        " << pattern << " _vestrel_cli_kind " << KindName(option.kind) << " ;;\n";
        }
        for (ValueKind kind : command.operands) operands.push_back(KindName(kind));
        commands << "        " << command.name << ") options=\"" << Words(options) << "\" valued=\"" << Words(valued)
                 << "\" operands=\"" << Words(operands) << "\" ;;\n";
    }
    names.push_back("--help");
    names.push_back("--version");

    return kCompletionHead + Words(names) + kCompletionCommands + commands.str() + kCompletionValues + values.str() +
           kCompletionTail;
}

}  // namespace vestrel
