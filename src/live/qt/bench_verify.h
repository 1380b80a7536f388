#pragma once

#include "gateway/model_loading.h"
#include "live/bench_settings.h"
#include "platform/result.h"
#include "live/verify_report.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QEventLoop;
class QTimer;

namespace vestrel::live {

class BenchSession;
struct TimedFrame;

struct VerifyOptions {
    CanEndpoint can;
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
    std::uint64_t frames = 0;    // frames heard while listening
    std::uint64_t fdFrames = 0;  // of them CAN FD frames, which feed nothing
    std::vector<RegisterCheck> checks;
    std::vector<WriteCheck> writes;
};

// vestrel-cli verify: opens both interfaces, listens to the CAN bus and
// feeds the model, then checks the receive registers and the writes. The
// model is fed until the end, so a frame during the reads counts. Runs a
// local event loop; a QCoreApplication must exist.
class VerifyRun : public QObject {
    Q_OBJECT

public:
    VerifyRun(std::shared_ptr<const gateway::ProjectModel> project, VerifyOptions options,
              std::function<void(VerifyStep)> atStep = {});
    ~VerifyRun() override;

    // What was heard and checked, or why the check could not run (a port
    // or an interface that does not open).
    Result<VerifyResult> Run();
    // What the interfaces said on the way that did not stop the run, failed or not.
    const std::vector<std::string>& Notes() const { return notes_; }

private:
    void OnFrames(const std::vector<TimedFrame>& frames);
    void StartListening();
    void StartPolling();
    void StartWriting();
    void Finish(const std::string& failure = {});

    VerifyOptions options_;
    std::function<void(VerifyStep)> atStep_;
    std::unique_ptr<BenchSession> session_;
    VerifyResult result_;
    std::vector<std::string> notes_;
    std::string failure_;  // why the run stopped short; empty while it goes on
    bool listening_ = false;
    bool finished_ = false;
    QEventLoop* loop_ = nullptr;
    QTimer* timer_ = nullptr;
};

}  // namespace vestrel::live
