#pragma once

#include "live/qt/bench_check.h"
#include "live/verify_report.h"

#include <memory>
#include <vector>

class QTimer;

namespace vestrel::live {

class ModbusClient;

// Expected against read for the receive registers, through an open client:
// reads what the verifier asks for, one request after the other, and says
// `finished` when every register has its verdict. The table is read at each
// request and answer, so it may go on being fed meanwhile.
//
// A run is the receiver of its requests: destroying it cancels every
// callback still outstanding, so whoever owns a run may drop it at any time,
// a request out or not. The same holds for WriteCheckRun.
class ReceiveCheckRun : public BenchCheck {
    Q_OBJECT

public:
    // Everything given must outlive the run.
    ReceiveCheckRun(const gateway::GatewayModel& model, const gateway::RegisterTable& table, ModbusClient& client,
                    ReadFunction function, Numbering indexNumbering, QObject* parent = nullptr);

    void Start() override;
    bool Running() const override { return running_; }
    std::vector<std::string> Lines(const CheckLineContext& context) const override;
    const std::vector<RegisterCheck>& Checks() const { return verifier_.Checks(); }

private:
    void Next();

    const gateway::RegisterTable& table_;
    ModbusClient& client_;
    ReadFunction function_;
    Numbering numbering_;
    ReceiveVerifier verifier_;
    bool running_ = false;
};

// The transmit check through an open client: writes the values (06 for one
// register, 16 for consecutive ones), watches the frames the caller passes
// in from the moment each write goes out, and after the answer waits up to
// `frameWaitMs` for the frames still missing.
class WriteCheckRun : public BenchCheck {
    Q_OBJECT

public:
    WriteCheckRun(const gateway::GatewayModel& model, ModbusClient& client, Numbering indexNumbering,
                  const gateway::RegisterValues& values, int frameWaitMs, QObject* parent = nullptr);
    ~WriteCheckRun() override;

    void Start() override;
    // A frame heard on the bus: the frames a write feeds.
    void OnFrame(const can::CanFrame& frame) override;
    bool Running() const override { return running_; }
    std::vector<std::string> Lines(const CheckLineContext& context) const override;
    std::vector<WriteCheck>& Writes() { return writes_; }
    int FrameWaitMs() const { return frameWaitMs_; }

private:
    void Next();
    void Done(WriteCheck& write);

    ModbusClient& client_;
    Numbering numbering_;
    int frameWaitMs_;
    std::vector<WriteCheck> writes_;
    std::size_t next_ = 0;
    WriteCheck* current_ = nullptr;  // the write whose frames are watched
    bool answered_ = false;
    bool running_ = false;
    QTimer* wait_;
};

}  // namespace vestrel::live
