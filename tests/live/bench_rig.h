#pragma once

// What the end-to-end tests of the bench tools run on without hardware: a
// virtualcan relay on a TCP port of the test's own, a socat pair of
// pseudo-terminals for the serial line, and waits that end on the event
// itself, with a generous guard that only turns a hang into a failure.
#include "can/can_frame.h"
#include "live/qt/can_bus.h"
#include "live/qt/simulator.h"
#include "support/temp_dir.h"

#include <QHostAddress>
#include <QLoggingCategory>
#include <QProcess>
#include <QSerialPort>
#include <QTcpServer>
#include <QTest>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/prctl.h>

#include <gtest/gtest.h>

namespace vestrel::live::test {

inline constexpr int kGuardMs = 30000;

inline bool WaitFor(const std::function<bool()>& condition, int guardMs = kGuardMs) {
    return QTest::qWaitFor(condition, guardMs);
}

// A TCP port no one listens on, from the system. Qt's virtualcan plugin runs
// one relay per process, on the port of the first interface opened, so a
// test process takes one port and separates buses by channel (can0, can1).
inline int FreePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
    return probe.serverPort();
}

inline int TestPort() {
    static const int port = FreePort();
    return port;
}

// The relay runs in the process that opened the first interface on its port;
// the tests open one first so that it runs in theirs. An interface joins a
// channel with a command the relay reads some time after the interface says
// it is open, and frames sent before that do not reach it. The relay logs
// each command it reads ("received: 'connect:can0'"): the tests wait for that
// line instead of for time.
class RelayLog {
public:
    static int Joined() { return Instance().joined_; }

private:
    static RelayLog& Instance() {
        static RelayLog log;
        return log;
    }
    RelayLog() {
        QLoggingCategory::setFilterRules("qt.canbus.plugins.virtualcan.debug=true");
        previous_ = qInstallMessageHandler(&RelayLog::Handle);
    }
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (context.category && QByteArray(context.category).startsWith("qt.canbus.plugins.virtualcan")) {
            if (text.contains("received: 'connect:")) ++Instance().joined_;
            return;
        }
        if (Instance().previous_) Instance().previous_(type, context, text);
    }

    QtMessageHandler previous_ = nullptr;
    int joined_ = 0;
};

// Waits until `count` interfaces have joined a channel of the relay in all.
inline bool WaitForJoined(int count) { return WaitFor([&] { return RelayLog::Joined() >= count; }); }

// "virtualcan:tcp://127.0.0.1:PORT/can0" on this test's relay.
inline std::string VirtualCan(const std::string& channel = "can0") {
    return "virtualcan:tcp://127.0.0.1:" + std::to_string(TestPort()) + "/" + channel;
}

inline CanEndpoint VirtualCanEndpoint(const std::string& channel = "can0") {
    return CanEndpoint{"virtualcan", "tcp://127.0.0.1:" + std::to_string(TestPort()) + "/" + channel};
}

