#include "cli/arguments.h"
#include "cli/cli.h"
#include "cli/cli_docs.h"
#include "cli/command_table.h"

#include "support/temp_dir.h"

#include <array>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::TempDir;
using test::WriteFile;

#ifdef VESTREL_CLI_BENCH
constexpr bool kWithBench = true;
#else
constexpr bool kWithBench = false;
#endif

struct ShellRun {
    int status;
    std::string out;
};

// Runs a shell command line; its stdout and stderr together.
ShellRun Shell(const std::string& command) {
    ShellRun run{-1, {}};
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buffer;
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) run.out.append(buffer.data(), n);
    run.status = ::pclose(pipe);
    return run;
}

// The completion's line that lists a command's options.
std::string CompletionOptions(const std::string& script, const std::string& command) {
    const std::size_t at = script.find("        " + command + ") options=\"");
    if (at == std::string::npos) return {};
    const std::size_t begin = script.find('"', at) + 1;
    return " " + script.substr(begin, script.find('"', begin) - begin) + " ";
}

// Each option each command declares is what its parser takes, and what
// --help, the manual page and the completion name; nothing else is taken.
TEST(CommandTable, EveryDeclaredOptionIsParsedAndDocumented) {
    const std::string help = CliUsage(kWithBench);
    const std::string manual = CliManPage(kWithBench);
    const std::string completion = CliCompletion(kWithBench);
    for (const CommandSpec& command : CliCommands()) {
        if (command.bench && !kWithBench) {
            EXPECT_EQ(help.find("vestrel-cli " + command.name + " "), std::string::npos) << command.name;
            EXPECT_EQ(completion.find(" " + command.name + ") "), std::string::npos) << command.name;
            continue;
        }
        SCOPED_TRACE(command.name);
        // Its synopsis line: the name, then its operands and options, if any.
        const std::string shown =
            "  vestrel-cli " + command.name + (command.forms.empty() && command.options.empty() ? "\n" : " ");
        // The command is dispatched, and refuses what it does not declare.
        std::ostringstream out, err;
        EXPECT_EQ(RunCli({command.name, "--no-such-option"}, out, err, false), kExitUsage);
        EXPECT_EQ(err.str().rfind("vestrel-cli: unknown option '--no-such-option'\n", 0), 0u) << err.str();
        // Its own --help, and "help COMMAND", show it with every option it takes.
        for (const std::vector<std::string>& asked : {std::vector<std::string>{command.name, "--help"},
                                                      std::vector<std::string>{"help", command.name}}) {
            std::ostringstream own, none;
            EXPECT_EQ(RunCli(asked, own, none, false), kExitOk);
            EXPECT_EQ(own.str().rfind("Usage:\n" + shown, 0), 0u) << own.str();
            EXPECT_EQ(own.str().find("  vestrel-cli " + std::string(command.name == "build" ? "update" : "build")),
                      std::string::npos);
            for (const OptionSpec& option : command.options)
                EXPECT_NE(own.str().find("--" + option.name), std::string::npos) << option.name;
            EXPECT_EQ(none.str(), "");
        }
        EXPECT_NE(help.find(shown), std::string::npos);
        const std::string listed = CompletionOptions(completion, command.name);
        const std::size_t section = manual.find(".SS " + command.name + "\n");
        ASSERT_NE(section, std::string::npos);
        const std::string described = manual.substr(section, manual.find("\n.S", section + 1) - section);
        for (const OptionSpec& option : command.options) {
            SCOPED_TRACE(option.name);
            std::vector<std::string> args{"--" + option.name};
            if (option.TakesValue()) args.push_back(option.choices.empty() ? "1" : option.choices.back());
            const Arguments parsed(args, command);
            EXPECT_TRUE(parsed.Has(option.name));
            EXPECT_TRUE(parsed.Operands().empty());
            if (option.TakesValue()) {
                EXPECT_EQ(parsed.Value(option.name), args.back());
                EXPECT_FALSE(option.needs.empty());
            }
            const Arguments absent({}, command);
            EXPECT_EQ(absent.Value(option.name).value_or(""), option.defaultValue);

            EXPECT_NE(help.find(option.shown == OptionPlace::Grouped ? "--" + option.name : option.Synopsis()),
                      std::string::npos);
            std::string roffName = option.name;
            for (std::size_t at = 0; (at = roffName.find('-', at)) != std::string::npos; at += 2)
                roffName.replace(at, 1, "\\-");
            EXPECT_NE(described.find("\\fB\\-\\-" + roffName + "\\fR"), std::string::npos);
            EXPECT_NE(listed.find(" --" + option.name + " "), std::string::npos) << listed;
            EXPECT_FALSE(option.meaning.empty());
        }
        const Arguments none({}, command);
        EXPECT_THROW((void)none.Has("no-such-option"), std::logic_error);
    }
}

