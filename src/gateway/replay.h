#pragma once

#include "gateway/can_log_reader.h"
#include "gateway/gateway_model.h"
#include "gateway/register_table.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vestrel {
class AtomicFileWriter;
}

namespace vestrel::gateway {

// Where text output goes: a stream, or a file written atomically.
class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void Write(std::string_view text) = 0;
};

// Text into a file that takes its place whole or not at all; the writer's
// owner commits it once the run has succeeded.
class AtomicFileSink : public TextSink {
public:
    explicit AtomicFileSink(AtomicFileWriter& writer) : writer_(writer) {}
    void Write(std::string_view text) override;

private:
    AtomicFileWriter& writer_;
};

// The traffic of one identifier in one format.
struct CobIdTraffic {
    std::uint32_t id = 0;
    bool extended = false;
    std::uint64_t frames = 0;
    std::uint64_t remote = 0;
    std::array<std::uint64_t, kMaxDataBytes + 1> dataFramesByLength{};
};

struct ReplaySummary {
    LogFormat format = LogFormat::Unknown;
    std::uint64_t lines = 0;
    std::uint64_t frames = 0;       // error frames excepted
    std::uint64_t errorFrames = 0;
    std::uint64_t brokenLines = 0;
    std::uint64_t changes = 0;      // CSV rows written
    std::vector<CobIdTraffic> traffic;  // standard identifiers first, each kind ascending
};

// The CSV header of a replay: time, register, old value, new value, frame
// position, COB-ID.
inline constexpr std::string_view kReplayCsvHeader = "time,register,old,new,frame,cob_id\n";

// Feeds the frames of a log through a register table and writes every
// register change as a CSV row; counts the traffic for the summary. Memory
// stays the same however long the log: one entry per identifier seen.
class Replay {
public:
    Replay(const GatewayModel& model, TextSink& csv);

    void Feed(const LogFrame& frame);
    void CountBrokenLine() { ++brokenLines_; }
    // Writes what is still buffered; call once at the end.
    void Finish();

    ReplaySummary Summary(const CanLogReader& reader) const;
    const RegisterTable& Registers() const { return table_; }

private:
    const GatewayModel& model_;
    RegisterTable table_;
    TextSink& csv_;
    std::string buffer_;
    std::unordered_map<std::uint64_t, CobIdTraffic> traffic_;
    std::uint64_t frames_ = 0;
    std::uint64_t errorFrames_ = 0;
    std::uint64_t brokenLines_ = 0;
    std::uint64_t changes_ = 0;
};

// The summary for the engineer, one line each: frames per COB-ID, configured
// frames never seen, COB-IDs no frame table holds, lengths that differ from
// Dimensin, frames whose format does not match CANType. Mnemonics escaped.
std::vector<std::string> ReplaySummaryLines(const GatewayModel& model, const ReplaySummary& summary);

}  // namespace vestrel::gateway