// A test that dies on a failed check runs no destructor: a program it
// started must not outlive it and keep ports and inherited descriptors open.
inline void EndWithThisProcess(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

// Two connected serial devices, A and B, made by socat; they exist once
// socat says it has started its transfer loop.
class PtyPair {
public:
    PtyPair() {
        socat_.setProgram("socat");
        EndWithThisProcess(socat_);
        socat_.setArguments({"-d", "-d", QString::fromStdString("pty,raw,echo=0,link=" + A()),
                             QString::fromStdString("pty,raw,echo=0,link=" + B())});
        socat_.start();
        const bool started = WaitFor([&] {
            log_ += socat_.readAllStandardError().toStdString();
            return log_.find("starting data transfer loop") != std::string::npos ||
                   socat_.state() == QProcess::NotRunning;
        });
        EXPECT_TRUE(started && std::filesystem::exists(A()) && std::filesystem::exists(B())) << log_;
    }
    ~PtyPair() {
        socat_.terminate();
        socat_.waitForFinished(kGuardMs);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    std::string A() const { return (dir_ / "A").string(); }
    std::string B() const { return (dir_ / "B").string(); }

private:
    vestrel::test::TempDir dir_;
    QProcess socat_;
    std::string log_;
};

// A CAN interface of the test's own on the relay: opens, sends, keeps what
// it hears.
class TestBus {
public:
    explicit TestBus(const std::string& channel = "can0") {
        QObject::connect(&bus, &CanBus::failed, [this](const QString& m) { failure = m.toStdString(); });
        QObject::connect(&bus, &CanBus::framesReceived, [this](const std::vector<TimedFrame>& frames) {
            for (const TimedFrame& f : frames) heard.push_back(can::CompactFrameText(f.frame));
        });
        const int joined = RelayLog::Joined();
        bus.Open(VirtualCanEndpoint(channel), 0);
        EXPECT_TRUE(WaitFor([&] { return bus.IsOpen() || !failure.empty(); }) && bus.IsOpen()) << failure;
        EXPECT_TRUE(WaitForJoined(joined + 1)) << "the relay has not seen the interface join";
    }
    void Send(const std::string& text) {
        const Result<can::CanFrame> frame = can::ParseCompactFrame(text);
        ASSERT_TRUE(frame) << frame.Why();
        const Result<void> sent = bus.Send(*frame);
        ASSERT_TRUE(sent) << sent.Why();
    }
    bool Heard(const std::string& text) const {
        return std::find(heard.begin(), heard.end(), text) != heard.end();
    }

    CanBus bus;
    std::string failure;
    std::vector<std::string> heard;
};

// A Modbus RTU slave played by the test on pty end A: each whole request
// (03, 04 and 06 take 8 bytes, 16 takes 9 plus its data) goes to `answer`,
// which returns the bytes to send back, CRC and all; nothing sends nothing.
class ScriptedSlave {
public:
    using Answer = std::function<QByteArray(const QByteArray& request)>;

    ScriptedSlave(const std::string& port, Answer answer) : port_(QString::fromStdString(port)), answer_(std::move(answer)) {
        EXPECT_TRUE(port_.open(QIODevice::ReadWrite)) << port_.errorString().toStdString();
        QObject::connect(&port_, &QSerialPort::readyRead, [this] {
            pending_ += port_.readAll();
            while (pending_.size() >= 8) {
                const int size = static_cast<quint8>(pending_[1]) == 0x10 ? 9 + static_cast<quint8>(pending_[6]) : 8;
                if (pending_.size() < size) return;
                const QByteArray request = pending_.left(size);
                pending_.remove(0, size);
                requests.push_back(request);
                const QByteArray reply = answer_(request);
                if (!reply.isEmpty()) port_.write(reply);
            }
        });
    }

    // The Modbus CRC appended to `frame`, low byte first.
    static QByteArray WithCrc(QByteArray frame) {
        quint16 crc = 0xFFFF;
        for (char c : frame) {
            crc ^= static_cast<quint8>(c);
            for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001) : crc >> 1;
        }
        frame.append(static_cast<char>(crc & 0xFF));
        frame.append(static_cast<char>(crc >> 8));
        return frame;
    }
    // The answer to a read of `request` with `count` registers from its
    // start address on, each with the value `valueAt` gives its address.
    static QByteArray ReadAnswer(const QByteArray& request, int count,
                                 const std::function<quint16(int)>& valueAt = [](int) { return 0x0102; }) {
        QByteArray pdu = request.left(2);
        pdu.append(static_cast<char>(count * 2));
        const int start = (static_cast<quint8>(request[2]) << 8) | static_cast<quint8>(request[3]);
        for (int i = 0; i < count; ++i) {
            const quint16 value = valueAt(start + i);
            pdu.append(static_cast<char>(value >> 8));
            pdu.append(static_cast<char>(value & 0xFF));
        }
        return WithCrc(pdu);
    }
    // The registers a read request asks for.
    static int Count(const QByteArray& request) {
        return (static_cast<quint8>(request[4]) << 8) | static_cast<quint8>(request[5]);
    }

    QSerialPort* Port() { return &port_; }
    std::vector<QByteArray> requests;

private:
    QSerialPort port_;
    QByteArray pending_;
    Answer answer_;
};

// The simulated gateway of a test: its CAN interface on `channel` of the
// relay, its slave on pty end A. Keeps every line it tells.
class SimulatedDevice {
public:
    SimulatedDevice(const gateway::GatewayModel& model, const std::string& port, const std::string& channel = "can0",
                    int address = 1, Numbering numbering = Numbering::ProtocolAddress) {
        std::string failure;
        QObject::connect(&bus, &CanBus::failed, [&](const QString& m) { failure = m.toStdString(); });
        const int joined = RelayLog::Joined();
        bus.Open(VirtualCanEndpoint(channel), 250000);
        EXPECT_TRUE(WaitFor([&] { return bus.IsOpen() || !failure.empty(); }) && bus.IsOpen()) << failure;
        EXPECT_TRUE(WaitForJoined(joined + 1));
        simulator = std::make_unique<Simulator>(model, numbering, bus);
        QObject::connect(simulator.get(), &Simulator::event,
                         [this](const QString& line) { events.push_back(line.toStdString()); });
        EXPECT_TRUE(simulator->Open(port, kSerial, address));
    }
    bool Told(const std::string& start) const {
        return std::any_of(events.begin(), events.end(), [&](const std::string& e) { return e.rfind(start, 0) == 0; });
    }

    static inline const SerialSettings kSerial{19200, 8, Parity::Even, 1};  // the demo project's
    CanBus bus;
    std::unique_ptr<Simulator> simulator;
    std::vector<std::string> events;
};

}  // namespace vestrel::live::test
