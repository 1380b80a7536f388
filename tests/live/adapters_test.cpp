// The Qt SerialBus adapters end to end: virtualcan for the bus, a socat pair
// of pseudo-terminals for the serial line, the simulated gateway as slave.
#include "bench_rig.h"
#include "gateway/model_loading.h"
#include "gateway/model_wording.h"
#include "gateway/register_table.h"
#include "live/qt/bench_session.h"
#include "live/qt/check_runs.h"
#include "live/qt/modbus_client.h"
#include "live/qt/simulator.h"
#include "live_test_support.h"

#include <QCanBusFrame>
#include <QSerialPort>
#include <QTimer>

#include <gtest/gtest.h>

namespace vestrel::live {
namespace {

using namespace test;

// One request through the client, waited for.
RequestOutcome Request(const std::function<void(ModbusClient::Done)>& send) {
    std::optional<RequestOutcome> outcome;
    send([&](const RequestOutcome& o) { outcome = o; });
    EXPECT_TRUE(WaitFor([&] { return outcome.has_value(); }));
    return outcome.value_or(RequestOutcome{});
}

RequestOutcome ReadRegisters(ModbusClient& client, ReadFunction function, std::uint16_t start, int count) {
    return Request([&](ModbusClient::Done done) { client.Read(function, {start, count}, &client, done); });
}

RequestOutcome WriteRegisters(ModbusClient& client, WriteFunction function, std::uint16_t start,
                              const std::vector<std::uint16_t>& values) {
    return Request([&](ModbusClient::Done done) { client.Write(function, start, values, &client, done); });
}

TEST(CanBusAdapter, FramesTravelBetweenInterfacesUnchanged) {
    TestBus a, b;
    // CAN FD frames keep their length beyond 8 bytes and their flags.
    for (const char* text : {"181#1122334455667788", "7FF#", "18FF0001#AABB", "281#R", "00000123#01",
                             "181##1112233445566778899AABBCC", "12345678##3AA", "182##0"}) {
        a.Send(text);
        EXPECT_TRUE(WaitFor([&] { return b.Heard(text); })) << text;
    }
    b.Send("301#0007");
    EXPECT_TRUE(WaitFor([&] { return a.Heard("301#0007"); }));
    TestBus other("can1");  // another channel of the relay is another bus
    other.Send("555#01");
    a.Send("556#02");
    EXPECT_TRUE(WaitFor([&] { return b.Heard("556#02"); }));
    EXPECT_FALSE(b.Heard("555#01"));

    const Result<can::CanFrame> parsed = can::ParseCompactFrame("12345678#R3");
    ASSERT_TRUE(parsed);
    const can::CanFrame frame = *parsed;
    const QCanBusFrame qt = ToQtFrame(frame);
    EXPECT_TRUE(qt.hasExtendedFrameFormat());
    EXPECT_EQ(qt.frameType(), QCanBusFrame::RemoteRequestFrame);
    EXPECT_EQ(FromQtFrame(qt), frame);
}

TEST(CanBusAdapter, AnInterfaceThatCannotOpenSaysWhichAndWhy) {
    for (const CanEndpoint& endpoint : {CanEndpoint{"nosuchplugin", "can0"},
                                         CanEndpoint{"socketcan", "vestrelnone0"}, VirtualCanEndpoint("can7"),
                                         CanEndpoint{"virtualcan", "can2"}}) {
        CanBus bus;
        std::string failure;
        QObject::connect(&bus, &CanBus::failed, [&](const QString& m) { failure = m.toStdString(); });
        bus.Open(endpoint, 250000);
        ASSERT_TRUE(WaitFor([&] { return !failure.empty(); }));
        EXPECT_FALSE(bus.IsOpen());
        const std::string prefix = "Cannot open CAN interface " + endpoint.Text() + ": ";
        EXPECT_EQ(failure.rfind(prefix, 0), 0u) << failure;
        EXPECT_GT(failure.size(), prefix.size() + 3) << failure;  // the plugin's reason follows
        if (endpoint.plugin == "nosuchplugin") {
            EXPECT_NE(failure.find("No such plugin: 'nosuchplugin' (plugins found: "), std::string::npos) << failure;
        }
        const Result<void> sent = bus.Send(can::CanFrame{});
        EXPECT_FALSE(sent);
        EXPECT_EQ(sent.Why(), "the CAN interface " + endpoint.Text() + " is not open");
    }
}

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        client.SetTimeOut(2000);
        ASSERT_TRUE(client.Open(pty.B(), SimulatedDevice::kSerial));
    }
    bool HeardEvent(const std::string& start) { return device.Told(start); }

