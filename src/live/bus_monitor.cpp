#include "live/bus_monitor.h"

#include "gateway/model_wording.h"
#include "inspect/bank_decoder.h"
#include "platform/text.h"

#include <algorithm>
#include <tuple>

namespace vestrel::live {

using can::CanFrame;
using gateway::MatchKind;

namespace {

constexpr std::int64_t kRateWindow = 1'000'000;  // microseconds

auto SortKey(const MonitorEntry& e) { return std::tuple(e.error, e.extended, e.id, e.fd); }

std::string Named(const gateway::GatewayDirection& direction, int frame) {
    return gateway::FrameName(direction.direction, direction.frames[static_cast<std::size_t>(frame)], frame,
                              {.cobId = false});
}

}  // namespace

BusMonitor::BusMonitor(const gateway::GatewayModel& model) : model_(model) { table_.emplace(model); }

void BusMonitor::Clear() {
    entries_.clear();
    frames_ = 0;
    otherEntries_ = 0;
    unlisted_ = 0;
    table_.emplace(model_);
}

void BusMonitor::Classify(MonitorEntry& e) const {
    const gateway::IdentifierRole role = model_.RoleOf(e.id, e.extended, e.error, e.fd);
    e.role = role.role;
    e.frame = role.frame;
}

std::size_t BusMonitor::Feed(const can::CanFrame& frame, std::int64_t time) {
    ++frames_;
    MonitorEntry key;
    key.id = frame.id;
    key.extended = frame.extended;
    key.error = frame.error;
    key.fd = frame.fd;
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                               [](const MonitorEntry& a, const MonitorEntry& b) { return SortKey(a) < SortKey(b); });
    if (it == entries_.end() || SortKey(*it) != SortKey(key)) {
        Classify(key);
        const bool other = key.role == IdRole::Unknown || key.role == IdRole::WrongFormat || key.role == IdRole::ErrorFrame;
        if (other && otherEntries_ >= kMaxOtherEntries) {
            ++unlisted_;
            if (!frame.error) table_->Feed(frame, time);
            return entries_.size();
        }
        otherEntries_ += other;
        it = entries_.insert(it, std::move(key));
    }
    MonitorEntry& e = *it;
    ++e.count;
    e.last = frame;
    e.lastTime = time;
    e.recent.push_back(time);
    while (!e.recent.empty() && e.recent.front() <= time - kRateWindow) e.recent.pop_front();
    if ((e.role == IdRole::Receive || e.role == IdRole::Transmit) && !frame.remote) {
        const gateway::GatewayDirection& d = e.role == IdRole::Receive ? model_.Receive() : model_.Transmit();
        if (frame.length != d.frames[static_cast<std::size_t>(e.frame)].length) ++e.lengthMismatches;
    }
    if (!frame.error) table_->Feed(frame, time);
    return static_cast<std::size_t>(it - entries_.begin());
}

double BusMonitor::Rate(const MonitorEntry& entry, std::int64_t now) {
    const auto n = std::count_if(entry.recent.begin(), entry.recent.end(),
                                 [&](std::int64_t t) { return t > now - kRateWindow && t <= now; });
    return static_cast<double>(n) * 1e6 / static_cast<double>(kRateWindow);
}

bool BusMonitor::StandsOut(const MonitorEntry& e) {
    return e.role == IdRole::Unknown || e.role == IdRole::WrongFormat || e.role == IdRole::ErrorFrame ||
           e.role == IdRole::Ambiguous || e.role == IdRole::CanFd || e.lengthMismatches > 0;
}

std::string BusMonitor::RoleText(const MonitorEntry& e) const {
    std::string text;
    switch (e.role) {
        case IdRole::Receive: text = "receive " + Named(model_.Receive(), e.frame); break;
        case IdRole::Transmit: text = "transmit " + Named(model_.Transmit(), e.frame) + ", sent by the gateway"; break;
        case IdRole::Ambiguous:
            text = "held by several receive frames: ambiguous, no register is set";
            break;
        case IdRole::Unknown: text = "not in any frame table"; break;
        case IdRole::WrongFormat:
            text = std::string(e.extended ? "29-bit" : "11-bit") + " frame: matches no frame under CANType " +
                   std::to_string(model_.Banks().canType);
            break;
        case IdRole::ErrorFrame: text = "error frame"; break;
        case IdRole::CanFd: text = std::string(gateway::kCanFdNotFed) + " (the gateway is a CAN 2.0 node)"; break;
    }
    if (e.lengthMismatches > 0) {
        const gateway::GatewayDirection& d = e.role == IdRole::Receive ? model_.Receive() : model_.Transmit();
        text += "; " + Plural(e.lengthMismatches, "frame", "frames") +
                " with a length other than Dimensin " +
                std::to_string(d.frames[static_cast<std::size_t>(e.frame)].length);
    }
    return text;
}

std::string BusMonitor::RegistersText(const MonitorEntry& e, const gateway::SignalValues* meanings) const {
    if (e.role != IdRole::Receive) return {};
    std::string text;
    std::vector<std::uint16_t> shown;
    for (int m : model_.Receive().frames[static_cast<std::size_t>(e.frame)].mappings) {
        const std::uint16_t reg = model_.Receive().mappings[static_cast<std::size_t>(m)].reg;
        if (std::find(shown.begin(), shown.end(), reg) != shown.end()) continue;
        shown.push_back(reg);
        if (!text.empty()) text += ' ';
        text += std::to_string(reg) + "=" + gateway::RegisterValueText(table_->Value(reg));
        if (!meanings) continue;
        const std::string note = meanings->RegisterNote(
            FrameDirection::Receive, reg, [&](std::int32_t r) { return table_->Value(static_cast<std::uint16_t>(r)); });
        if (!note.empty()) text += " (" + note + ")";
    }
    return text;
}

}  // namespace vestrel::live
