// vestrel-cli verify and simulate against the simulated gateway, on
// virtualcan and a socat pair of pseudo-terminals.
#include "cli/bench_support.h"
#include "cli/cli.h"
#include "gateway/model_loading.h"
#include "live/bench_rig.h"
#include "live/live_test_support.h"
#include "live/qt/modbus_client.h"
#include "support/temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <tuple>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using namespace live::test;
namespace fs = std::filesystem;

const std::string kDemo = VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo";

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs verify in this process; once it listens, `frames` go out on can0.
Result Verify(std::vector<std::string> args, const std::vector<std::string>& frames = {}) {
    std::ostringstream out, err;
    std::unique_ptr<TestBus> sender;
    const int joined = RelayLog::Joined();
    CliContext cli{out, err, false, {}, [&](live::VerifyStep step) {
                       if (step != live::VerifyStep::Listening || frames.empty()) return;
                       EXPECT_TRUE(WaitForJoined(joined + 1)) << "verify's interface has not joined";
                       sender = std::make_unique<TestBus>();
                       for (const std::string& f : frames) sender->Send(f);
                   },
                   {}};
    args.insert(args.begin(), "verify");
    const int status = RunCli(args, cli);
    return {status, out.str(), err.str()};
}

const std::vector<std::string> kFrames = {"181#1122334455667788", "281#A1B2C3D4"};

