#pragma once

#include "live/bench_settings.h"
#include "live/verify_report.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QEventLoop;
class QTimer;

namespace vestrel::live {

class CanBus;
class ModbusClient;
struct TimedFrame;

struct VerifyOptions {
    CanInterfaceSpec can;
    int canBitRate = 0;  // 0 keeps the interface's rate
    std::string port;
    SerialSettings serial;
    int deviceAddress = 1;
    ReadFunction function = ReadFunction::HoldingRegisters;
    Numbering indexNumbering = Numbering::ProtocolAddress;
    int listenMs = 5000;
    std::uint64_t frameLimit = 0;  // stop listening after this many frames; 0 listens the whole time
    int timeOutMs = 1000;          // per Modbus request
    int frameWaitMs = 1000;        // for the frames a write feeds
    gateway::RegisterValues writes;  // register number (Index) -> value
    int openWaitMs = 10000;        // for a CAN interface that opens in the background
};

struct VerifyResult {
    std::string failure;  // why the check could not run (a port or an interface that does not open)
    std::vector<std::string> notes;
    std::uint64_t frames = 0;  // frames heard while listening
    std::vector<RegisterCheck> checks;
    std::vector<WriteCheck> writes;
};

// vestrel-cli verify: listens to the CAN bus and feeds the model, reads every
// fed receive register from the device and compares, then writes the given
// registers and waits for the transmit frames they feed. Runs a local event
// loop; a QCoreApplication must exist.
class VerifyRun : public QObject {
    Q_OBJECT

public:
    VerifyRun(const gateway::GatewayModel& model, VerifyOptions options,
              std::function<void(VerifyStep)> atStep = {});
    ~VerifyRun() override;

    VerifyResult Run();

private:
    void OnFrames(const std::vector<TimedFrame>& frames);
    void StartListening();
    void StartPolling();
    void PollNext();
    void StartWriting();
    void WriteNext();
    void Finish(const std::string& failure = {});

    const gateway::GatewayModel& model_;
    VerifyOptions options_;
    std::function<void(VerifyStep)> atStep_;
    std::unique_ptr<CanBus> bus_;
    std::unique_ptr<ModbusClient> client_;
    std::unique_ptr<gateway::RegisterTable> table_;
    std::unique_ptr<ReceiveVerifier> receive_;
    VerifyResult result_;
    bool listening_ = false;
    std::vector<RegisterBlock> writeBlocks_;
    std::size_t writeAt_ = 0;
    WriteCheck* current_ = nullptr;  // the write whose frames are awaited
    bool answered_ = false;          // the device has answered it
    QEventLoop* loop_ = nullptr;
    QTimer* timer_ = nullptr;
    bool finished_ = false;
};

}  // namespace vestrel::live
