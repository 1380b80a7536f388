// Timing of vestrel-cli send and play, measured where it matters: at a
// receiver on the same virtualcan bus, in this process, which also runs the
// relay. Not a Google benchmark: each figure comes from one whole run of the
// command as a user starts it.
//
//   bench_send [PERIODS] [FRAMES]
//
// 1. send --every 10 --count PERIODS (default 1000): the period between
//    arrivals, its error against 10 ms (median and 99th percentile), and
//    the whole run against (PERIODS - 1) × 10 ms.
// 2. play --speed 0 of a candump log of FRAMES frames (default 200000) of
//    the demo bus: frames per second from the first arrival to the last.
#include "bench_folder.h"
#include "can_log_gen.h"
#include "live/qt/can_bus.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace vestrel;

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Serves the event loop, waiting for events rather than sleeping between
// turns, until `done` or `ms` have passed.
void Serve(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

struct Receiver {
    explicit Receiver(const std::string& iface) {
        QObject::connect(&bus, &live::CanBus::framesReceived, [this](const std::vector<live::TimedFrame>& frames) {
            const std::int64_t now = Now();
            for (std::size_t i = 0; i < frames.size(); ++i) arrivals.push_back(now);
        });
        bus.Open(live::CanEndpoint{"virtualcan", iface}, 0);
        Serve([&] { return bus.IsOpen(); }, 10000);
        Serve([] { return false; }, 500);  // the relay's join of this interface
    }
    live::CanBus bus;
    std::vector<std::int64_t> arrivals;
};

// Runs the command while the event loop serves the relay and the receiver
// (QTest::qWait would sleep between its turns and bunch the arrivals).
bool RunCli(const QStringList& args) {
    QProcess cli;
    QEventLoop loop;
    QObject::connect(&cli, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&cli, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    cli.start(VESTREL_CLI_PATH, args);
    loop.exec();
    std::fputs(cli.readAllStandardOutput().constData(), stdout);
    std::fputs(cli.readAllStandardError().constData(), stderr);
    return cli.exitCode() == 0;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t at = std::min(values.size() - 1, static_cast<std::size_t>(std::ceil(p * values.size())) - 1);
    return values[at];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long periods = argc > 1 ? std::atol(argv[1]) : 1000;
    const long frames = argc > 2 ? std::atol(argv[2]) : 200000;
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const std::string iface = "tcp://127.0.0.1:" + std::to_string(probe.serverPort()) + "/can0";
    probe.close();
    const QString can = QString::fromStdString("virtualcan:" + iface);
    Receiver receiver(iface);

    if (!RunCli({"send", "--can", can, "181#1122334455667788", "--every", "10", "--count", QString::number(periods)}))
        return 1;
    Serve([&] { return receiver.arrivals.size() >= static_cast<std::size_t>(periods); }, 2000);
    const std::vector<std::int64_t> at = receiver.arrivals;
    std::vector<double> errors, absolute;
    for (std::size_t i = 1; i < at.size(); ++i) {
        errors.push_back((at[i] - at[i - 1]) / 1000.0 - 10.0);
        absolute.push_back(std::fabs(errors.back()));
    }
    const double span = at.size() > 1 ? (at.back() - at.front()) / 1000.0 : 0;
    const double planned = (periods - 1) * 10.0;
    std::printf("send --every 10: %zu of %ld periods arrived; period error median %+.3f ms, |error| p50 %.3f ms, "
                "p99 %.3f ms, max %.3f ms; whole run %.1f ms against %.1f ms (%+.3f %%)\n",
                at.size(), periods, Percentile(errors, 0.5), Percentile(absolute, 0.5), Percentile(absolute, 0.99),
                Percentile(absolute, 1.0), span, planned, planned > 0 ? (span - planned) / planned * 100 : 0);

    const bench::BenchFolder folder;
    const auto log = folder.Root() / "demo-bus.log";
    bench::WriteDemoBusLog(log, static_cast<std::uint64_t>(frames), 7);
    receiver.arrivals.clear();
    receiver.arrivals.reserve(static_cast<std::size_t>(frames));
    QElapsedTimer whole;
    whole.start();
    if (!RunCli({"play", QString::fromStdString(log.string()), "--can", can, "--speed", "0"})) return 1;
    Serve([&] { return receiver.arrivals.size() >= static_cast<std::size_t>(frames); }, 10000);
    const std::vector<std::int64_t>& got = receiver.arrivals;
    const double seconds = got.size() > 1 ? (got.back() - got.front()) / 1e6 : 0;
    std::printf("play --speed 0: %zu of %ld frames arrived in %.3f s: %.0f frames/s (the whole command %.3f s)\n",
                got.size(), frames, seconds, seconds > 0 ? got.size() / seconds : 0, whole.elapsed() / 1000.0);
    return 0;
}