class BenchCommands : public ::testing::Test {
protected:
    std::vector<std::string> Args(std::vector<std::string> more = {}) {
        std::vector<std::string> args = {kDemo, "--can", VirtualCan(), "--modbus", pty.B()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    gateway::ProjectModel demo = DemoModel();
    PtyPair pty;
};

TEST_F(BenchCommands, VerifyPassesWhenTheDeviceHoldsWhatTheTrafficSays) {
    SimulatedDevice device(demo.model, pty.A());
    const Result r = Verify(Args({"--frames", "2", "--seconds", "600", "--write", "100=0x1234,101=5,110=7"}), kFrames);
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_EQ(r.err,
              "vestrel-cli: note: the project sets a data time-out of 10 s (register 100); the model and the "
              "simulator do not apply it, so read within that time of the frames\n");
    EXPECT_EQ(r.out,
              "Verify " + kDemo + " on the bench\n"
              "CAN: " + VirtualCan() + ", 250 kbit/s (the project's rate)\n"
              "Modbus RTU: " + pty.B() + ", 19200 bit/s, 8E1, device address 1, function 03, time-out 1000 ms\n"
              "Listened to the bus: 2 frames\n"
              "Receive registers, read with function 03; the project's register number (Index) is the protocol "
              "address of the request, as the gateway's firmware reads it:\n"
              "  register  address  expected  read    result\n"
              "         1        1  0x1122    0x1122  OK\n"
              "         2        2  0x3344    0x3344  OK\n"
              "         3        3  0x5566    0x5566  OK\n"
              "         4        4  0x7788    0x7788  OK\n"
              "        10       10  0xA1B2    0xA1B2  OK\n"
              "        11       11  0xC3D4    0xC3D4  OK\n"
              "        20       20  0x????    -       NOT FED: no frame has fed it, not checked\n"
              "Write 100=0x1234 101=0x0005 (write multiple registers (16) at protocol addresses 100-101): done\n"
              "  transmit frame 1 \"Speed set-point\" (COB-ID 0x201): expected 12 34 00 05 -- -- -- --, seen "
              "201#1234000500000000: OK\n"
              "Write 110=0x0007 (write single register (06) at protocol address 110): done\n"
              "  transmit frame 2 \"Control word\" (COB-ID 0x301): expected 00 07, seen 301#0007: OK\n"
              "Summary: 6 OK, 0 MISMATCH, 0 ERROR, 1 NOT FED (not checked); transmit frames: 2 OK, 0 not as "
              "expected\n"
              "PASS\n");
    // --strict counts the register no frame fed; function 04 reads the same table.
    const Result strict = Verify(Args({"--frames", "2", "--seconds", "600", "--strict", "--function", "4"}), kFrames);
    EXPECT_EQ(strict.status, kExitFailed);
    EXPECT_NE(strict.out.find("read with function 04"), std::string::npos);
    EXPECT_NE(strict.out.find("Summary: 6 OK, 0 MISMATCH, 0 ERROR, 1 NOT FED (counted as failures: --strict)\nFAIL\n"),
              std::string::npos)
        << strict.out;
}

TEST_F(BenchCommands, APortNamedWithoutAFolderIsTheFileHereWhenThereIsOne) {
    SimulatedDevice device(demo.model, pty.A());
    test::TempDir here;
    fs::create_symlink(pty.B(), here / "ttyB");
    const fs::path before = fs::current_path();
    fs::current_path(here.path());
    const Result r = Verify({kDemo, "--can", VirtualCan(), "--modbus", "ttyB", "--frames", "2", "--seconds", "600"},
                            kFrames);
    fs::current_path(before);
    EXPECT_EQ(r.status, kExitOk) << r.err << r.out;
    EXPECT_NE(r.out.find("Modbus RTU: ./ttyB, 19200 bit/s"), std::string::npos) << r.out;
    EXPECT_EQ(SerialPortPath("ttyS0"), "ttyS0") << "a bare name without a file here is a device under /dev";
    EXPECT_EQ(SerialPortPath("/tmp/ttyB"), "/tmp/ttyB");
}

// The gateway is CAN 2.0: a CAN FD frame on 0x181 feeds registers 1 to 4
// neither in verify's model nor in the simulated device.
TEST_F(BenchCommands, VerifyCountsCanFdFramesAsNotFed) {
    SimulatedDevice device(demo.model, pty.A());
    const Result r =
        Verify(Args({"--frames", "2", "--seconds", "600"}), {"181##01122334455667788AABBCCDD", "381#0004"});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.out.find("Listened to the bus: 2 frames; CAN FD, not fed: 1 frame\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("         1        1  0x????    -       NOT FED"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("        20       20  0x0004    0x0004  OK\n"), std::string::npos) << r.out;
    EXPECT_TRUE(device.Told("181##01122334455667788AABBCCDD: CAN FD, not fed"));
}

TEST_F(BenchCommands, VerifyFailsOnADeviceOnAnotherBus) {
    // The device hears another bus (can1), where register 4 got another value
    // and where its transmit frames go.
    SimulatedDevice device(demo.model, pty.A(), "can1");
    TestBus other("can1");
    other.Send("181#1122334455667799");
    ASSERT_TRUE(WaitFor([&] { return device.Told("181#1122334455667799"); }));
    const Result r = Verify(Args({"--frames", "2", "--seconds", "600", "--write", "110=7", "--frame-wait", "100"}),
                            kFrames);
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.out.find("         4        4  0x7788    0x7799  MISMATCH (read twice)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("         1        1  0x1122    0x1122  OK\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("        10       10  0xA1B2    0x0000  MISMATCH (read twice)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  transmit frame 2 \"Control word\" (COB-ID 0x301): expected 00 07: NOT SEEN within 100 ms\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Summary: 3 OK, 3 MISMATCH, 0 ERROR, 1 NOT FED (not checked); transmit frames: 0 OK, 1 not "
                         "as expected\nFAIL\n"),
              std::string::npos)
        << r.out;
}

TEST_F(BenchCommands, VerifyReportsADeviceThatDoesNotAnswerOrRefuses) {
    SimulatedDevice device(demo.model, pty.A());
    Result r = Verify(Args({"--frames", "2", "--seconds", "600", "--address", "9", "--timeout", "100"}), kFrames);
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.out.find("Modbus RTU: " + pty.B() + ", 19200 bit/s, 8E1, device address 9,"), std::string::npos);
    EXPECT_NE(r.out.find("         1        1  0x1122    -       ERROR: no answer from device 9 within 100 ms\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Summary: 0 OK, 0 MISMATCH, 6 ERROR, 1 NOT FED (not checked)\nFAIL\n"), std::string::npos)
        << r.out;

    // A receive register cannot be written: the device says so, and so does verify.
    r = Verify(Args({"--frames", "2", "--seconds", "600", "--write", "1=5"}), kFrames);
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.out.find("Write 1=0x0005 (write single register (06) at protocol address 1): ERROR: device 1 answered "
                         "exception 02 (illegal data address)\n"),
              std::string::npos)
        << r.out;

    // Taking the Index as a 1-based number reads one address lower: here it
    // finds registers the simulator does not serve.
    r = Verify(Args({"--frames", "2", "--seconds", "600", "--index-base", "1"}), kFrames);
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.out.find("         1        0  0x1122    -       ERROR: device 1 answered exception 02 (illegal data "
                         "address)\n"),
              std::string::npos)
        << r.out;
}

