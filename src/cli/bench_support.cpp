#include "cli/bench_support.h"

#include "cli/model_notes.h"
#include "gateway/model_loading.h"
#include "live/qt/can_bus.h"
#include "live/qt/frame_sender.h"
#include "platform/error.h"
#include "platform/text.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>


#include <charconv>
#include <filesystem>
#include <cstdlib>

namespace vestrel {

StopSignals::StopSignals(QEventLoop& loop) {
    notifier_ = std::make_unique<QSocketNotifier>(catcher_.Descriptor(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, &loop, [this, &loop] {
        if (const int signal = catcher_.Take()) signal_ = signal;
        loop.quit();
    });
}

StopSignals::~StopSignals() = default;

std::string StopSignals::ByText() const { return StopSignalCatcher::ByText(signal_); }

void OpenBus(live::CanBus& bus, const live::CanEndpoint& can, int bitRate, const CliContext& cli) {
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
        failure = "Cannot open CAN interface " + can.Text() + ": not open after 10000 ms";
        wait.quit();
    });
    guard.start(10000);
    bus.Open(can, bitRate);
    if (!bus.IsOpen() && failure.empty()) wait.exec();
    QObject::disconnect(&bus, nullptr, &wait, nullptr);
    if (!failure.empty()) throw Error(failure);
}

SendOutcome RunSend(live::FrameSource& source, const live::CanEndpoint& can, int bitRate, const CliContext& cli,
                    const live::SendRun::Observer& sent) {
    live::CanBus bus;
    OpenBus(bus, can, bitRate, cli);
    if (cli.atSendStep) cli.atSendStep(live::SendStep::Open);
    QEventLoop loop;
    StopSignals stop(loop);
    std::string failure;
    live::FrameSender sender(bus, source, [&](const live::TimedSend& frame) {
        if (sent) sent(frame);
        if (cli.atSendStep) cli.atSendStep(live::SendStep::Sent);
    });
    QObject::connect(&sender, &live::FrameSender::finished, &loop, &QEventLoop::quit);
    auto fail = [&](const QString& message) {
        failure = message.toStdString();
        loop.quit();
    };
    QObject::connect(&sender, &live::FrameSender::failed, &loop, fail);
    QObject::connect(&bus, &live::CanBus::failed, &loop, fail);
    sender.Start();
    loop.exec();
    sender.Stop();
    SendOutcome outcome{sender.Tally(), stop.ByText()};
    // What the interface still holds goes out before it closes.
    bus.Drain();
    bus.Close();
    if (!failure.empty()) throw Error(failure);
    return outcome;
}

std::string SendSummary(const SendOutcome& outcome) {
    const live::SendTally& t = outcome.tally;
    std::string text = outcome.stoppedBy.empty() ? "Sent " : "Stopped" + outcome.stoppedBy + ": sent ";
    text += Plural(t.frames, "frame", "frames");
    if (t.frames > 0)
        text += "; behind schedule at most " + live::MillisecondsText(t.behindMax) + ", at the end " +
                live::MillisecondsText(t.behindLast);
    return text + ".";
}

long NumberOption(const Arguments& a, const std::string& name, long min, long max) {
    const auto text = a.Value(name);
    if (!text) return 0;
    long value = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (ec != std::errc() || end != text->data() + text->size() || value < min || value > max)
        throw UsageError{"--" + name + " takes a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not '" + *text + "'"};
    return value;
}

std::string SerialPortPath(const std::string& port) {
    // Qt reads a bare name as one under /dev; a file of that name here is
    // what the user means (a socat link, a device node made for a test).
    std::error_code ec;
    if (port.find('/') == std::string::npos && std::filesystem::exists(std::filesystem::symlink_status(port, ec)))
        return "./" + port;
    return port;
}

BenchSetup ReadBenchSetup(const Arguments& a, const CliContext& cli) {
    a.ExpectOperands(1);
    const auto can = a.Value("can");
    const auto port = a.Value("modbus");
    if (!can || !port) throw a.Usage();
    auto endpoint = live::ParseCanInterface(*can);
    if (!endpoint) throw UsageError{endpoint.Why()};
    std::optional<live::SerialSettings> serial;
    if (auto text = a.Value("serial")) {
        const auto parsed = live::ParseSerialSettings(*text);
        if (!parsed) throw UsageError{parsed.Why()};
        serial = *parsed;
    }
    const long base = NumberOption(a, "index-base", 0, 1);
    const long address = NumberOption(a, "address", 1, 247);

    BenchSetup setup{gateway::LoadModel(a.Operands()[0]), {}, *endpoint, SerialPortPath(*port),
                     base == 0 ? live::Numbering::ProtocolAddress : live::Numbering::RegisterNumber};
    SayModelNotes(setup.loaded, false, cli);
    setup.settings = live::BenchSettingsOf(setup.loaded.model.Banks());
    if (serial) setup.settings.serial = *serial;
    if (address > 0) setup.settings.deviceAddress = static_cast<int>(address);
    for (const std::string& note : live::BenchNotes(setup.settings, setup.loaded.model.Banks()))
        cli.Say("note: " + note);
    return setup;
}

CommandEventLoop::CommandEventLoop() {
    // Inside an application (the tests) its own rules stand.
    if (QCoreApplication::instance()) return;
    if (!std::getenv("QT_LOGGING_RULES")) QLoggingCategory::setFilterRules("qt.canbus*=false\nqt.modbus*=false");
    static int argc = 1;
    static char name[] = "vestrel-cli";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QCoreApplication>(argc, argv);
}

CommandEventLoop::~CommandEventLoop() = default;

}  // namespace vestrel
