#pragma once

#include "can/can_log_reader.h"
#include "gateway/gateway_model.h"
#include "gateway/register_table.h"
#include "gateway/signal_values.h"
#include "gateway/traffic_counts.h"
#include "platform/text_sink.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vestrel::gateway {

struct ReplaySummary {
    can::LogFormat format = can::LogFormat::CandumpLog;
    std::uint64_t records = 0;  // lines, or BLF's objects
    std::uint64_t frames = 0;  // error frames excepted, CAN FD frames included
    std::uint64_t fdFrames = 0;
    std::uint64_t errorFrames = 0;
    std::uint64_t brokenLines = 0;   // records that could not be read
    std::uint64_t otherRecords = 0;  // records that hold no frame: headers, comments, events
    std::uint64_t changes = 0;       // CSV rows written; without CSV, register changes
    TrafficCounts::Listing traffic;
    // With a channel chosen: the frames left out, and the channels the log names.
    std::string channel;
    std::uint64_t otherChannelFrames = 0;
    std::vector<std::string> channels;
};

// At most this many identifiers that the project does not name are listed;
// the summary counts the rest.
inline constexpr std::size_t kListedOtherIds = 50;

// The CSV header of a replay: time, register, old value, new value, frame
// position, COB-ID.
inline constexpr std::string_view kReplayCsvHeader = "time,register,old,new,frame,cob_id\n";
// With signals: a row per change of a signal's physical value.
inline constexpr std::string_view kReplaySignalCsvHeader = "time,signal,value,unit,frame,cob_id\n";

// Feeds the frames of a log through a register table and writes every
// register change as a CSV row; counts the traffic for the summary. Memory
// stays bounded however long the log and however many identifiers it holds.
class Replay {
public:
    // With a `channel`, only the frames of that channel (as the log names
    // it: "can0", "1") are fed.
    // With `signals`, a row is written per change of a received signal's
    // value (kReplaySignalCsvHeader) instead of per register change.
    Replay(const GatewayModel& model, TextSink& csv, std::string channel = {}, const SignalValues* signalValues = nullptr);
    // Without CSV: the frames feed the table and the summary's counts only,
    // for whoever reads the table after each frame (plots).
    explicit Replay(const GatewayModel& model, std::string channel = {});

    // What the frame did to the table; nothing for a frame that was left
    // out (another channel, an error frame).
    std::optional<RegisterTable::FeedResult> Feed(const can::LogFrame& frame);
    void CountBrokenLine() { ++brokenLines_; }
    // Writes what is still buffered; call once at the end.
    void Finish();

    ReplaySummary Summary(const can::CanLogReader& reader) const;
    const RegisterTable& Registers() const { return table_; }

private:
    bool OnChannel(std::string_view channel);
    void WriteChanges(const can::LogFrame& frame, const RegisterTable::FeedResult& fed);
    void WriteSignalChanges(const can::LogFrame& frame, const RegisterTable::FeedResult& fed);
    std::size_t WriteTime(const can::LogFrame& logged, char* time);

    const GatewayModel& model_;
    RegisterTable table_;
    TextSink* csv_;  // null: no rows
    void Flush();

    // The end of a change's row: ",position,COB-ID\n".
    struct RowTail {
        char text[24] = {};
        std::size_t length = 0;
    };

    std::vector<char> buffer_;  // the CSV not yet written, buffer_[0, used_)
    std::size_t used_ = 0;
    std::vector<RowTail> rowTails_;  // per receive frame
    std::int64_t timeSecond_ = 0;    // the whole second last written, and its text
    char timeSecondText_[can::kTimeTextBytes] = {};
    std::size_t timeSecondLength_ = 0;
    TrafficCounts traffic_;
    std::string channel_;
    std::vector<std::string> channels_;  // the first few the log names
    std::string lastChannel_;
    std::uint64_t otherChannelFrames_ = 0;
    std::uint64_t frames_ = 0;
    std::uint64_t fdFrames_ = 0;
    std::uint64_t errorFrames_ = 0;
    std::uint64_t brokenLines_ = 0;
    std::uint64_t changes_ = 0;
    // With signals: the receive signals by register, and each one's last value.
    const SignalValues* signals_ = nullptr;
    std::map<std::uint16_t, std::vector<std::size_t>> signalsOfRegister_;
    std::vector<std::optional<std::uint64_t>> lastBits_;
};

// The summary for the engineer, one line each: frames per COB-ID, configured
// frames never seen, COB-IDs no frame table holds, lengths that differ from
// Dimensin, frames whose format does not match CANType. Mnemonics escaped.
std::vector<std::string> ReplaySummaryLines(const GatewayModel& model, const ReplaySummary& summary);

}  // namespace vestrel::gateway
