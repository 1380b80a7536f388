// simulate: the project's mapping as a Modbus RTU slave fed by a CAN
// interface, a test double for benches and PLC work before hardware arrives.
#include "cli/bench_support.h"
#include "live/qt/can_bus.h"
#include "live/qt/simulator.h"
#include "platform/error.h"
#include "platform/printable_text.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ostream>

namespace vestrel {

namespace {

constexpr long kLongestTimedRunSeconds = 2'147'483;  // 24.8 days

int stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    (void)!::write(stopPipe[1], &byte, 1);
    errno = saved;
}

// SIGINT and SIGTERM end the event loop instead of the process, so that the
// ports are closed and the summary is printed. The handlers of before are
// back when the command returns.
class StopSignals {
public:
    explicit StopSignals(QEventLoop& loop) {
        if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) throw Error("Cannot set up the signal handling: " +
                                                                       std::string(std::strerror(errno)));
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, &oldInt_);
        ::sigaction(SIGTERM, &action, &oldTerm_);
        notifier_ = std::make_unique<QSocketNotifier>(stopPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, &loop, [this, &loop] {
            char byte = 0;
            if (::read(stopPipe[0], &byte, 1) == 1) signal_ = byte;
            loop.quit();
        });
    }
    ~StopSignals() {
        ::sigaction(SIGINT, &oldInt_, nullptr);
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
        notifier_.reset();
        ::close(stopPipe[0]);
        ::close(stopPipe[1]);
        stopPipe[0] = stopPipe[1] = -1;
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int Signal() const { return signal_; }

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
    std::unique_ptr<QSocketNotifier> notifier_;
    int signal_ = 0;
};

// Opens the CAN interface and waits until it is open; throws Error otherwise.
void OpenBus(live::CanBus& bus, const BenchSetup& setup, CliContext& cli) {
    QEventLoop wait;
    std::string failure;
    QObject::connect(&bus, &live::CanBus::opened, &wait, &QEventLoop::quit);
    QObject::connect(&bus, &live::CanBus::failed, &wait, [&](const QString& message) {
        failure = message.toStdString();
        wait.quit();
    });
    QObject::connect(&bus, &live::CanBus::note, &wait,
                     [&](const QString& message) { cli.Say("note: " + message.toStdString()); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &wait, [&] {
        failure = "Cannot open CAN interface " + setup.can.Text() + ": not open after 10000 ms";
        wait.quit();
    });
    guard.start(10000);
    bus.Open(setup.can, setup.settings.canBitRate);
    if (!bus.IsOpen() && failure.empty()) wait.exec();
    QObject::disconnect(&bus, nullptr, &wait, nullptr);
    if (!failure.empty()) throw Error(failure);
}

}  // namespace

int SimulateCommand(const std::vector<std::string>& args, CliContext& cli) {
    const Arguments a(args, CliCommand("simulate"));
    // A Qt timer holds at most 2^31 - 1 ms; a longer run is one without --seconds.
    const long seconds = NumberOption(a, "seconds", 1, kLongestTimedRunSeconds);
    const BenchSetup setup = ReadBenchSetup(a, cli);

    CommandEventLoop app;
    live::CanBus bus;
    live::Simulator simulator(setup.loaded.model, setup.indexNumbering, bus);
    if (std::string failure = simulator.Open(setup.port, setup.settings.serial, setup.settings.deviceAddress);
        !failure.empty())
        throw Error(failure);
    OpenBus(bus, setup, cli);

    for (const std::string& line : simulator.Gateway().Description()) cli.out << line << '\n';
    cli.out << "Modbus RTU slave " << setup.settings.deviceAddress << " on "
            << PrintableText(setup.port, LineBreaks::OneLine) << ", " << live::SerialSettingsText(setup.settings.serial)
            << "; CAN: " << PrintableText(setup.can.Text(), LineBreaks::OneLine);
    if (setup.settings.canBitRate > 0) cli.out << ", " << live::CanBitRateText(setup.settings.canBitRate);
    cli.out << '\n'
            << (seconds > 0 ? "Running for " + std::to_string(seconds) + " s." : "Running until interrupted (Ctrl+C).")
            << std::endl;

    QEventLoop loop;
    StopSignals stop(loop);
    std::string failure;
    std::uint64_t changes = 0, writes = 0;
    QObject::connect(&simulator, &live::Simulator::event, &loop,
                     [&](const QString& line, live::Simulator::EventKind kind) {
        ++(kind == live::Simulator::EventKind::Write ? writes : changes);
        cli.out << PrintableText(line.toStdString(), LineBreaks::OneLine) << std::endl;
    });
    auto fail = [&](const QString& message) {
        failure = message.toStdString();
        loop.quit();
    };
    QObject::connect(&simulator, &live::Simulator::linkFailed, &loop, fail);
    QObject::connect(&bus, &live::CanBus::failed, &loop, fail);
    if (seconds > 0) QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    simulator.Close();
    bus.Close();
    if (!failure.empty()) throw Error(failure);
    cli.out << "Stopped" << (stop.Signal() == SIGINT ? " by SIGINT" : stop.Signal() == SIGTERM ? " by SIGTERM" : "")
            << ": " << changes << (changes == 1 ? " frame" : " frames") << " changed registers, " << writes
            << (writes == 1 ? " write" : " writes") << '.' << std::endl;
    return kExitOk;
}

}  // namespace vestrel