    gateway::ProjectModel demo = DemoModel();
    PtyPair pty;
    SimulatedDevice device{demo.model, pty.A()};
    ModbusClient client;
    std::vector<std::string>& events = device.events;
};

TEST_F(SimulatorTest, AFrameInIsTheModelsValueOverRtuWithEitherFunction) {
    TestBus sender;
    sender.Send("181#1122334455667788");
    sender.Send("281#A1B2C3D4");
    ASSERT_TRUE(WaitFor([&] { return HeardEvent("281#A1B2C3D4"); }));
    EXPECT_EQ(events[0],
              "181#1122334455667788: register 1 = 0x1122, register 2 = 0x3344, register 3 = 0x5566, register 4 = "
              "0x7788");

    gateway::RegisterTable model(demo.model);
    model.Feed(Frame("181#1122334455667788"), 0);
    model.Feed(Frame("281#A1B2C3D4"), 0);
    for (ReadFunction function : {ReadFunction::HoldingRegisters, ReadFunction::InputRegisters}) {
        const RequestOutcome read = ReadRegisters(client, function, 1, 4);
        ASSERT_TRUE(read.values) << read.values.Why();
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ((*read.values)[static_cast<std::size_t>(i)], model.Value(static_cast<std::uint16_t>(i + 1)).bits);
        const RequestOutcome more = ReadRegisters(client, function, 10, 2);
        ASSERT_TRUE(more.values) << more.values.Why();
        EXPECT_EQ(*more.values, (std::vector<std::uint16_t>{model.Value(10).bits, model.Value(11).bits}));
    }
}

// The gateway is a CAN 2.0 node: a CAN FD frame on a receive frame's COB-ID
// sets no register, and the simulator says what it was.
TEST_F(SimulatorTest, ACanFdFrameFeedsNothingAndIsNamedAsCanFd) {
    TestBus sender;
    sender.Send("181##01122334455667788AABBCCDD");
    sender.Send("281#A1B2C3D4");
    ASSERT_TRUE(WaitFor([&] { return HeardEvent("281#A1B2C3D4"); }));
    EXPECT_EQ(events[0], "181##01122334455667788AABBCCDD: CAN FD, not fed");
    const RequestOutcome read = ReadRegisters(client, ReadFunction::HoldingRegisters, 1, 4);
    ASSERT_TRUE(read.values) << read.values.Why();
    gateway::RegisterTable nothing(demo.model);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ((*read.values)[static_cast<std::size_t>(i)], nothing.Value(static_cast<std::uint16_t>(i + 1)).bits);
}

TEST_F(SimulatorTest, ARegisterWrittenGivesTheFrameWithTheExpectedBytes) {
    TestBus listener;
    RequestOutcome w = WriteRegisters(client, WriteFunction::MultipleRegisters, 100, {0x1234, 0x0005});
    ASSERT_TRUE(w.values) << w.values.Why();
    EXPECT_TRUE(WaitFor([&] { return listener.Heard("201#1234000500000000"); }));
    w = WriteRegisters(client, WriteFunction::SingleRegister, 110, {7});
    ASSERT_TRUE(w.values) << w.values.Why();
    EXPECT_TRUE(WaitFor([&] { return listener.Heard("301#0007"); }));
    EXPECT_TRUE(HeardEvent("write register 110 = 0x0007: sent 301#0007"));
    const RequestOutcome back = ReadRegisters(client, ReadFunction::HoldingRegisters, 100, 2);
    ASSERT_TRUE(back.values) << back.values.Why();
    EXPECT_EQ(*back.values, (std::vector<std::uint16_t>{0x1234, 0x0005}));
}

TEST_F(SimulatorTest, UnmappedRegistersAndAWrongAddressGiveTheirMessagesNotValues) {
    RequestOutcome r = ReadRegisters(client, ReadFunction::HoldingRegisters, 4, 2);
    EXPECT_FALSE(r.values);
    EXPECT_EQ(r.values.Why(), "device 1 answered exception 02 (illegal data address)");
    r = WriteRegisters(client, WriteFunction::SingleRegister, 1, {5});  // a receive register
    EXPECT_EQ(r.values.Why(), "device 1 answered exception 02 (illegal data address)");

    client.SetDeviceAddress(7);
    client.SetTimeOut(150);
    r = ReadRegisters(client, ReadFunction::HoldingRegisters, 1, 1);
    EXPECT_FALSE(r.values);
    EXPECT_EQ(r.failure.kind, RequestFailure::Kind::NoAnswer);
    EXPECT_EQ(r.values.Why(), "no answer from device 7 within 150 ms");
}

