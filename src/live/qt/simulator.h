#pragma once

#include "live/bench_settings.h"
#include "live/simulated_gateway.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace vestrel::live {

class CanBus;
struct TimedFrame;
class SimulatorServer;

// The simulated gateway on real buses: a Modbus RTU slave on a serial port
// (QModbusRtuSerialServer) that serves the register image of a
// SimulatedGateway, fed by the frames of a CAN interface, and sends on that
// interface the transmit frames a register write feeds. What it does is told
// line by line through `event`, so that a PLC programmer sees each change.
class Simulator : public QObject {
    Q_OBJECT

public:
    // `model` and `bus` must outlive the simulator; the bus may still be opening.
    Simulator(const gateway::GatewayModel& model, Numbering indexNumbering, CanBus& bus, QObject* parent = nullptr);
    ~Simulator() override;

    // Opens the serial port as slave `deviceAddress`, or says why it cannot
    // ("Cannot open serial port ...: ...").
    Result<void> Open(const std::string& port, const SerialSettings& settings, int deviceAddress);
    void Close();

    const SimulatedGateway& Gateway() const { return gateway_; }

    // What an event line tells of.
    enum class EventKind {
        Frame,  // a frame from the bus and the registers it set
        Write,  // a write from the Modbus master and the frames it sent
    };

signals:
    // "181#1122334455667788: register 1 = 0x1122, register 2 = 0x3344",
    // "write register 100 = 0x1234: sent 201#1234000000000000".
    void event(const QString& line, Simulator::EventKind kind);
    // The serial port failed after it was opened.
    void linkFailed(const QString& message);

private:
    friend class SimulatorServer;
    void OnFrames(const std::vector<TimedFrame>& frames);
    // A write the server took: stores it and sends the frames it feeds.
    bool OnWrite(std::uint16_t address, const std::vector<std::uint16_t>& values);

    const gateway::GatewayModel& model_;
    SimulatedGateway gateway_;
    CanBus& bus_;
    SimulatorServer* server_ = nullptr;
};

}  // namespace vestrel::live
