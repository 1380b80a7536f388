#include "live/qt/bench_session.h"

#include "live/qt/can_bus.h"
#include "live/qt/check_runs.h"
#include "live/qt/modbus_client.h"

namespace vestrel::live {

BenchSession::BenchSession(QObject* parent)
    : QObject(parent), bus_(std::make_unique<CanBus>()), client_(std::make_unique<ModbusClient>()) {
    connect(bus_.get(), &CanBus::framesReceived, this, [this](const std::vector<TimedFrame>& frames) { Feed(frames); });
}

BenchSession::~BenchSession() { Close(); }

void BenchSession::SetProject(std::shared_ptr<const gateway::ProjectModel> project, gateway::SignalValues meanings) {
    // The checks read the old monitor's table: they go before it does.
    DropReadCheck();
    DropWriteCheck();
    monitor_.reset();
    project_ = std::move(project);
    meanings_ = std::move(meanings);
    if (project_) monitor_ = std::make_unique<BusMonitor>(project_->model);
    emit projectChanged();
}

void BenchSession::OnSent(const TimedFrame& sent) { Feed({sent}); }

void BenchSession::Feed(const std::vector<TimedFrame>& frames) {
    if (monitor_)
        for (const TimedFrame& timed : frames) monitor_->Feed(timed.frame, timed.time);
    if (writes_ && writes_->Running())
        for (const TimedFrame& timed : frames) writes_->OnFrame(timed.frame);
    emit framesFed(frames);
}

ReceiveCheckRun& BenchSession::StartReadCheck(ReadFunction function, Numbering indexNumbering) {
    DropReadCheck();
    reads_ = std::make_unique<ReceiveCheckRun>(project_->model, monitor_->Table(), *client_, function, indexNumbering);
    return *reads_;
}

WriteCheckRun& BenchSession::StartWriteCheck(Numbering indexNumbering, const gateway::RegisterValues& values,
                                             int frameWaitMs) {
    DropWriteCheck();
    writes_ = std::make_unique<WriteCheckRun>(project_->model, *client_, indexNumbering, values, frameWaitMs);
    return *writes_;
}

void BenchSession::DropReadCheck() { reads_.reset(); }

void BenchSession::DropWriteCheck() { writes_.reset(); }

bool BenchSession::Checking() const { return (reads_ && reads_->Running()) || (writes_ && writes_->Running()); }

void BenchSession::Close() {
    DropReadCheck();
    DropWriteCheck();
    bus_->Close();
    client_->Close();
}

}  // namespace vestrel::live