TEST_F(SimulatorTest, APortInUseOrMissingIsNamedWithTheReason) {
    ModbusClient second;
    const std::string inUse = second.Open(pty.A(), SimulatedDevice::kSerial).Why();  // the simulator holds it
    EXPECT_EQ(inUse.rfind("Cannot open serial port " + pty.A() + ": it is in use by another program (", 0), 0u)
        << inUse;
    const std::string missing = second.Open(pty.A() + "-none", SimulatedDevice::kSerial).Why();
    EXPECT_EQ(missing, "Cannot open serial port " + pty.A() + "-none: No such file or directory");
    Simulator another(demo.model, Numbering::ProtocolAddress, device.bus);
    EXPECT_EQ(another.Open(pty.A() + "-none", SimulatedDevice::kSerial, 1).Why(),
              "Cannot open serial port " + pty.A() + "-none: No such file or directory");
}

// The simulator serves 03, 04, 06 and 16 and nothing else: every other
// function, known to Qt or not, gets exception 01 and changes nothing, and
// "listen only" (08 sub-function 04) does not silence it.
TEST(SimulatorFunctions, EveryOtherFunctionGetsIllegalFunction) {
    gateway::ProjectModel demo = DemoModel();
    PtyPair pty;
    SimulatedDevice device(demo.model, pty.A());
    TestBus listener;
    QSerialPort master(QString::fromStdString(pty.B()));
    ASSERT_TRUE(master.open(QIODevice::ReadWrite));
    auto ask = [&](const QByteArray& pdu) {
        master.write(ScriptedSlave::WithCrc(QByteArray(1, '\x01') + pdu));
        QByteArray answer;
        EXPECT_TRUE(WaitFor([&] {
            answer += master.readAll();
            return answer.size() >= 5;
        })) << pdu.toHex().toStdString();
        return answer.toHex().toStdString();
    };
    const std::vector<std::pair<const char*, const char*>> refused = {
        {"0100000001", "81"},                    // read coils
        {"0500010000", "85"},                    // write single coil
        {"08000400 00", "88"},                   // diagnostics: force listen only
        {"0B", "8b"},                            // comm event counter
        {"0C", "8c"},                            // comm event log
        {"16006eff000007", "96"},                // mask write register 110
        {"170001000100 6e000102 0007", "97"},    // read and write 110
        {"2B0E0100", "ab"},                      // device identification
        {"41 0102", "c1"},                       // a function no one defines
    };
    for (const auto& [request, code] : refused) {
        const QByteArray pdu = QByteArray::fromHex(QByteArray(request).replace(" ", ""));
        const std::string answer = ask(pdu);
        EXPECT_EQ(answer.substr(0, 6), "01" + std::string(code) + "01") << request << ": " << answer;
    }
    EXPECT_EQ(ask(QByteArray::fromHex("0300010001")).substr(0, 6), "010302") << "still answers after 08/04";
    EXPECT_TRUE(listener.heard.empty());
    EXPECT_FALSE(device.Told("write"));
}

// The test plays the slave on the other end and answers with a broken CRC.
TEST(ModbusClientAdapter, ABrokenCrcIsReportedWithTheRequest) {
    PtyPair pty;
    QSerialPort slave(QString::fromStdString(pty.A()));
    ASSERT_TRUE(slave.open(QIODevice::ReadWrite)) << slave.errorString().toStdString();
    QByteArray request;
    QObject::connect(&slave, &QSerialPort::readyRead, [&] {
        request += slave.readAll();
        if (request.size() < 8) return;
        // Device 1, function 03, two bytes: 0x1122, then a CRC that is wrong.
        slave.write(QByteArray::fromHex("0103021122FFFF"));
    });
    ModbusClient client;
    client.SetTimeOut(200);
    ASSERT_TRUE(client.Open(pty.B(), SerialSettings{}));
    const RequestOutcome r = ReadRegisters(client, ReadFunction::HoldingRegisters, 1, 1);
    EXPECT_EQ(request.toHex().toStdString().substr(0, 12), "010300010001");
    EXPECT_FALSE(r.values);
    EXPECT_EQ(r.failure.crcErrors, 1);
    EXPECT_EQ(r.values.Why(), "1 answer with a wrong CRC, no valid answer from device 1 within 200 ms");
}