// A device that holds the right values but answers with one register more
// than asked, or gives every answer again in front of the next one: the
// registers of such answers are errors, and verify fails.
TEST_F(BenchCommands, VerifyFailsOnAnswersThatAreNotTheOnesAskedFor) {
    const std::map<int, quint16> held = {{1, 0x1122}, {2, 0x3344}, {3, 0x5566}, {4, 0x7788}, {10, 0xA1B2}, {11, 0xC3D4}};
    auto valueAt = [&](int address) { return held.count(address) ? held.at(address) : quint16(0); };
    QByteArray last;
    const std::vector<std::tuple<const char*, ScriptedSlave::Answer, std::string>> cases = {
        {"a register too many",
         [&](const QByteArray& r) { return ScriptedSlave::ReadAnswer(r, ScriptedSlave::Count(r) + 1, valueAt); },
         "         1        1  0x1122    -       ERROR: invalid answer from device 1: the answer holds 5 registers, 4 "
         "were asked for\n"},
        {"every answer twice",
         [&](const QByteArray& r) {
             const QByteArray again = last;
             last = ScriptedSlave::ReadAnswer(r, ScriptedSlave::Count(r), valueAt);
             return again + last;
         },
         "        10       10  0xA1B2    -       ERROR: invalid answer from device 1: the answer holds 4 registers, 2 "
         "were asked for\n"},
    };
    for (const auto& [name, answer, line] : cases) {
        ScriptedSlave slave(pty.A(), answer);
        const Result r = Verify(Args({"--frames", "2", "--seconds", "600"}), kFrames);
        EXPECT_EQ(r.status, kExitFailed) << name;
        EXPECT_NE(r.out.find(line), std::string::npos) << name << "\n" << r.out;
        EXPECT_EQ(r.out.substr(r.out.size() - 5), "FAIL\n") << name;
    }
}

TEST_F(BenchCommands, VerifyWithoutTrafficComparesNothingAndFails) {
    SimulatedDevice device(demo.model, pty.A());
    const Result r = Verify(Args({"--seconds", "0"}));
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_NE(r.out.find("Listened to the bus: 0 frames\n"), std::string::npos);
    EXPECT_NE(r.out.find("FAIL: nothing was compared; no frame on the bus fed a mapped register\n"), std::string::npos)
        << r.out;
}

