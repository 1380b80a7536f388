// vestrel-cli send, play and stimulate on virtualcan, heard by an interface
// of the test; stimulate with the simulated gateway and verify.
#include "cli/cli.h"
#include "can/can_log_reader.h"
#include "gateway/model_loading.h"
#include "live/bench_rig.h"
#include "live/live_test_support.h"

#include <csignal>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using namespace live::test;

const std::string kDemo = VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo";

struct Result {
    int status = -1;
    std::string out;
    std::string err;
    std::uint64_t sent = 0;  // frames the seam saw go out
};

// Runs a command in this process. Once its interface is open, waits until
// it has joined the relay; with `stopAfter`, raises SIGINT at that frame.
Result RunSend(std::vector<std::string> args, std::uint64_t stopAfter = 0) {
    std::ostringstream out, err;
    Result r;
    const int joined = RelayLog::Joined();
    CliContext cli{out, err, false, {}, {}, [&](live::SendStep step) {
                       if (step == live::SendStep::Open) {
                           EXPECT_TRUE(WaitForJoined(joined + 1)) << "the interface has not joined";
                       } else if (++r.sent == stopAfter) {
                           std::raise(SIGINT);
                       }
                   }};
    r.status = RunCli(args, cli);
    r.out = out.str();
    r.err = err.str();
    return r;
}

// The frames of a log as the reader gives them, error frames left out.
std::vector<std::string> LogFrames(const std::filesystem::path& log, const std::string& channel = {}) {
    can::CanLogReader reader(log);
    can::LogFrame frame;
    can::BrokenLine broken;
    std::vector<std::string> frames;
    for (auto step = reader.Next(frame, broken); step != can::CanLogReader::Step::End;
         step = reader.Next(frame, broken))
        if (step == can::CanLogReader::Step::Frame && !frame.frame.error &&
            (channel.empty() || frame.channel == channel))
            frames.push_back(can::CompactFrameText(frame.frame));
    return frames;
}

class SendCommands : public ::testing::Test {
protected:
    SendCommands() {
        std::ofstream out(log);
        // Standard and extended ids, remote requests, empty and CAN FD frames,
        // an error frame, two channels.
        for (int i = 0; i < 300; ++i) {
            char line[96];
            std::snprintf(line, sizeof line, "(1700000000.%06d) can%d %03X#%02X%02X\n", i * 100, i % 2, 0x100 + i,
                          i & 0xFF, (i * 7) & 0xFF);
            out << line;
            if (i % 50 == 0) out << "(1700000000.100000) can0 1ABCDE" << i % 10 << "0#R\n";
            if (i % 75 == 0) out << "(1700000000.100000) can0 20000004#0000000000000000\n";
            if (i % 90 == 0) out << "(1700000000.100000) can1 181##1112233\n(1700000000.100000) can1 7FF#\n";
        }
    }

    TestBus receiver;  // opened first: the relay runs in this process
    vestrel::test::TempDir dir;
    std::filesystem::path log = dir / "bus.log";
};