// Answers Qt takes for valid ones that are still not the ones asked for:
// another number of registers, a write echo of something else, the answer
// to an earlier request. Each is an invalid answer, never a value.
TEST(ModbusClientAdapter, AnAnswerThatIsNotTheOneAskedForIsInvalid) {
    using S = ScriptedSlave;
    struct Case {
        const char* name;
        S::Answer answer;
        std::function<void(ModbusClient&, ModbusClient::Done)> send;
        std::string text;
    };
    auto read = [](ReadFunction f, std::uint16_t start, int count) {
        return [=](ModbusClient& c, ModbusClient::Done d) { c.Read(f, {start, count}, &c, d); };
    };
    auto write = [](WriteFunction f, std::uint16_t start, std::vector<std::uint16_t> values) {
        return [=](ModbusClient& c, ModbusClient::Done d) { c.Write(f, start, values, &c, d); };
    };
    auto echo = [](const QByteArray& request, int at, char changed) {
        QByteArray pdu = request.left(6);
        pdu[at] = changed;
        return S::WithCrc(pdu);
    };
    const std::vector<Case> cases = {
        {"more registers", [](const QByteArray& r) { return S::ReadAnswer(r, S::Count(r) + 1); },
         read(ReadFunction::HoldingRegisters, 1, 2), "the answer holds 3 registers, 2 were asked for"},
        {"fewer registers", [](const QByteArray& r) { return S::ReadAnswer(r, S::Count(r) - 1); },
         read(ReadFunction::InputRegisters, 10, 2), "the answer holds 1 register, 2 were asked for"},
        {"06 echoes another value", [&](const QByteArray& r) { return echo(r, 5, 8); },
         write(WriteFunction::SingleRegister, 110, {7}),
         "the answer echoes protocol address 110 with value 8, not protocol address 110 with value 7"},
        {"06 echoes another address", [&](const QByteArray& r) { return echo(r, 3, 111); },
         write(WriteFunction::SingleRegister, 110, {7}),
         "the answer echoes protocol address 111 with value 7, not protocol address 110 with value 7"},
        {"16 echoes another count", [&](const QByteArray& r) { return echo(r, 5, 3); },
         write(WriteFunction::MultipleRegisters, 100, {1, 2}),
         "the answer echoes protocol address 100 and 3 registers, not protocol address 100 and 2 registers"},
    };
    for (const Case& c : cases) {
        PtyPair pty;
        S slave(pty.A(), c.answer);
        ModbusClient client;
        client.SetTimeOut(2000);
        ASSERT_TRUE(client.Open(pty.B(), SerialSettings{}));
        const RequestOutcome r = Request([&](ModbusClient::Done done) { c.send(client, done); });
        EXPECT_FALSE(r.values) << c.name;
        EXPECT_EQ(r.failure.kind, RequestFailure::Kind::Invalid) << c.name;
        EXPECT_EQ(r.values.Why(), "invalid answer from device 1: " + c.text) << c.name;
    }
}

// A device that answers every request twice, the second copy coming with
// the next answer: Qt takes the copy for the next request's answer.
TEST(ModbusClientAdapter, AnAnswerGivenAgainIsNotTakenForTheNextOne) {
    PtyPair pty;
    QByteArray last;
    ScriptedSlave slave(pty.A(), [&](const QByteArray& request) {
        const QByteArray answer = ScriptedSlave::ReadAnswer(request, ScriptedSlave::Count(request));
        const QByteArray again = last;
        last = answer;
        return again + answer;
    });
    ModbusClient client;
    client.SetTimeOut(2000);
    ASSERT_TRUE(client.Open(pty.B(), SerialSettings{}));
    EXPECT_TRUE(static_cast<bool>(ReadRegisters(client, ReadFunction::HoldingRegisters, 1, 4).values));
    const RequestOutcome second = ReadRegisters(client, ReadFunction::HoldingRegisters, 10, 2);
    EXPECT_FALSE(second.values);
    EXPECT_EQ(second.values.Why(), "invalid answer from device 1: the answer holds 4 registers, 2 were asked for");
}

// A run dropped while its request waits on a device that never answers:
// the answer's time-out ends the request, and nothing is called back into
// the run that is gone (the sanitizer build stops on any use of it).
TEST(ModbusClientAdapter, DroppingTheReceiverCancelsItsCallback) {
    PtyPair pty;
    ScriptedSlave silent(pty.A(), [](const QByteArray&) { return QByteArray(); });
    ModbusClient client;
    client.SetTimeOut(100);
    ASSERT_TRUE(client.Open(pty.B(), SerialSettings{}));
    bool called = false;
    auto run = std::make_unique<QObject>();
    client.Read(ReadFunction::HoldingRegisters, {1, 1}, run.get(), [&](const RequestOutcome&) { called = true; });
    ASSERT_TRUE(WaitFor([&] { return !silent.requests.empty(); }));
    run.reset();
    // Requests are answered in order: once the next one has its time-out,
    // the first has had its own.
    const RequestOutcome next = ReadRegisters(client, ReadFunction::HoldingRegisters, 2, 1);
    EXPECT_EQ(next.values.Why(), "no answer from device 1 within 100 ms");
    EXPECT_FALSE(called);
}

