#include "live/qt/bench_session.h"

#include "live/qt/can_bus.h"
#include "live/qt/modbus_client.h"

#include <algorithm>

namespace vestrel::live {

BenchSession::BenchSession(QObject* parent)
    : QObject(parent), bus_(std::make_unique<CanBus>()), client_(std::make_unique<ModbusClient>()) {
    connect(bus_.get(), &CanBus::framesReceived, this, [this](const std::vector<TimedFrame>& frames) { Feed(frames); });
}

BenchSession::~BenchSession() { Close(); }

void BenchSession::SetProject(std::shared_ptr<const gateway::ProjectModel> project, gateway::SignalValues meanings) {
    // The checks read the old monitor's table: they go before it does.
    checks_.clear();
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
    for (const auto& check : checks_)
        if (check->Running())
            for (const TimedFrame& timed : frames) check->OnFrame(timed.frame);
    emit framesFed(frames);
}

void BenchSession::Add(std::unique_ptr<BenchCheck> check) {
    BenchCheck& added = *check;
    Drop(typeid(added));
    checks_.push_back(std::move(check));
}

void BenchSession::Drop(const std::type_info& kind) {
    std::erase_if(checks_, [&](const std::unique_ptr<BenchCheck>& check) {
        const BenchCheck& held = *check;
        return typeid(held) == kind;
    });
}

bool BenchSession::Checking() const {
    return std::any_of(checks_.begin(), checks_.end(), [](const auto& check) { return check->Running(); });
}

CheckLineContext BenchSession::LineContext() const {
    return {Meanings(), Model() ? Model()->SharedRegisters() : std::span<const std::uint16_t>{}};
}

void BenchSession::Close() {
    checks_.clear();
    bus_->Close();
    client_->Close();
}

}  // namespace vestrel::live