TEST_F(SendCommands, PlaySendsTheLogFrameForFrameInOrder) {
    struct Case {
        std::vector<std::string> options;
        std::vector<std::string> expected;
    };
    const std::vector<std::string> all = LogFrames(log);
    std::vector<std::string> only;
    for (const std::string& f : all)
        if (f.rfind("181#", 0) == 0 || f.rfind("1ABCDE", 0) == 0) only.push_back(f);
    const std::vector<Case> cases = {
        {{"--speed", "0"}, all},
        {{"--speed", "0", "--channel", "can1"}, LogFrames(log, "can1")},
        {{"--speed", "0", "--only", "181:7FF,1ABCDE00:1FFFFF00"}, only},
        {{"--speed", "50"}, all},  // the log spans 30 ms
    };
    for (const Case& c : cases) {
        receiver.heard.clear();
        std::vector<std::string> args = {"play", log.string(), "--can", VirtualCan()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Result r = RunSend(args);
        ASSERT_EQ(r.status, kExitOk) << r.err;
        ASSERT_TRUE(WaitFor([&] { return receiver.heard.size() >= c.expected.size(); }))
            << receiver.heard.size() << " of " << c.expected.size();
        EXPECT_EQ(receiver.heard, c.expected) << c.options.back();
        if (c.options.size() == 2) {
            EXPECT_EQ(r.err, "vestrel-cli: not sent: 4 error frames\n");
        }
        EXPECT_NE(r.out.find("Sent " + std::to_string(c.expected.size()) + " frames; behind schedule at most "),
                  std::string::npos)
            << r.out;
    }
    // Looped until interrupted: the log again and again, in order.
    receiver.heard.clear();
    const Result looped = RunSend({"play", log.string(), "--can", VirtualCan(), "--speed", "0", "--loop"}, 700);
    ASSERT_EQ(looped.status, kExitOk) << looped.err;
    ASSERT_GE(looped.sent, 700u);
    ASSERT_TRUE(WaitFor([&] { return receiver.heard.size() >= looped.sent; }));
    for (std::size_t i = 0; i < receiver.heard.size(); ++i)
        ASSERT_EQ(receiver.heard[i], all[i % all.size()]) << i;
    EXPECT_NE(looped.out.find("Stopped by SIGINT: sent " + std::to_string(looped.sent) + " frames;"), std::string::npos)
        << looped.out;
}

TEST_F(SendCommands, SendPutsEveryFrameOutEveryPeriod) {
    const Result r = RunSend({"send", "--can", VirtualCan(), "181#11", "00000282#R2", "383#", "--every", "1", "--count", "4"});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.out.rfind("Sending 3 frames on " + VirtualCan() + " every 1 ms, 4 periods.\nSent 12 frames; behind "
                          "schedule at most ",
                          0),
              0u)
        << r.out;
    ASSERT_TRUE(WaitFor([&] { return receiver.heard.size() >= 12; }));
    std::vector<std::string> expected;
    for (int i = 0; i < 4; ++i) expected.insert(expected.end(), {"181#11", "00000282#R2", "383#"});
    EXPECT_EQ(receiver.heard, expected);

    const std::vector<std::pair<std::vector<std::string>, std::string>> usage = {
        {{"send", "--can", VirtualCan()}, "usage: vestrel-cli send ID#DATA... --can PLUGIN:IFACE"},
        {{"send", "--can", VirtualCan(), "181#1"}, "'181#1' is not a frame: the data are pairs of hex digits"},
        {{"send", "--can", VirtualCan(), "181#11", "--count", "3"}, "--count counts the periods of --every"},
        {{"send", "--can", VirtualCan(), "181#11", "--every", "0"}, "--every takes a whole number from 1 to"},
        {{"play", log.string(), "--can", VirtualCan(), "--speed", "-1"}, "--speed takes a number from 0.001 to 1000"},
        // Slower than the schedule can count: a microsecond of the log
        // would be years, or overflow into the whole log at once.
        {{"play", log.string(), "--can", VirtualCan(), "--speed", "1e-16"}, "--speed takes a number from 0.001 to 1000"},
        {{"play", log.string(), "--can", VirtualCan(), "--speed", "1e-11"}, "--speed takes a number from 0.001 to 1000"},
        {{"play", log.string(), "--can", VirtualCan(), "--only", "181"}, "a filter is ID:MASK or ID~MASK"},
        {{"stimulate", kDemo, "--can", VirtualCan(), "--pattern", "saw"}, "--pattern is count, ramp or random"},
    };
    for (const auto& [args, text] : usage) {
        std::ostringstream out, err;
        EXPECT_EQ(RunCli(args, out, err, false), kExitUsage) << text;
        EXPECT_NE(err.str().find(text), std::string::npos) << err.str();
    }
}

