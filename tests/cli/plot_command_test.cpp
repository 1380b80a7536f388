// vestrel-cli plot on the demo: the charts chosen go into the file its name
// asks for, the summary to stderr, and what cannot be drawn is refused with
// the reason before anything is written.
#include "cli/cli.h"

#include "support/cli_run.h"
#include "support/temp_dir.h"

#include <sstream>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ReadFile;
using test::TempDir;
namespace fs = std::filesystem;

using Result = test::CliRun;
using test::Cli;

const std::string kDemo = VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo";
const std::string kDemoLog = VESTREL_EXAMPLES_DIR "/demo-bus.log";

bool Holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(CliPlot, TheChosenChartsGoIntoThePageOrPicture) {
    const TempDir dir;
    const struct {
        std::string file;
        std::vector<std::string> options;
        std::vector<std::string> drawn, left;
        std::string done;
    } kCases[] = {
        {"all.html", {}, {">receive register 1<", ">receive register 20<", ">transmit register 101<", "<h2>The log</h2>"},
         {">transmit register 110<"},  // no frame of the log feeds it
         "9 charts over 0.600 s"},
        {"two.svg", {"--registers", "1,100", "--from", "0.1", "--to", "0.4"},
         {">receive register 1<", ">transmit register 100<"}, {">receive register 2<", "<h2>", "<html"},
         "2 charts over 0.300 s"},
        {"chosen.SVG", {"--registers", "110"}, {">transmit register 110<", ">no frame that feeds it came<"}, {},
         "1 chart over 0.600 s"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.file);
        std::vector<std::string> args{"plot", kDemo, kDemoLog, "--out", (dir / c.file).string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Result r = Cli(args);
        ASSERT_EQ(r.status, kExitOk) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(Holds(r.err, "Log: candump log file, 13 lines, 12 frames, 1 broken line, 0 error frames\n")) << r.err;
        EXPECT_TRUE(Holds(r.err, "Wrote " + (dir / c.file).string() + ": " + c.done +
                                     "; time axis: s from the log's first frame (2024-12-08 12:45:31.000000 UTC)"))
            << r.err;
        const std::string text = ReadFile(dir / c.file);
        for (const std::string& part : c.drawn) EXPECT_TRUE(Holds(text, part)) << part;
        for (const std::string& part : c.left) EXPECT_FALSE(Holds(text, part)) << part;
    }
}

TEST(CliPlot, WhatCannotBeDrawnIsRefusedAndNothingIsWritten) {
    const TempDir dir;
    test::WriteFile(dir / "empty.log", "");
    const struct {
        std::vector<std::string> options;
        int status;
        std::string message;
    } kCases[] = {
        {{"--out", "plot.png"}, kExitUsage, "--out needs a file name ending in .html or .svg, not '"},
        {{"--out", "plot.svg", "--from", "1,5"}, kExitUsage,
         "--from needs a number of seconds after the log's first frame, such as 1.5, not '1,5'"},
        {{"--out", "plot.svg", "--to", "-1"}, kExitUsage,
         "--to needs a number of seconds after the log's first frame, such as 1.5, not '-1'"},
        {{"--out", "plot.svg", "--from", "2", "--to", "1"}, kExitUsage, "--to must lie after --from"},
        {{"--out", "plot.svg", "--registers", "9"}, kExitFailed, "register 9 is mapped in neither direction"},
        {{"--out", "plot.svg", "--signals", "Torque"}, kExitFailed,
         "--signals needs a project with imported signals (signals.xml)"},
        {{"--out", "plot.svg", "--strict"}, kExitFailed, "(--strict: a broken line ends the plot)"},
        {{"--out", "plot.svg", "--channel", "can7"}, kExitFailed, "no CAN frame of channel can7 could be read from"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(::testing::PrintToString(c.options));
        std::vector<std::string> args{"plot", kDemo, kDemoLog};
        for (const std::string& option : c.options)
            args.push_back(option.starts_with("plot.") ? (dir / option).string() : option);
        const Result r = Cli(args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(Holds(r.err, c.message)) << r.err;
        EXPECT_FALSE(fs::exists(dir / "plot.svg"));
    }
    const Result empty = Cli({"plot", kDemo, (dir / "empty.log").string(), "--out", (dir / "plot.html").string()});
    EXPECT_EQ(empty.status, kExitFailed);
    EXPECT_FALSE(fs::exists(dir / "plot.html"));
}

}  // namespace
}  // namespace vestrel
