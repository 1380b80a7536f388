#include "live/qt/bench_verify.h"

#include "live/qt/bench_session.h"
#include "live/qt/can_bus.h"
#include "live/qt/check_runs.h"
#include "live/qt/modbus_client.h"

#include <QEventLoop>
#include <QTimer>

namespace vestrel::live {

VerifyRun::VerifyRun(std::shared_ptr<const gateway::ProjectModel> project, VerifyOptions options,
                     std::function<void(VerifyStep)> atStep)
    : options_(std::move(options)), atStep_(std::move(atStep)), session_(std::make_unique<BenchSession>()) {
    session_->SetProject(std::move(project));
}

VerifyRun::~VerifyRun() = default;

Result<VerifyResult> VerifyRun::Run() {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    loop_ = &loop;
    timer_ = &timer;
    ModbusClient& client = session_->Client();
    CanBus& bus = session_->Bus();
    client.SetDeviceAddress(options_.deviceAddress);
    client.SetTimeOut(options_.timeOutMs);
    if (Result<void> opened = client.Open(options_.port, options_.serial); !opened) return Failure{opened.Why()};
    connect(&bus, &CanBus::opened, this, [this] { StartListening(); });
    connect(&bus, &CanBus::failed, this, [this](const QString& message) { Finish(message.toStdString()); });
    connect(&bus, &CanBus::note, this,
            [this](const QString& message) { notes_.push_back(message.toStdString()); });
    connect(session_.get(), &BenchSession::framesFed, this,
            [this](const std::vector<TimedFrame>& frames) { OnFrames(frames); });
    connect(&client, &ModbusClient::linkFailed, this,
            [this](const QString& message) { notes_.push_back(message.toStdString()); });
    connect(&timer, &QTimer::timeout, this, [this] {
        if (listening_)
            StartPolling();
        else
            Finish("Cannot open CAN interface " + options_.can.Text() + ": not open after " +
                   std::to_string(options_.openWaitMs) + " ms");
    });
    timer.start(options_.openWaitMs);
    bus.Open(options_.can, options_.canBitRate);
    if (!finished_) loop.exec();
    timer.stop();
    bus.Close();
    client.Close();
    loop_ = nullptr;
    timer_ = nullptr;
    if (const auto* reads = session_->CheckOf<ReceiveCheckRun>()) result_.checks = reads->Checks();
    if (auto* writes = session_->CheckOf<WriteCheckRun>()) result_.writes = std::move(writes->Writes());
    session_->Close();
    if (!failure_.empty()) return Failure{failure_};
    return std::move(result_);
}

void VerifyRun::OnFrames(const std::vector<TimedFrame>& frames) {
    if (!listening_) return;
    const gateway::GatewayModel& model = *session_->Model();
    for (const TimedFrame& timed : frames) {
        ++result_.frames;
        if (model.MatchReceive(timed.frame).kind == gateway::MatchKind::CanFd) ++result_.fdFrames;
    }
    if (options_.frameLimit > 0 && result_.frames >= options_.frameLimit) StartPolling();
}

void VerifyRun::StartListening() {
    timer_->stop();
    listening_ = true;
    if (atStep_) atStep_(VerifyStep::Listening);
    if (!listening_) return;  // the frames the seam sent were enough
    timer_->start(options_.listenMs);
}

void VerifyRun::StartPolling() {
    if (!listening_ || finished_) return;
    listening_ = false;
    timer_->stop();
    if (atStep_) atStep_(VerifyStep::Polling);
    ReceiveCheckRun& reads = session_->TakeCheck(std::make_unique<ReceiveCheckRun>(
        *session_->Model(), session_->Monitor()->Table(), session_->Client(), options_.function, options_.indexNumbering));
    connect(&reads, &ReceiveCheckRun::finished, this, [this] { StartWriting(); });
    reads.Start();
}

void VerifyRun::StartWriting() {
    if (options_.writes.empty()) {
        Finish();
        return;
    }
    if (atStep_) atStep_(VerifyStep::Writing);
    WriteCheckRun& writes = session_->TakeCheck(std::make_unique<WriteCheckRun>(
        *session_->Model(), session_->Client(), options_.indexNumbering, options_.writes, options_.frameWaitMs));
    connect(&writes, &WriteCheckRun::finished, this, [this] { Finish(); });
    writes.Start();
}

void VerifyRun::Finish(const std::string& failure) {
    if (finished_) return;
    finished_ = true;
    listening_ = false;
    failure_ = failure;
    if (loop_) loop_->quit();
}

}  // namespace vestrel::live
