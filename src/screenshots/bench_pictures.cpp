#include "screenshots/bench_pictures.h"

#include "app/main_window.h"
#include "can/can_log_reader.h"
#include "gateway/model_loading.h"
#include "live/qt/can_bus.h"
#include "live/qt/modbus_client.h"
#include "live/qt/simulator.h"
#include "live/ui/bench_window.h"
#include "live/ui/can_monitor_page.h"
#include "live/ui/expected_read_page.h"
#include "live/ui/modbus_poll_page.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>

#include <cstdio>

namespace vestrel {

namespace {

using namespace live;

// Runs the event loop until `done`, at most `ms` milliseconds. This is a
// picture tool: a step that takes longer has failed.
bool Until(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void Settle(int ms) {
    Until([] { return false; }, ms);
}

bool Fail(const char* what) {
    std::fprintf(stderr, "vestrel-screenshots: %s\n", what);
    return false;
}

std::vector<can::CanFrame> LogFrames(const QString& path) {
    std::vector<can::CanFrame> frames;
    can::CanLogReader reader(path.toStdString());
    can::LogFrame logged;
    can::BrokenLine broken;
    for (auto step = reader.Next(logged, broken); step != can::CanLogReader::Step::End;
         step = reader.Next(logged, broken))
        if (step == can::CanLogReader::Step::Frame) frames.push_back(logged.frame);
    return frames;
}

// The three pages after what an engineer would do on each.
bool DrawPages(TFBench& bench, const QString& outDir, const std::function<bool(QWidget*, const QString&)>& save) {
    bench.Monitor()->Refresh(bench.Model()->Entries().back().lastTime);
    bench.Monitor()->SendEdit()->setText("381#0102");
    if (!save(&bench, outDir + "/bench-monitor.png")) return false;

    TFModbusPollPage* poll = bench.Poll();
    bench.Pages()->setCurrentWidget(poll);
    poll->Count()->setValue(4);
    poll->WriteFunctionBox()->setCurrentIndex(1);
    poll->WriteValues()->setText("0x1234, 5");
    poll->BtWriteClick();
    poll->Start()->setValue(5);
    poll->BtReadClick();
    Until([&] { return poll->Answered() >= 2; });
    poll->Start()->setValue(1);
    poll->BtReadClick();
    Until([&] { return poll->Answered() >= 3; });
    if (!save(&bench, outDir + "/bench-poll.png")) return false;

    TFExpectedReadPage* expected = bench.Expected();
    bench.Pages()->setCurrentWidget(expected);
    expected->BtReadAllClick();
    Until([&] { return !expected->Busy(); });
    expected->WriteValues()->setText("110=7");
    expected->BtWriteClick();
    Until([&] { return !expected->Busy(); });
    return save(&bench, outDir + "/bench-expected.png");
}

}  // namespace

bool DrawBenchPictures(TFVestreleFirmWare& window, const QString& busLog, const QString& outDir,
                       const std::function<bool(QWidget*, const QString&)>& save) {
    QLoggingCategory::setFilterRules("qt.canbus*=false\nqt.modbus*=false");
    QTemporaryDir dir(QDir::tempPath() + "/vestrel-bench-XXXXXX");
    const QString a = dir.filePath("A"), b = dir.filePath("B");
    QProcess socat;
    socat.start("socat", {"-d", "-d", "pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b});
    QByteArray said;
    if (!Until([&] {
            said += socat.readAllStandardError();
            return said.contains("starting data transfer loop");
        }))
        return Fail("socat did not start (is it installed?)");
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const CanEndpoint endpoint{"virtualcan", "tcp://127.0.0.1:" + std::to_string(probe.serverPort()) + "/can0"};
    probe.close();

    const gateway::ProjectModel loaded = gateway::LoadProjectModel(window.GetWorkspace().ProjectDir());
    CanBus simulatorBus, sender;
    simulatorBus.Open(endpoint, 0);
    Simulator simulator(loaded.model, Numbering::ProtocolAddress, simulatorBus);
    if (!Until([&] { return simulatorBus.IsOpen(); }) || !simulator.Open(a.toStdString(), {19200, 8, live::Parity::Even, 1}, 1))
        return Fail("the simulated gateway did not start");

    TFBench* bench = window.BenchWindow();
    bench->SetProjectDir(window.GetWorkspace().ProjectDir());
    bench->show();
    bench->Plugin()->setCurrentText("virtualcan");
    bench->Interface()->setEditText(QString::fromStdString(endpoint.interface));
    bench->CanOpenButton()->click();
    bench->Port()->setEditText(b);
    bench->ModbusOpenButton()->click();
    sender.Open(endpoint, 0);
    if (!Until([&] { return bench->Bus().IsOpen() && sender.IsOpen() && bench->Client().IsOpen(); }))
        return Fail("the bench window did not open its interfaces");
    Settle(300);  // the relay takes in each interface's channel

    std::vector<can::CanFrame> frames;
    try {
        frames = LogFrames(busLog);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    for (const can::CanFrame& frame : frames) {
        if (const Result<void> sent = sender.Send(frame); !sent) return Fail(sent.Why().c_str());
    }
    if (!Until([&] { return bench->Model()->Frames() >= frames.size(); })) return Fail("the frames did not arrive");
    Settle(200);
    const bool drawn = DrawPages(*bench, outDir, save);
    bench->hide();
    return drawn;
}


}  // namespace vestrel