// A check of a new kind is one class: the session feeds it every frame
// while it runs, keeps one of its kind (taking another drops the first) and
// leaves the other kinds alone.
struct CountingCheck : BenchCheck {
    explicit CountingCheck(int& alive) : alive_(alive) { ++alive_; }
    ~CountingCheck() override { --alive_; }
    void Start() override { running_ = true; }
    bool Running() const override { return running_; }
    void OnFrame(const can::CanFrame&) override { ++frames_; }
    std::vector<std::string> Lines(const CheckLineContext&) const override { return {std::to_string(frames_)}; }

    int& alive_;
    bool running_ = false;
    int frames_ = 0;
};

TEST(BenchSessionAdapter, RunsAnyCheckOfTheInterfaceOneOfEachKind) {
    BenchSession session;
    session.SetProject(std::make_shared<const gateway::ProjectModel>(DemoModel()));
    int alive = 0;
    CountingCheck& first = session.TakeCheck(std::make_unique<CountingCheck>(alive));
    session.OnSent(TimedFrame{Frame("181#11"), 1});  // not started yet: not fed
    first.Start();
    EXPECT_TRUE(session.Checking());
    session.OnSent(TimedFrame{Frame("181#11"), 2});
    session.OnSent(TimedFrame{Frame("281#22"), 3});
    EXPECT_EQ(first.Lines(session.LineContext()), std::vector<std::string>{"2"});
    EXPECT_EQ(session.CheckOf<CountingCheck>(), &first);
    EXPECT_EQ(session.CheckOf<ReceiveCheckRun>(), nullptr);
    CountingCheck& second = session.TakeCheck(std::make_unique<CountingCheck>(alive));
    EXPECT_EQ(alive, 1) << "the first check of the kind is dropped";
    EXPECT_EQ(session.CheckOf<CountingCheck>(), &second);
    EXPECT_FALSE(session.Checking());
    session.DropCheck<CountingCheck>();
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(session.CheckOf<CountingCheck>(), nullptr);
}

// The session feeds what this process sends like what it hears, and owns
// its checks: a project set while a read waits on a silent device drops the
// read with the old table, and the read's late time-out calls into nothing
// (the sanitizer build stops on any use of the freed run or table).
TEST(BenchSessionAdapter, FeedsWhatItSendsAndANewProjectDropsItsChecks) {
    PtyPair pty;
    ScriptedSlave silent(pty.A(), [](const QByteArray&) { return QByteArray(); });
    BenchSession session;
    const auto demo = std::make_shared<const gateway::ProjectModel>(DemoModel());
    session.SetProject(demo);
    int changes = 0;
    std::size_t fed = 0;
    QObject::connect(&session, &BenchSession::projectChanged, [&] { ++changes; });
    QObject::connect(&session, &BenchSession::framesFed, [&](const std::vector<TimedFrame>& f) { fed += f.size(); });
    session.OnSent(TimedFrame{Frame("181#1122334455667788"), 1});
    EXPECT_EQ(fed, 1u);
    EXPECT_EQ(gateway::RegisterValueText(session.Monitor()->Table().Value(2)), "0x3344");

    session.Client().SetTimeOut(100);
    ASSERT_TRUE(session.Client().Open(pty.B(), SerialSettings{}));
    bool finished = false;
    ReceiveCheckRun& reads = session.TakeCheck(std::make_unique<ReceiveCheckRun>(
        demo->model, session.Monitor()->Table(), session.Client(), ReadFunction::HoldingRegisters,
        Numbering::ProtocolAddress));
    QObject::connect(&reads, &ReceiveCheckRun::finished, [&] { finished = true; });
    reads.Start();
    ASSERT_TRUE(WaitFor([&] { return !silent.requests.empty(); }));
    EXPECT_TRUE(session.Checking());
    session.SetProject(demo);  // the same project again starts afresh all the same
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(session.Checking());
    EXPECT_EQ(session.CheckOf<ReceiveCheckRun>(), nullptr);
    EXPECT_EQ(session.Monitor()->Frames(), 0u);
    const RequestOutcome next = ReadRegisters(session.Client(), ReadFunction::HoldingRegisters, 2, 1);
    EXPECT_EQ(next.values.Why(), "no answer from device 1 within 100 ms");
    EXPECT_FALSE(finished);
}

}  // namespace
}  // namespace vestrel::live
