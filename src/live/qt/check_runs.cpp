#include "live/qt/check_runs.h"

#include "live/qt/modbus_client.h"

#include <QTimer>

namespace vestrel::live {

ReceiveCheckRun::ReceiveCheckRun(const gateway::GatewayModel& model, const gateway::RegisterTable& table,
                                 ModbusClient& client, ReadFunction function, Numbering indexNumbering,
                                 QObject* parent)
    : BenchCheck(parent), table_(table), client_(client), function_(function), numbering_(indexNumbering),
      verifier_(model, indexNumbering) {}

std::vector<std::string> ReceiveCheckRun::Lines(const CheckLineContext& context) const {
    return ReceiveLines(Checks(), numbering_, function_, context.signalValues, context.shared);
}

std::vector<std::string> WriteCheckRun::Lines(const CheckLineContext& context) const {
    return WriteLines(writes_, frameWaitMs_, context.shared);
}

void ReceiveCheckRun::Start() {
    running_ = true;
    verifier_.Begin(table_);
    Next();
}

void ReceiveCheckRun::Next() {
    const std::optional<RegisterBlock> block = verifier_.NextRequest(table_);
    if (!block) {
        running_ = false;
        emit finished();
        return;
    }
    client_.Read(function_, *block, this, [this](const RequestOutcome& outcome) {
        if (outcome.values)
            verifier_.OnValues(table_, *outcome.values);
        else
            verifier_.OnFailure(outcome.values.Why());
        // Outside the reply's own signal, so that a port that fails at once
        // cannot recurse.
        QTimer::singleShot(0, this, [this] { Next(); });
    });
}

WriteCheckRun::WriteCheckRun(const gateway::GatewayModel& model, ModbusClient& client, Numbering indexNumbering,
                             const gateway::RegisterValues& values, int frameWaitMs, QObject* parent)
    : BenchCheck(parent), client_(client), numbering_(indexNumbering), frameWaitMs_(frameWaitMs),
      wait_(new QTimer(this)) {
    wait_->setSingleShot(true);
    connect(wait_, &QTimer::timeout, this, [this] {
        if (current_) Done(*current_);
    });
    std::map<std::uint16_t, std::uint16_t> byAddress;
    for (const auto& [reg, value] : values) {
        if (auto address = AddressOf(reg, numbering_)) {
            byAddress[*address] = value;
            continue;
        }
        WriteCheck& bad = writes_.emplace_back();
        bad.values[reg] = value;
        bad.error = "register 0 has no protocol address when the Index is a 1-based register number";
    }
    for (const RegisterBlock& block : PlanWrites(byAddress)) {
        WriteCheck& w = writes_.emplace_back();
        w.block = block;
        w.function = block.count == 1 ? WriteFunction::SingleRegister : WriteFunction::MultipleRegisters;
        for (int i = 0; i < block.count; ++i) {
            const auto address = static_cast<std::uint16_t>(block.start + i);
            w.values[static_cast<std::uint16_t>(NumberOf(address, numbering_))] = byAddress.at(address);
        }
        w.frames = std::make_unique<TransmitVerifier>(model, w.values);
    }
}

WriteCheckRun::~WriteCheckRun() = default;

void WriteCheckRun::Start() {
    running_ = true;
    next_ = 0;
    Next();
}

void WriteCheckRun::OnFrame(const can::CanFrame& frame) {
    if (!current_) return;
    current_->frames->OnFrame(frame);
    if (answered_ && current_->frames->AllMatched()) Done(*current_);
}

void WriteCheckRun::Next() {
    while (next_ < writes_.size() && !writes_[next_].error.empty()) ++next_;
    if (next_ >= writes_.size()) {
        running_ = false;
        emit finished();
        return;
    }
    WriteCheck& w = writes_[next_++];
    // Frames are watched from the moment the request goes out: a device may
    // send them before it answers.
    current_ = &w;
    answered_ = false;
    std::vector<std::uint16_t> values;
    for (const auto& [reg, value] : w.values) values.push_back(value);  // ascending Index is ascending address
    client_.Write(w.function, w.block.start, values, this, [this, &w](const RequestOutcome& outcome) {
        if (current_ != &w) return;
        answered_ = true;
        if (!outcome.values) w.error = outcome.values.Why();
        if (!outcome.values || w.frames->AllMatched())
            Done(w);
        else
            wait_->start(frameWaitMs_);
    });
}

void WriteCheckRun::Done(WriteCheck& write) {
    if (current_ != &write) return;
    current_ = nullptr;
    wait_->stop();
    QTimer::singleShot(0, this, [this] { Next(); });
}

}  // namespace vestrel::live
