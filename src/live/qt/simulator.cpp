#include "live/qt/simulator.h"

#include "gateway/gateway_model.h"
#include "gateway/model_wording.h"
#include "live/qt/can_bus.h"
#include "live/qt/modbus_client.h"

#include <QModbusRtuSerialServer>
#include <QVariant>

#include <algorithm>
#include <iterator>

namespace vestrel::live {

namespace {

bool IsWrite(QModbusPdu::FunctionCode code) {
    return code == QModbusPdu::WriteSingleRegister || code == QModbusPdu::WriteMultipleRegisters;
}

// The functions the gateway's mapping gives a meaning to.
bool IsServed(QModbusPdu::FunctionCode code) {
    return code == QModbusPdu::ReadHoldingRegisters || code == QModbusPdu::ReadInputRegisters || IsWrite(code);
}

// A request of a function Qt does not know is as long as what has come,
// so that it reaches processRequest (whole, its CRC checked) and gets
// exception 01 like every other function the simulator does not serve.
int WholeRequest(const QModbusRequest& request) { return static_cast<int>(request.dataSize()); }

void FrameUnknownFunctions() {
    static const bool once = [] {
        // The request functions Qt frames itself.
        constexpr int kKnown[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x0B, 0x0C,
                                  0x0F, 0x10, 0x11, 0x14, 0x15, 0x16, 0x17, 0x18, 0x2B};
        for (int code = 1; code < 0x80; ++code)
            if (std::find(std::begin(kKnown), std::end(kKnown), code) == std::end(kKnown))
                QModbusRequest::registerDataSizeCalculator(static_cast<QModbusPdu::FunctionCode>(code), &WholeRequest);
        return true;
    }();
    (void)once;
}

}  // namespace

// The slave: every register access goes to the simulated gateway, so that
// registers the mapping does not name answer exception 02 and holding and
// input registers are one table.
class SimulatorServer : public QModbusRtuSerialServer {
public:
    SimulatorServer(Simulator& owner, QObject* parent) : QModbusRtuSerialServer(parent), owner_(owner) {}

protected:
    QModbusResponse processRequest(const QModbusPdu& request) override {
        // Exactly 03, 04, 06 and 16: never Qt's other functions (22 and 23
        // would write, 08 sub-function 04 would silence the slave).
        if (!IsServed(request.functionCode()))
            return QModbusExceptionResponse(request.functionCode(), QModbusExceptionResponse::IllegalFunction);
        // A write to a register that is mapped but not a transmit register is
        // refused like one that is not mapped at all.
        if (IsWrite(request.functionCode()) && request.dataSize() >= 4) {
            quint16 address = 0, second = 0;
            request.decodeData(&address, &second);
            const int count = request.functionCode() == QModbusPdu::WriteSingleRegister ? 1 : second;
            for (int i = 0; i < count; ++i) {
                if (address + i > 0xFFFF || !owner_.gateway_.Writable(static_cast<std::uint16_t>(address + i)))
                    return QModbusExceptionResponse(request.functionCode(),
                                                    QModbusExceptionResponse::IllegalDataAddress);
            }
        }
        return QModbusRtuSerialServer::processRequest(request);
    }

    bool readData(QModbusDataUnit* unit) const override {
        if (unit->registerType() != QModbusDataUnit::HoldingRegisters &&
            unit->registerType() != QModbusDataUnit::InputRegisters)
            return false;
        std::vector<std::uint16_t> values;
        if (!owner_.gateway_.Read(static_cast<std::uint16_t>(unit->startAddress()), static_cast<int>(unit->valueCount()),
                                  values))
            return false;
        unit->setValues(QList<quint16>(values.begin(), values.end()));
        return true;
    }

    bool writeData(const QModbusDataUnit& unit) override {
        if (unit.registerType() != QModbusDataUnit::HoldingRegisters) return false;
        const QList<quint16> values = unit.values();
        return owner_.OnWrite(static_cast<std::uint16_t>(unit.startAddress()),
                              std::vector<std::uint16_t>(values.begin(), values.end()));
    }

private:
    Simulator& owner_;
};

Simulator::Simulator(const gateway::GatewayModel& model, Numbering indexNumbering, CanBus& bus, QObject* parent)
    : QObject(parent), model_(model), gateway_(model, indexNumbering), bus_(bus) {
    connect(&bus_, &CanBus::framesReceived, this, [this](const std::vector<TimedFrame>& frames) { OnFrames(frames); });
}

Simulator::~Simulator() { Close(); }

Result<void> Simulator::Open(const std::string& port, const SerialSettings& s, int deviceAddress) {
    Close();
    FrameUnknownFunctions();
    server_ = new SimulatorServer(*this, this);
    server_->setServerAddress(deviceAddress);
    QModbusDevice* device = server_;
    Result<void> opened = OpenSerialDevice(device, port, s, this, [this](const QString& why) { emit linkFailed(why); });
    if (!device) server_ = nullptr;
    return opened;
}

void Simulator::Close() {
    QModbusDevice* device = server_;
    CloseSerialDevice(device, this);
    server_ = nullptr;
}

void Simulator::OnFrames(const std::vector<TimedFrame>& frames) {
    for (const TimedFrame& timed : frames) {
        if (model_.MatchReceive(timed.frame).kind == gateway::MatchKind::CanFd) {
            emit event(QString::fromStdString(can::CompactFrameText(timed.frame) + ": " +
                                              std::string(gateway::kCanFdNotFed)),
                       EventKind::Frame);
            continue;
        }
        const auto changes = gateway_.Feed(timed.frame, timed.time);
        if (changes.empty()) continue;
        std::string line = can::CompactFrameText(timed.frame) + ":";
        for (std::size_t i = 0; i < changes.size(); ++i)
            line += (i ? ", register " : " register ") + std::to_string(changes[i].reg) + " = " +
                    gateway::RegisterValueText(changes[i].after);
        emit event(QString::fromStdString(line), EventKind::Frame);
    }
}

bool Simulator::OnWrite(std::uint16_t address, const std::vector<std::uint16_t>& values) {
    std::vector<can::CanFrame> frames;
    if (!gateway_.Write(address, values, frames)) return false;
    // Registers by the project's number, as preview and replay name them.
    std::string line = "write";
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto at = static_cast<std::uint16_t>(address + i);
        line += (i ? ", register " : " register ") + std::to_string(NumberOf(at, gateway_.IndexNumbering()));
        if (gateway_.IndexNumbering() != Numbering::ProtocolAddress)
            line += " (protocol address " + std::to_string(at) + ")";
        line += " = " + gateway::RegisterValueText(values[i]);
    }
    line += ":";
    if (frames.empty()) line += " it feeds no transmit frame";
    for (const can::CanFrame& frame : frames) {
        if (const Result<void> sent = bus_.Send(frame))
            line += " sent " + can::CompactFrameText(frame);
        else
            line += " " + sent.Why();
        line += ';';
    }
    if (line.back() == ';') line.pop_back();
    emit event(QString::fromStdString(line), EventKind::Write);
    return true;
}

}  // namespace vestrel::live
