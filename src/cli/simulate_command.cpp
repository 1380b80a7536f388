// simulate: the project's mapping as a Modbus RTU slave fed by a CAN
// interface, a test double for benches and PLC work before hardware arrives.
#include "cli/bench_support.h"
#include "live/qt/can_bus.h"
#include "live/qt/simulator.h"
#include "platform/error.h"
#include "platform/printable_text.h"
#include "platform/text.h"

#include <QEventLoop>
#include <QTimer>

#include <ostream>

namespace vestrel {

namespace {

constexpr long kLongestTimedRunSeconds = 2'147'483;  // 24.8 days

}  // namespace

int SimulateCommand(const Arguments& a, CliContext& cli) {
    // A Qt timer holds at most 2^31 - 1 ms; a longer run is one without --seconds.
    const long seconds = NumberOption(a, "seconds", 1, kLongestTimedRunSeconds);
    const BenchSetup setup = ReadBenchSetup(a, cli);

    CommandEventLoop app;
    live::CanBus bus;
    live::Simulator simulator(setup.loaded.model, setup.indexNumbering, bus);
    if (const Result<void> opened = simulator.Open(setup.port, setup.settings.serial, setup.settings.deviceAddress);
        !opened)
        throw Error(opened.Why());
    OpenBus(bus, setup.can, setup.settings.canBitRate, cli);

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
    cli.out << "Stopped" << stop.ByText()
            << ": " << Plural(changes, "frame", "frames") << " changed registers, " << Plural(writes, "write", "writes")
            << '.' << std::endl;
    return kExitOk;
}

}  // namespace vestrel
