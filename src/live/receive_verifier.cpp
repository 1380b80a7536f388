#include "live/receive_verifier.h"

#include "gateway/model_wording.h"

#include <algorithm>

namespace vestrel::live {

using gateway::RegisterTable;
using gateway::RegisterValue;

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Ok: return "OK";
        case Verdict::Mismatch: return "MISMATCH";
        case Verdict::NotFed: return "NOT FED";
        case Verdict::Error: return "ERROR";
    }
    return "";
}

bool Agrees(const RegisterValue& expected, std::uint16_t read) {
    if (expected.highKnown && (expected.bits >> 8) != (read >> 8)) return false;
    if (expected.lowKnown && (expected.bits & 0xFF) != (read & 0xFF)) return false;
    return expected.highKnown || expected.lowKnown;
}

bool StillCurrent(const RegisterCheck& check, const RegisterTable& table) {
    return table.Value(check.index) == check.expected;
}

std::string OutOfDateText(const RegisterCheck& check, const RegisterTable& table) {
    return "OUT OF DATE: compared with " + gateway::RegisterValueText(check.expected) + ", the traffic now gives " +
           gateway::RegisterValueText(table.Value(check.index)) + "; read and compare again";
}

ReceiveVerifier::ReceiveVerifier(const gateway::GatewayModel& model, Numbering indexNumbering)
    : model_(model), numbering_(indexNumbering) {}

void ReceiveVerifier::Begin(const RegisterTable& table) {
    checks_.clear();
    byAddress_.clear();
    retrying_ = false;
    current_.reset();
    for (std::uint16_t reg : model_.ReceiveRegisters()) {
        RegisterCheck& check = checks_.emplace_back();
        check.index = reg;
        check.address = AddressOf(reg, numbering_);
        check.expected = table.Value(reg);
        if (!check.expected.highKnown && !check.expected.lowKnown) continue;
        check.verdict = Verdict::Error;
        if (!check.address) {
            check.error = "register 0 has no protocol address when the Index is a 1-based register number";
            continue;
        }
        check.error = "not read";
        byAddress_[*check.address] = checks_.size() - 1;
    }
    QueueReads(false);
}

void ReceiveVerifier::QueueReads(bool mismatchesOnly) {
    std::vector<std::uint16_t> addresses;
    for (const auto& [address, at] : byAddress_)
        if (!mismatchesOnly || checks_[at].verdict == Verdict::Mismatch) addresses.push_back(address);
    pending_ = PlanReads(std::move(addresses));
    std::reverse(pending_.begin(), pending_.end());
}

RegisterCheck* ReceiveVerifier::CheckAt(std::uint16_t address) {
    const auto it = byAddress_.find(address);
    return it == byAddress_.end() ? nullptr : &checks_[it->second];
}

std::optional<RegisterBlock> ReceiveVerifier::NextRequest(const RegisterTable& table) {
    if (pending_.empty() && !retrying_) {
        retrying_ = true;
        QueueReads(true);
    }
    if (pending_.empty()) {
        current_.reset();
        return std::nullopt;
    }
    current_ = pending_.back();
    pending_.pop_back();
    atRequest_.clear();
    for (int i = 0; i < current_->count; ++i) {
        const RegisterCheck* check = CheckAt(static_cast<std::uint16_t>(current_->start + i));
        atRequest_.push_back(check ? table.Value(check->index) : RegisterValue{});
    }
    return current_;
}

void ReceiveVerifier::OnValues(const RegisterTable& table, const std::vector<std::uint16_t>& values) {
    if (!current_) return;
    for (int i = 0; i < current_->count; ++i) {
        RegisterCheck* check = CheckAt(static_cast<std::uint16_t>(current_->start + i));
        if (!check) continue;
        if (const Result<void> answer = CheckReadAnswer(*current_, values.size()); !answer) {
            check->verdict = Verdict::Error;
            check->error = answer.Why();
            check->read.reset();
            check->readTwice = retrying_;
            continue;
        }
        const std::uint16_t read = values[static_cast<std::size_t>(i)];
        const RegisterValue before = atRequest_[static_cast<std::size_t>(i)];
        const RegisterValue now = table.Value(check->index);
        check->read = read;
        check->error.clear();
        check->readTwice = retrying_;
        const bool agreesBefore = Agrees(before, read);
        check->expected = agreesBefore ? before : now;
        check->verdict = agreesBefore || Agrees(now, read) ? Verdict::Ok : Verdict::Mismatch;
    }
    current_.reset();
}

void ReceiveVerifier::OnFailure(const std::string& error) {
    if (!current_) return;
    for (int i = 0; i < current_->count; ++i) {
        RegisterCheck* check = CheckAt(static_cast<std::uint16_t>(current_->start + i));
        if (!check) continue;
        check->verdict = Verdict::Error;
        check->error = error;
        check->read.reset();
        check->readTwice = retrying_;
    }
    current_.reset();
}

}  // namespace vestrel::live
