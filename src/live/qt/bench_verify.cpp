#include "live/qt/bench_verify.h"

#include "live/qt/can_bus.h"
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
    loop_ = &loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer_ = &timer;
    table_ = std::make_unique<gateway::RegisterTable>(model_);
    client_ = std::make_unique<ModbusClient>();
    client_->SetDeviceAddress(options_.deviceAddress);
    client_->SetTimeOut(options_.timeOutMs);
    if (std::string failure = client_->Open(options_.port, options_.serial); !failure.empty()) {
        result_.failure = failure;
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
        if (listening_) {
            StartPolling();
        } else if (current_) {
            current_ = nullptr;
            WriteNext();
        } else {
            Finish("Cannot open CAN interface " + options_.can.Text() + ": not open after " +
                   std::to_string(options_.openWaitMs) + " ms");
        }
    });
    timer.start(options_.openWaitMs);
    bus_->Open(options_.can, options_.canBitRate);
    if (!finished_) loop.exec();
    timer.stop();
    bus_->Close();
    client_->Close();
    loop_ = nullptr;
    timer_ = nullptr;
    if (receive_) result_.checks = receive_->Checks();
    return std::move(result_);
}

void VerifyRun::OnFrames(const std::vector<TimedFrame>& frames) {
    for (const TimedFrame& timed : frames) {
        table_->Feed(timed.frame, timed.time);
        if (listening_) ++result_.frames;
        if (current_ && current_->frames) current_->frames->OnFrame(timed.frame);
    }
    if (listening_ && options_.frameLimit > 0 && result_.frames >= options_.frameLimit) StartPolling();
    if (current_ && answered_ && current_->frames->AllMatched()) {
        current_ = nullptr;
        timer_->stop();
        WriteNext();
    }
}

void VerifyRun::StartListening() {
    timer_->stop();
    listening_ = true;
    if (atStep_) atStep_(VerifyStep::Listening);
    if (finished_ || !listening_) return;
    if (options_.frameLimit > 0 && result_.frames >= options_.frameLimit) {
        StartPolling();
        return;
    }
    timer_->start(options_.listenMs);
}

void VerifyRun::StartPolling() {
    if (!listening_) return;
    listening_ = false;
    timer_->stop();
    if (atStep_) atStep_(VerifyStep::Polling);
    receive_ = std::make_unique<ReceiveVerifier>(model_, options_.indexNumbering);
    receive_->Begin(*table_);
    PollNext();
}

void VerifyRun::PollNext() {
    if (finished_) return;
    const std::optional<RegisterBlock> block = receive_->NextRequest(*table_);
    if (!block) {
        StartWriting();
        return;
    }
    client_->Read(options_.function, *block, [this](const RequestOutcome& outcome) {
        if (outcome.ok)
            receive_->OnValues(*table_, outcome.values);
        else
            receive_->OnFailure(outcome.text);
        // Outside the reply's signal, so that a failed port cannot recurse.
        QTimer::singleShot(0, this, [this] { PollNext(); });
    });
}

void VerifyRun::StartWriting() {
    if (options_.writes.empty()) {
        Finish();
        return;
    }
    if (atStep_) atStep_(VerifyStep::Writing);
    std::map<std::uint16_t, std::uint16_t> byAddress;
    for (const auto& [reg, value] : options_.writes) {
        if (auto address = AddressOf(reg, options_.indexNumbering)) {
            byAddress[*address] = value;
            continue;
        }
        WriteCheck& bad = result_.writes.emplace_back();
        bad.values[reg] = value;
        bad.error = "register 0 has no protocol address when the Index is a 1-based register number";
    }
    for (const RegisterBlock& block : PlanWrites(byAddress)) {
        WriteCheck& w = result_.writes.emplace_back();
        w.block = block;
        w.function = block.count == 1 ? WriteFunction::SingleRegister : WriteFunction::MultipleRegisters;
        for (int i = 0; i < block.count; ++i) {
            const auto address = static_cast<std::uint16_t>(block.start + i);
            w.values[static_cast<std::uint16_t>(NumberOf(address, options_.indexNumbering))] = byAddress.at(address);
        }
        w.frames = std::make_unique<TransmitVerifier>(model_, w.values);
    }
    writeAt_ = 0;
    WriteNext();
}

void VerifyRun::WriteNext() {
    while (writeAt_ < result_.writes.size() && !result_.writes[writeAt_].error.empty()) ++writeAt_;
    if (finished_ || writeAt_ >= result_.writes.size()) {
        Finish();
        return;
    }
    WriteCheck& w = result_.writes[writeAt_++];
    // The frames are watched from the moment the request goes out: a device
    // may send them before it answers.
    current_ = &w;
    answered_ = false;
    std::vector<std::uint16_t> values;
    for (int i = 0; i < w.block.count; ++i)
        values.push_back(options_.writes.at(static_cast<std::uint16_t>(
            NumberOf(static_cast<std::uint16_t>(w.block.start + i), options_.indexNumbering))));
    client_->Write(w.function, w.block.start, values, [this, &w](const RequestOutcome& outcome) {
        if (current_ != &w) return;
        answered_ = true;
        if (!outcome.ok) w.error = outcome.text;
        if (!outcome.ok || w.frames->AllMatched()) {
            current_ = nullptr;
            QTimer::singleShot(0, this, [this] { WriteNext(); });
            return;
        }
        timer_->start(options_.frameWaitMs);
    });
}

void VerifyRun::Finish(const std::string& failure) {
    if (finished_) return;
    finished_ = true;
    listening_ = false;
    current_ = nullptr;
    if (!failure.empty()) result_.failure = failure;
    if (loop_) loop_->quit();
}

}  // namespace vestrel::live
