#pragma once

#include "gateway/model_loading.h"
#include "gateway/register_values.h"
#include "gateway/signal_values.h"
#include "live/bus_monitor.h"
#include "live/qt/bench_check.h"
#include "live/modbus_request.h"
#include "live/register_numbering.h"

#include <QObject>

#include <memory>
#include <typeinfo>
#include <vector>

namespace vestrel::live {

class CanBus;
class ModbusClient;
struct TimedFrame;

// One gateway on the bench: the project's model with the monitor that keeps
// its live register table, the CAN interface, the Modbus client, and the
// checks that run through them. The bench window and vestrel-cli verify
// both work through a session, so both feed the table and the checks alike:
// every frame heard (or sent from this process) goes to the monitor, then
// to each running check (BenchCheck), then out through `framesFed`.
//
// The session owns its checks, one of each kind. Taking a check drops the
// one of its kind, and dropping a check cancels every callback it has due;
// a new project drops them all. Whoever shows a check keeps only what the
// session hands out and asks again after `projectChanged`.
class BenchSession : public QObject {
    Q_OBJECT

public:
    explicit BenchSession(QObject* parent = nullptr);
    ~BenchSession() override;

    // The project to check, or none. Drops the checks of the old one and
    // starts a fresh monitor; the interfaces stay as they are.
    void SetProject(std::shared_ptr<const gateway::ProjectModel> project, gateway::SignalValues meanings = {});
    const gateway::ProjectModel* Project() const { return project_.get(); }
    const gateway::GatewayModel* Model() const { return project_ ? &project_->model : nullptr; }
    // Null without a project.
    BusMonitor* Monitor() const { return monitor_.get(); }
    // What imported signals make of the registers; null when none are.
    const gateway::SignalValues* Meanings() const { return Model() && !meanings_.Empty() ? &meanings_ : nullptr; }

    CanBus& Bus() const { return *bus_; }
    ModbusClient& Client() const { return *client_; }

    // A frame this process put on the bus. The interface does not hand a
    // sender its own frames back, yet the gateway receives them: they count
    // as traffic like any other.
    void OnSent(const TimedFrame& sent);

    // Takes `check` in place of the one of its kind; the caller connects to
    // it and starts it. A check reads the project's model, the monitor's
    // table and the client: it needs a project.
    template <typename Check>
    Check& TakeCheck(std::unique_ptr<Check> check) {
        Check& taken = *check;
        Add(std::move(check));
        return taken;
    }
    // The last check of a kind, running or finished; null when none or dropped.
    template <typename Check>
    Check* CheckOf() const {
        for (const auto& check : checks_)
            if (auto* found = dynamic_cast<Check*>(check.get())) return found;
        return nullptr;
    }
    template <typename Check>
    void DropCheck() {
        Drop(typeid(Check));
    }
    bool Checking() const;
    // What a check's lines may name of this project and its signals.
    CheckLineContext LineContext() const;

    // Drops the checks, closes the interface and the port.
    void Close();

signals:
    // Frames after the monitor and the write check have them. Connect
    // directly: the vector lives only during the call.
    void framesFed(const std::vector<vestrel::live::TimedFrame>& frames);
    // Another project (or none): what was shown of the old one is gone.
    void projectChanged();

private:
    void Feed(const std::vector<TimedFrame>& frames);
    void Add(std::unique_ptr<BenchCheck> check);
    void Drop(const std::type_info& kind);

    std::shared_ptr<const gateway::ProjectModel> project_;
    gateway::SignalValues meanings_;
    std::unique_ptr<BusMonitor> monitor_;
    std::unique_ptr<CanBus> bus_;
    std::unique_ptr<ModbusClient> client_;
    std::vector<std::unique_ptr<BenchCheck>> checks_;
};

}  // namespace vestrel::live
