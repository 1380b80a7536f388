#include "live/qt/bench_verify.h"

#include "live/qt/can_bus.h"
#include "live/qt/check_runs.h"
#include "live/qt/modbus_client.h"

#include <QEventLoop>
#include <QTimer>

namespace vestrel::live {

VerifyRun::VerifyRun(const gateway::GatewayModel& model, VerifyOptions options,
                     std::function<void(VerifyStep)> atStep)
    : model_(model), options_(std::move(options)), atStep_(std::move(atStep)) {}

VerifyRun::~VerifyRun() = default;

VerifyResult VerifyRun::Run() {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    loop_ = &loop;
    timer_ = &timer;
    table_ = std::make_unique<gateway::RegisterTable>(model_);
    client_ = std::make_unique<ModbusClient>();
    client_->SetDeviceAddress(options_.deviceAddress);
    client_->SetTimeOut(options_.timeOutMs);
    if (const Result<void> opened = client_->Open(options_.port, options_.serial); !opened) {
        result_.failure = opened.Why();
        return std::move(result_);
    }
    bus_ = std::make_unique<CanBus>();
    connect(bus_.get(), &CanBus::opened, this, [this] { StartListening(); });
    connect(bus_.get(), &CanBus::failed, this, [this](const QString& message) { Finish(message.toStdString()); });
    connect(bus_.get(), &CanBus::note, this,
            [this](const QString& message) { result_.notes.push_back(message.toStdString()); });
    connect(bus_.get(), &CanBus::framesReceived, this,
            [this](const std::vector<TimedFrame>& frames) { OnFrames(frames); });
    connect(client_.get(), &ModbusClient::linkFailed, this,
            [this](const QString& message) { result_.notes.push_back(message.toStdString()); });
    connect(&timer, &QTimer::timeout, this, [this] {
        if (listening_)
            StartPolling();
        else
            Finish("Cannot open CAN interface " + options_.can.Text() + ": not open after " +
                   std::to_string(options_.openWaitMs) + " ms");
    });
    timer.start(options_.openWaitMs);
    bus_->Open(options_.can, options_.canBitRate);
    if (!finished_) loop.exec();
    timer.stop();
    bus_->Close();
    client_->Close();
    loop_ = nullptr;
    timer_ = nullptr;
    if (reads_) result_.checks = reads_->Checks();
    if (writes_) result_.writes = std::move(writes_->Writes());
    return std::move(result_);
}

void VerifyRun::OnFrames(const std::vector<TimedFrame>& frames) {
    for (const TimedFrame& timed : frames) {
        const auto fed = table_->Feed(timed.frame, timed.time);
        if (listening_) ++result_.frames;
        if (listening_ && fed.match.kind == gateway::MatchKind::CanFd) ++result_.fdFrames;
        if (writes_) writes_->OnFrame(timed.frame);
    }
    if (listening_ && options_.frameLimit > 0 && result_.frames >= options_.frameLimit) StartPolling();
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
    reads_ = std::make_unique<ReceiveCheckRun>(model_, *table_, *client_, options_.function, options_.indexNumbering);
    connect(reads_.get(), &ReceiveCheckRun::finished, this, [this] { StartWriting(); });
    reads_->Start();
}

void VerifyRun::StartWriting() {
    if (options_.writes.empty()) {
        Finish();
        return;
    }
    if (atStep_) atStep_(VerifyStep::Writing);
    writes_ = std::make_unique<WriteCheckRun>(model_, *client_, options_.indexNumbering, options_.writes,
                                              options_.frameWaitMs);
    connect(writes_.get(), &WriteCheckRun::finished, this, [this] { Finish(); });
    writes_->Start();
}

void VerifyRun::Finish(const std::string& failure) {
    if (finished_) return;
    finished_ = true;
    listening_ = false;
    if (!failure.empty()) result_.failure = failure;
    if (loop_) loop_->quit();
}

}  // namespace vestrel::live