// An interface that its plugin would read its own way (another port, a name
// it does not look up) is refused with the reason by every command that
// sends, and a plugin that cannot serve here before Qt loads it: nothing is
// sent to a relay the user did not name, nothing hangs or crashes.
TEST_F(SendCommands, EveryCommandRefusesAnInterfaceItsPluginCannotServe) {
    const std::vector<std::pair<std::string, std::string>> interfaces = {
        {"virtualcan:tcp://127.0.0.1:99999/can0", "the relay's port is a number from 1 to 65535, not '99999'"},
        {"virtualcan:tcp://127.0.0.1:65536/can0", "the relay's port is a number from 1 to 65535, not '65536'"},
        {"virtualcan:tcp://localhost:40123/can0",
         "the relay's address is an IP address such as 127.0.0.1 (the plugin looks up no names), not 'localhost'"},
        {"virtualcan:udp://127.0.0.1:40123/can0", "the virtualcan relay is reached over tcp://"},
        {"passthrucan:can0", "the plugin passthrucan cannot serve here: "},
        {"passthrucan:/usr/lib/none.so", "the plugin passthrucan cannot serve here: "},
    };
    for (const auto& [can, why] : interfaces) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"send", "--can", can, "181#11"}, {"play", log.string(), "--can", can},
              {"stimulate", kDemo, "--can", can}}) {
            const Result r = RunSend(args);
            EXPECT_NE(r.status, kExitOk) << args[0] << " " << can;
            EXPECT_NE(r.err.find(can + ": " + why), std::string::npos) << args[0] << ": " << r.err;
            EXPECT_EQ(r.sent, 0u) << args[0] << " " << can;
        }
    }
    EXPECT_TRUE(receiver.heard.empty());
}

// The whole bench without hardware: stimulate's traffic feeds the simulated
// gateway, and verify finds it holding what the traffic says.
TEST_F(SendCommands, StimulateFeedsSimulateAndVerifyPasses) {
    PtyPair pty;
    const gateway::ProjectModel demo = DemoModel();
    SimulatedDevice device(demo.model, pty.A());
    QProcess stimulate;
    EndWithThisProcess(stimulate);
    stimulate.start(VESTREL_CLI_PATH, {"stimulate", QString::fromStdString(kDemo), "--can",
                                       QString::fromStdString(VirtualCan()), "--every", "20"});
    std::string out;
    const bool sending = WaitFor([&] {
        out += stimulate.readAllStandardOutput().toStdString();
        return device.Told("381#") || stimulate.state() == QProcess::NotRunning;
    });
    ASSERT_TRUE(sending && device.Told("381#")) << out << stimulate.readAllStandardError().toStdString();

    std::ostringstream verifyOut, verifyErr;
    const int status = RunCli({"verify", kDemo, "--can", VirtualCan(), "--modbus", pty.B(), "--frames", "3",
                               "--seconds", "600"},
                              verifyOut, verifyErr, false);
    EXPECT_EQ(status, kExitOk) << verifyOut.str() << verifyErr.str();
    EXPECT_NE(verifyOut.str().find("Summary: 7 OK, 0 MISMATCH, 0 ERROR, 0 NOT FED (not checked)\nPASS\n"),
              std::string::npos)
        << verifyOut.str();

    stimulate.terminate();
    ASSERT_TRUE(stimulate.waitForFinished(kGuardMs));
    out += stimulate.readAllStandardOutput().toStdString();
    EXPECT_EQ(stimulate.exitCode(), kExitOk) << stimulate.readAllStandardError().toStdString();
    EXPECT_EQ(out.rfind("Stimulating " + kDemo + " on " + VirtualCan() +
                            ": 3 receive frames every 20 ms, pattern count; each value held for 150 periods (3000 "
                            "ms, long enough for verify's read and its second read). Running until interrupted "
                            "(Ctrl+C).\n0.000 s: 181#0100020003000400 281#05000600 381#0700\n",
                        0),
              0u)
        << out;
    EXPECT_NE(out.find("Stopped by SIGTERM: sent "), std::string::npos) << out;
}

}  // namespace
}  // namespace vestrel