TEST(CommandTable, ManualPagesRenderWithoutWarnings) {
    if (Shell("command -v groff").status != 0) GTEST_SKIP() << "groff is not installed (Debian: groff-base)";
    TempDir dir;
    for (const auto& [name, page] : {std::pair{"vestrel.1", ApplicationManPage()},
                                     std::pair{"vestrel-cli.1", CliManPage(kWithBench)}}) {
        WriteFile(dir / name, page);
        const ShellRun run = Shell("groff -man -ww -z '" + (dir / name).string() + "'");
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_EQ(run.out, "") << name;
    }
}

// The completion driven as bash drives it: the words so far, the function,
// the replies.
TEST(CommandTable, CompletionOffersCommandsOptionsValuesAndOperands) {
    TempDir dir;
    WriteFile(dir / "completion", CliCompletion(kWithBench));
    std::filesystem::create_directories(dir / "cwd" / "project");
    WriteFile(dir / "cwd" / "notes.txt", "");
    ASSERT_EQ(Shell("bash -n '" + (dir / "completion").string() + "'").status, 0);

    const struct {
        std::string line;  // up to the cursor
        std::string replies;
        bool bench;
    } kCases[] = {
        {"vestrel-cli rep", "replay report", false},
        {"vestrel-cli report x --format ", "csv html md", false},
        {"vestrel-cli report x --format c", "csv", false},
        {"vestrel-cli report x --format=m", "md", false},
        {"vestrel-cli signals x --word-order l", "low-first", false},
        {"vestrel-cli import-signals project --n", "--no-wait --node --node-cob-ids", false},
        {"vestrel-cli build ", "project", false},
        {"vestrel-cli import-signals --node 3 project ", "notes.txt project", false},
        {"vestrel-cli merge --banks 1 base ", "project", false},
        {"vestrel-cli signals x --node ", "", false},
        {"vestrel-cli verify x --can socketcan:c", "can0 can1", true},
        {"vestrel-cli simulate x --can virtualcan:", "can0 can1 tcp://127.0.0.1:", true},
    };
    for (const auto& c : kCases) {
        if (c.bench && !kWithBench) continue;
        std::vector<std::string> words;
        std::istringstream in(c.line);
        for (std::string word; in >> word;) words.push_back(word);
        if (c.line.back() == ' ') words.emplace_back();
        std::string driver = ". '" + (dir / "completion").string() + "'\ncd '" + (dir / "cwd").string() +
                             "'\nCOMP_WORDS=(";
        for (const std::string& word : words) driver += " '" + word + "'";
        driver += " )\nCOMP_CWORD=" + std::to_string(words.size() - 1) + "\n";
        // Bash splits a word at a colon (PLUGIN:IFACE) or an equals sign, and
        // the function then reads the line as typed, which bash gives it too.
        if (c.line.find_first_of(":=") != std::string::npos)
            driver += "COMP_LINE='" + c.line + "'\nCOMP_POINT=" + std::to_string(c.line.size()) + "\n";
        driver += "_vestrel_cli\nprintf '%s\\n' \"${COMPREPLY[@]}\" | sort | paste -sd' '\n";
        WriteFile(dir / "driver", driver);
        const ShellRun run = Shell("bash '" + (dir / "driver").string() + "'");
        EXPECT_EQ(run.out, c.replies + "\n") << c.line;
        EXPECT_EQ(run.status, 0) << c.line;
    }
}

}  // namespace
}  // namespace vestrel