TEST_F(BenchCommands, BadInputGetsAClearMessage) {
    SimulatedDevice device(demo.model, pty.A());  // holds A
    auto message = [](const Result& r) { return r.err.substr(r.err.rfind("vestrel-cli: ")); };

    Result r = Verify({kDemo, "--can", "socketcan:vestrelnone0", "--modbus", pty.B()});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_EQ(message(r).rfind("vestrel-cli: Cannot open CAN interface socketcan:vestrelnone0: ", 0), 0u) << r.err;
    r = Verify({kDemo, "--can", VirtualCan(), "--modbus", pty.A() + "-none"});
    EXPECT_EQ(message(r), "vestrel-cli: Cannot open serial port " + pty.A() + "-none: No such file or directory\n");
    r = Verify({kDemo, "--can", VirtualCan(), "--modbus", pty.A()});
    EXPECT_EQ(message(r).rfind("vestrel-cli: Cannot open serial port " + pty.A() +
                                   ": it is in use by another program (",
                               0),
              0u)
        << r.err;

    TempDir project;
    WriteProject(project.path(), "0", {{"0x18FF0001", 8}}, {{1, 1, 0x12}});
    r = Verify({project.path().string(), "--can", VirtualCan(), "--modbus", pty.B()});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_EQ(message(r),
              "vestrel-cli: RCobDef.xml: row 1: The CobID 0x18FF0001 is outside 0 to 2047, the range of CAN 2.0A\n");
    EXPECT_EQ(r.out, "");

    const std::vector<std::pair<std::vector<std::string>, std::string>> usage = {
        {{kDemo, "--modbus", pty.B()}, "usage: vestrel-cli verify SOURCE --can PLUGIN:IFACE --modbus PORT"},
        {{kDemo, "--can", "can0", "--modbus", pty.B()}, "a CAN interface is PLUGIN:INTERFACE"},
        {{kDemo, "--can", "virtualcan:tcp://127.0.0.1:99999/can0", "--modbus", pty.B()},
         "CAN interface virtualcan:tcp://127.0.0.1:99999/can0: the relay's port is a number from 1 to 65535, not "
         "'99999'"},
        {{kDemo, "--can", VirtualCan(), "--modbus", pty.B(), "--function", "6"},
         "--function takes a whole number from 3 to 4, not '6'"},
        {{kDemo, "--can", VirtualCan(), "--modbus", pty.B(), "--serial", "19200"}, "serial settings are RATE,8N1"},
        {{kDemo, "--can", VirtualCan(), "--modbus", pty.B(), "--index-base", "2"}, "--index-base takes a whole number"},
        {{kDemo, "--can", VirtualCan(), "--modbus", pty.B(), "--write", "100"}, "register values are REG=VALUE pairs"},
    };
    for (const auto& [args, text] : usage) {
        r = Verify(args);
        EXPECT_EQ(r.status, kExitUsage) << text;
        EXPECT_EQ(r.err.rfind("vestrel-cli: " + text, 0), 0u) << r.err;
    }

    // A plugin that cannot serve here is refused before Qt loads it, by
    // verify and simulate alike, and simulate refuses what its plugin would
    // read its own way.
    r = Verify({kDemo, "--can", "passthrucan:can0", "--modbus", pty.B()});
    EXPECT_EQ(r.status, kExitFailed);
    EXPECT_EQ(message(r).rfind("vestrel-cli: Cannot open CAN interface passthrucan:can0: the plugin passthrucan "
                               "cannot serve here: ",
                               0),
              0u)
        << r.err;
    for (const char* can : {"passthrucan:can0", "virtualcan:tcp://127.0.0.1:0/can0"}) {
        std::ostringstream out, err;
        CliContext cli{out, err, false, {}, {}, {}};
        const int status = RunCli({"simulate", kDemo, "--can", can, "--modbus", pty.B(), "--seconds", "1"}, cli);
        EXPECT_NE(status, kExitOk) << can;
        EXPECT_NE(err.str().find(std::string(can) + ": the "), std::string::npos) << err.str();
    }

    // A run longer than a timer holds is refused, not ended at once by an
    // overflowed time.
    std::ostringstream out, err;
    CliContext cli{out, err, false, {}, {}, {}};
    EXPECT_EQ(RunCli({"simulate", kDemo, "--can", VirtualCan(), "--modbus", pty.B(), "--seconds", "2147484"}, cli),
              kExitUsage);
    EXPECT_EQ(err.str(),
              "vestrel-cli: --seconds takes a whole number from 1 to 2147483, not '2147484'\n"
              "Try 'vestrel-cli --help'.\n");
}

