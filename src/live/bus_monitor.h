#pragma once

#include "gateway/register_table.h"
#include "gateway/signal_values.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// What the CAN monitor shows: per identifier how many frames came, how
// fast, the last data, what the project makes of the identifier, and the
// register values the gateway should now hold from them.
namespace vestrel::live {

using gateway::IdRole;

struct MonitorEntry {
    std::uint32_t id = 0;
    bool extended = false;
    bool error = false;
    bool fd = false;  // the CAN FD frames of an identifier have an entry of their own
    IdRole role = IdRole::Unknown;
    int frame = -1;                       // 0-based frame index for Receive and Transmit
    std::uint64_t count = 0;
    std::uint64_t lengthMismatches = 0;   // data frames whose length is not Dimensin
    can::CanFrame last;
    std::int64_t lastTime = 0;            // microseconds, the caller's clock
    std::deque<std::int64_t> recent;      // times within the last second, for the rate
};

class BusMonitor {
public:
    // Identifiers the project does not hold (unknown, wrong format, error
    // classes) get entries up to this many; frames of further ones are only
    // counted, so that a bus flooded with random identifiers keeps the table
    // small. The project's own identifiers always get their entry.
    static constexpr std::size_t kMaxOtherEntries = 200;

    // `model` must outlive the monitor.
    explicit BusMonitor(const gateway::GatewayModel& model);

    // Counts a frame seen at `time` (microseconds) and feeds it to the
    // register table. Returns the entry's position in Entries(), or
    // Entries().size() for a frame only counted in Unlisted().
    std::size_t Feed(const can::CanFrame& frame, std::int64_t time);
    // Forgets every count and value.
    void Clear();

    // Standard identifiers first, each kind ascending, CAN FD after classic;
    // error frames last.
    const std::vector<MonitorEntry>& Entries() const { return entries_; }
    const gateway::RegisterTable& Table() const { return *table_; }
    std::uint64_t Frames() const { return frames_; }
    // Frames of identifiers beyond the kMaxOtherEntries listed.
    std::uint64_t Unlisted() const { return unlisted_; }

    // Frames per second over the second before `now`.
    static double Rate(const MonitorEntry& entry, std::int64_t now);
    // Whether the entry should catch the eye: an identifier no table holds, a
    // wrong format, an error frame, CAN FD, a length other than Dimensin.
    static bool StandsOut(const MonitorEntry& entry);

    // "receive frame 1 "Drive status"", "not in any frame table", ... with
    // "; 3 frames with 2 data bytes, Dimensin is 4" when lengths differ.
    std::string RoleText(const MonitorEntry& entry) const;
    // The registers a receive frame feeds with the values the table now
    // holds: "1=0x1122 2=0x3344"; empty for other roles. With signal values,
    // a register's signals follow it: "2=0x0FA0 (MotorCurrent = 400.0 A)".
    std::string RegistersText(const MonitorEntry& entry, const gateway::SignalValues* meanings = nullptr) const;

private:
    void Classify(MonitorEntry& entry) const;

    const gateway::GatewayModel& model_;
    std::optional<gateway::RegisterTable> table_;  // optional so that Clear() can start it afresh
    std::vector<MonitorEntry> entries_;
    std::uint64_t frames_ = 0;
    std::size_t otherEntries_ = 0;
    std::uint64_t unlisted_ = 0;
};

}  // namespace vestrel::live