// simulate as the engineer runs it: a process that ends on SIGTERM.
TEST_F(BenchCommands, SimulateServesTheMappingUntilItIsStopped) {
    TestBus bus;  // the relay runs in this process, so that its log tells who joined
    QProcess simulate;
    EndWithThisProcess(simulate);
    simulate.start(VESTREL_CLI_PATH, {"simulate", QString::fromStdString(kDemo), "--can",
                                      QString::fromStdString(VirtualCan()), "--modbus", QString::fromStdString(pty.A())});
    std::string out;
    auto told = [&](const std::string& text) {
        return WaitFor([&] {
            out += simulate.readAllStandardOutput().toStdString();
            return out.find(text) != std::string::npos || simulate.state() == QProcess::NotRunning;
        }) && out.find(text) != std::string::npos;
    };
    const int joined = RelayLog::Joined();
    ASSERT_TRUE(told("Running until interrupted (Ctrl+C).\n")) << out << simulate.readAllStandardError().toStdString();
    EXPECT_EQ(out.rfind("This is a simulated gateway, not the device: it models the project's register mapping "
                        "only, which is all the project defines.\n",
                        0),
              0u)
        << out;
    EXPECT_NE(out.find("Modbus RTU slave 1 on " + pty.A() + ", 19200 bit/s, 8E1; CAN: " + VirtualCan() +
                       ", 250 kbit/s\n"),
              std::string::npos)
        << out;
    ASSERT_TRUE(WaitForJoined(joined + 1));

    bus.Send("181#1122334455667788");
    ASSERT_TRUE(told("181#1122334455667788: register 1 = 0x1122, register 2 = 0x3344, register 3 = 0x5566, "
                     "register 4 = 0x7788\n"))
        << out;
    live::ModbusClient client;
    ASSERT_TRUE(client.Open(pty.B(), SimulatedDevice::kSerial));
    std::optional<live::RequestOutcome> read;
    client.Read(live::ReadFunction::InputRegisters, {1, 4}, &client, [&](const live::RequestOutcome& o) { read = o; });
    ASSERT_TRUE(WaitFor([&] { return read.has_value(); }));
    ASSERT_TRUE(read->values) << read->values.Why();
    EXPECT_EQ(*read->values, (std::vector<std::uint16_t>{0x1122, 0x3344, 0x5566, 0x7788}));
    std::optional<live::RequestOutcome> written;
    client.Write(live::WriteFunction::SingleRegister, 110, {7}, &client, [&](const live::RequestOutcome& o) { written = o; });
    ASSERT_TRUE(WaitFor([&] { return bus.Heard("301#0007"); }));
    ASSERT_TRUE(told("write register 110 = 0x0007: sent 301#0007\n")) << out;

    simulate.terminate();
    ASSERT_TRUE(simulate.waitForFinished(kGuardMs));
    out += simulate.readAllStandardOutput().toStdString();
    EXPECT_EQ(simulate.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(simulate.exitCode(), kExitOk) << simulate.readAllStandardError().toStdString();
    EXPECT_NE(out.find("Stopped by SIGTERM: 1 frame changed registers, 1 write.\n"), std::string::npos) << out;
}

TEST_F(BenchCommands, SimulateNamesAnInterfaceOrPortThatDoesNotOpen) {
    std::ostringstream out, err;
    int status = RunCli({"simulate", kDemo, "--can", "nosuchplugin:can0", "--modbus", pty.A()}, out, err, false);
    EXPECT_EQ(status, kExitFailed);
    EXPECT_NE(err.str().find("vestrel-cli: Cannot open CAN interface nosuchplugin:can0: No such plugin: "
                             "'nosuchplugin' (plugins found: "),
              std::string::npos)
        << err.str();
    EXPECT_EQ(out.str(), "");
    std::ostringstream out2, err2;
    status = RunCli({"simulate", kDemo, "--can", VirtualCan(), "--modbus", "/dev/vestrel-none"}, out2, err2, false);
    EXPECT_EQ(status, kExitFailed);
    EXPECT_NE(err2.str().find("vestrel-cli: Cannot open serial port /dev/vestrel-none: No such file or directory\n"),
              std::string::npos)
        << err2.str();
    // The relay joins a channel it does not have to can0 without a word.
    std::ostringstream out3, err3;
    status = RunCli({"simulate", kDemo, "--can", "virtualcan:can7", "--modbus", pty.A()}, out3, err3, false);
    EXPECT_EQ(status, kExitFailed);
    EXPECT_NE(err3.str().find("vestrel-cli: Cannot open CAN interface virtualcan:can7: the virtualcan relay has the "
                              "channels can0, can1, not 'can7'\n"),
              std::string::npos)
        << err3.str();
}

// A port this user may not open: root runs vestrel-cli as "nobody".
TEST_F(BenchCommands, APortWithoutPermissionIsNamedWithTheReason) {
    ::chmod(fs::path(pty.A()).parent_path().c_str(), 0755);
    const std::string device = fs::canonical(pty.A()).string();
    ASSERT_EQ(::chmod(device.c_str(), ::geteuid() == 0 ? 0600 : 0000), 0);
    QProcess verify;
    EndWithThisProcess(verify);
    QStringList args = {"verify", QString::fromStdString(kDemo), "--can", "virtualcan:can0", "--modbus",
                        QString::fromStdString(pty.A())};
    if (::geteuid() == 0) {
        args.prepend(VESTREL_CLI_PATH);
        args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + args;
        verify.start("setpriv", args);
    } else {
        verify.start(VESTREL_CLI_PATH, args);
    }
    ASSERT_TRUE(verify.waitForFinished(kGuardMs));
    const std::string err = verify.readAllStandardError().toStdString();
    EXPECT_EQ(verify.exitCode(), kExitFailed) << err;
    EXPECT_NE(err.find("vestrel-cli: Cannot open serial port " + pty.A() + ": Permission denied\n"), std::string::npos)
        << err;
}

}  // namespace
}  // namespace vestrel
