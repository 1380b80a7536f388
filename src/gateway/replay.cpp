#include "gateway/replay.h"

#include "gateway/model_wording.h"
#include "platform/text.h"
#include "platform/csv_text.h"
#include "platform/file_util.h"
#include "signaldb/physical_value.h"
#include "platform/printable_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vestrel::gateway {

namespace {

// "receive frame 3", as the data comparisons name the frame they compare with.
constexpr FrameNameParts kNumberOnly{.direction = true, .mnemonic = false, .cobId = false};

constexpr std::size_t kFlushBytes = 256 * 1024;
constexpr std::size_t kRowSlack = 256;  // room past kFlushBytes for one row and the copies of fixed size

constexpr std::size_t kNotedChannels = 16;

// A number's decimal digits into `out`; returns their end.
char* WriteNumber(char* out, std::uint32_t value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (n > 0) *out++ = digits[--n];
    return out;
}

std::string FrameNames(const GatewayDirection& direction, std::span<const int> frames) {
    if (frames.size() == 1)
        return FrameName(direction.direction, direction.frames[static_cast<std::size_t>(frames[0])], frames[0],
                         {.cobId = false});
    std::vector<std::string> numbers;
    for (const int frame : frames) numbers.push_back(std::to_string(frame + 1));
    return "frames " + JoinedWithAnd(numbers);
}

std::string Estimated(const CobIdTraffic& t) { return t.overcount ? " (count estimated)" : ""; }

// What the COB-ID list finds besides itself, for the sections after it.
struct TrafficFindings {
    explicit TrafficFindings(const GatewayModel& model)
        : receiveSeen(model.Receive().frames.size()), transmitSeen(model.Transmit().frames.size()) {}

    std::vector<std::string> unknown, lengths, formats;
    std::vector<bool> receiveSeen, transmitSeen;
};

// What one COB-ID's traffic reaches, and the frame whose Dimensin its data
// should have, where a single frame says so.
struct TrafficTarget {
    std::string what;
    const GatewayFrame* expected = nullptr;
    std::string expectedName;
};

TrafficTarget ReceiveTarget(const GatewayModel& model, const IdentifierRole& role, std::span<const int> receive) {
    TrafficTarget target;
    if (role.role == IdRole::Ambiguous) {
        target.what = "receive " + FrameNames(model.Receive(), receive) + ", ambiguous: no register is set";
        return target;
    }
    const int selected = role.frame;
    target.expected = &model.Receive().frames[static_cast<std::size_t>(selected)];
    target.expectedName = FrameName(FrameDirection::Receive, *target.expected, selected, kNumberOnly);
    target.what = "receive " + FrameNames(model.Receive(), std::span<const int>(&selected, 1));
    if (receive.size() > 1) target.what += ", the lookup table's choice among " + FrameNames(model.Receive(), receive);
    return target;
}

TrafficTarget TransmitTarget(const GatewayModel& model, std::span<const int> transmit) {
    TrafficTarget target;
    target.what = "transmit " + FrameNames(model.Transmit(), transmit);
    if (transmit.size() == 1) {
        target.expected = &model.Transmit().frames[static_cast<std::size_t>(transmit[0])];
        target.expectedName = FrameName(FrameDirection::Transmit, *target.expected, transmit[0], kNumberOnly);
    }
    return target;
}

// Where one COB-ID's traffic goes; notes the frames it reaches, and the
// COB-IDs of the wrong format or of no frame table, in `found`.
TrafficTarget FindTarget(const GatewayModel& model, const CobIdTraffic& t, TrafficFindings& found) {
    const std::string id = can::BusIdText(t.id, t.extended);
    const std::span<const int> receive = model.ReceiveFramesWithCobId(t.id);
    const std::span<const int> transmit = model.TransmitFramesWithCobId(t.id);
    const IdentifierRole role = model.RoleOf(t.id, t.extended);
    if (role.role == IdRole::WrongFormat) {
        const std::string format = t.extended ? "29-bit" : "11-bit";
        found.formats.push_back("  " + id + " (" + format + "): " + Plural(t.frames, "frame", "frames") + Estimated(t));
        return {format + " frame: no frame matches it under " + ModeText(model), nullptr, {}};
    }
    if (role.role == IdRole::Receive || role.role == IdRole::Ambiguous) {
        for (int f : receive) found.receiveSeen[static_cast<std::size_t>(f)] = true;
        return ReceiveTarget(model, role, receive);
    }
    if (role.role == IdRole::Transmit) {
        for (int f : transmit) found.transmitSeen[static_cast<std::size_t>(f)] = true;
        return TransmitTarget(model, transmit);
    }
    found.unknown.push_back("  " + id + ": " + Plural(t.frames, "frame", "frames") + Estimated(t));
    return {"no frame table holds it", nullptr, {}};
}

// The data lengths seen on a COB-ID that differ from its frame's Dimensin.
void NoteOtherLengths(const CobIdTraffic& t, const TrafficTarget& target, std::vector<std::string>& lengths) {
    const std::string id = can::BusIdText(t.id, t.extended);
    const int expected = target.expected->length;
    for (int length = 0; length <= can::kMaxDataBytes; ++length) {
        const std::uint64_t n = t.dataFramesByLength[static_cast<std::size_t>(length)];
        if (n && length != expected)
            lengths.push_back("  " + id + " (" + target.expectedName + ", Dimensin " + std::to_string(expected) +
                              "): " + Plural(n, "frame", "frames") + " with " +
                              Plural(static_cast<std::uint64_t>(length), "data byte", "data bytes"));
    }
}

// "  181          12  receive frame 1": the COB-ID, its frame count
// right-aligned, and where the frames go.
std::string TrafficLine(const GatewayModel& model, const CobIdTraffic& t, TrafficFindings& found) {
    TrafficTarget target = FindTarget(model, t, found);
    std::string kinds;
    if (t.remote) kinds = Plural(t.remote, "remote request", "remote requests");
    if (t.fd) kinds += (kinds.empty() ? "" : "; ") + std::string(kCanFdNotFed) + ": " + Plural(t.fd, "frame", "frames");
    if (t.overcount)
        kinds += (kinds.empty() ? "" : "; ") + std::string("count estimated, up to ") + std::to_string(t.overcount) +
                 " too high";
    if (!kinds.empty()) target.what += " (" + kinds + ")";
    const std::string counts = std::to_string(t.frames);
    std::string line = "  " + can::BusIdText(t.id, t.extended);
    line.resize(std::max<std::size_t>(line.size() + 1, 14), ' ');
    line += std::string(counts.size() < 8 ? 8 - counts.size() : 0, ' ') + counts + "  " + target.what;
    if (target.expected) NoteOtherLengths(t, target, found.lengths);
    return line;
}

void AppendNeverSeen(std::vector<std::string>& lines, const GatewayDirection& direction,
                     const std::vector<bool>& seen) {
    for (std::size_t i = 0; i < direction.frames.size(); ++i)
        if (!seen[i])
            lines.push_back("  " + FrameName(direction.direction, direction.frames[i], static_cast<int>(i),
                                             {.direction = true}));
}

// "Log: candump log file, 13 lines, 12 frames, 1 broken line, 0 error frames":
// the records and what they held, which add up, the lines that hold no
// frame ("other lines") named where there are any.
std::string LogLine(const ReplaySummary& s) {
    const can::LogFormatInfo& format = can::LogFormatOf(s.format);
    const std::string record(format.record), records(format.records);
    std::string line = "Log: " + std::string(format.name) + ", " + Plural(s.records, record, records) + ", " +
                       Plural(s.frames, "frame", "frames") + ", " +
                       Plural(s.brokenLines, "broken " + record, "broken " + records) + ", " +
                       Plural(s.errorFrames, "error frame", "error frames");
    if (format.alwaysCountsOtherRecords || s.otherRecords > 0)
        line += ", " + Plural(s.otherRecords, "other " + record, "other " + records);
    if (s.fdFrames) line += "; " + std::string(kCanFdNotFed) + ": " + Plural(s.fdFrames, "frame", "frames");
    return line;
}

void AppendSection(std::vector<std::string>& lines, const std::string& title, const std::vector<std::string>& items,
                   bool further = false) {
    lines.push_back(title);
    if (items.empty() && !further) lines.push_back("  none");
    lines.insert(lines.end(), items.begin(), items.end());
    if (further) lines.push_back("  (the further ids counted above are not listed here)");
}

}  // namespace

Replay::Replay(const GatewayModel& model, TextSink& csv, std::string channel, const SignalValues* signalValues)
    : model_(model),
      table_(model),
      csv_(&csv),
      buffer_(kFlushBytes + kRowSlack),
      traffic_(model),
      channel_(std::move(channel)),
      signals_(signalValues) {
    static_assert(kFlushBytes > kReplayCsvHeader.size() && kFlushBytes > kReplaySignalCsvHeader.size());
    const std::string_view header = signals_ ? kReplaySignalCsvHeader : kReplayCsvHeader;
    std::memcpy(buffer_.data(), header.data(), header.size());
    used_ = header.size();
    if (signals_) {
        lastBits_.resize(signals_->Entries().size());
        for (std::size_t e = 0; e < signals_->Entries().size(); ++e) {
            const SignalValues::Entry& entry = signals_->Entries()[e];
            // A signal without a usable scaling has no value to write; the load says why.
            if (entry.message->direction != FrameDirection::Receive || !entry.signal->problem.empty()) continue;
            for (std::int32_t reg : entry.signal->registers)
                signalsOfRegister_[static_cast<std::uint16_t>(reg)].push_back(e);
        }
    }
    // ",2,0x281\n": frame position and COB-ID, as the row of a change ends.
    for (std::size_t i = 0; i < model.Receive().frames.size(); ++i) {
        const std::string text = "," + std::to_string(i + 1) + "," +
                                 can::BusIdText(model.Receive().frames[i].cobId, UsesExtendedIds(model.Mode())) + "\n";
        RowTail& tail = rowTails_.emplace_back();
        tail.length = std::min(text.size(), sizeof tail.text);  // at most ",250,0x1FFFFFFF\n"
        std::memcpy(tail.text, text.data(), tail.length);
    }
}

Replay::Replay(const GatewayModel& model, std::string channel)
    : model_(model), table_(model), csv_(nullptr), traffic_(model), channel_(std::move(channel)) {}

bool Replay::OnChannel(std::string_view channel) {
    if (channel != lastChannel_) {
        lastChannel_.assign(channel);
        if (channels_.size() < kNotedChannels &&
            std::find(channels_.begin(), channels_.end(), lastChannel_) == channels_.end())
            channels_.push_back(lastChannel_);
    }
    return channel_.empty() || channel == channel_;
}

std::optional<RegisterTable::FeedResult> Replay::Feed(const can::LogFrame& logged) {
    if (!OnChannel(logged.channel)) {
        ++otherChannelFrames_;
        return std::nullopt;
    }
    const can::CanFrame& frame = logged.frame;
    if (frame.error) {
        ++errorFrames_;
        return std::nullopt;
    }
    ++frames_;
    if (frame.fd) ++fdFrames_;
    traffic_.Count(frame);
    const RegisterTable::FeedResult fed = table_.Feed(frame, logged.time);
    if (!csv_) changes_ += fed.changes.size();
    if (fed.changes.empty() || !csv_) return fed;
    if (signals_)
        WriteSignalChanges(logged, fed);
    else
        WriteChanges(logged, fed);
    return fed;
}

// The frame's time stamp as the rows show it, into `time` (kTimeTextBytes,
// written in full so that it can be copied whole); returns its length.
std::size_t Replay::WriteTime(const can::LogFrame& logged, char* time) {
    std::size_t timeLength = 0;
    if (logged.hasTime && logged.time < 0) {
        timeLength = static_cast<std::size_t>(can::WriteTimeText(time, logged.time) - time);
    } else if (logged.hasTime) {
        const std::int64_t second = logged.time / 1000000;
        if (second != timeSecond_ || timeSecondLength_ == 0) {
            timeSecond_ = second;
            timeSecondLength_ =
                static_cast<std::size_t>(can::WriteTimeText(timeSecondText_, second * 1000000) - timeSecondText_) -
                6;  // "1733661931."
        }
        std::memcpy(time, timeSecondText_, can::kTimeTextBytes);
        timeLength = timeSecondLength_;
        auto fraction = static_cast<std::uint32_t>(logged.time - second * 1000000);
        for (int i = 5; i >= 0; --i, fraction /= 10)
            time[timeLength + static_cast<std::size_t>(i)] = static_cast<char>('0' + fraction % 10);
        timeLength += 6;
    }
    return timeLength;
}

void Replay::WriteChanges(const can::LogFrame& logged, const RegisterTable::FeedResult& fed) {
    // The time and the frame's part of a row are the same for each change;
    // rows are written into the buffer in place, copies of fixed size
    // landing in its slack.
    char time[can::kTimeTextBytes];
    const std::size_t timeLength = WriteTime(logged, time);
    const RowTail& tail = rowTails_[static_cast<std::size_t>(fed.match.frames[0])];
    for (const RegisterTable::Change& change : fed.changes) {
        char* p = buffer_.data() + used_;
        std::memcpy(p, time, sizeof time);
        p += timeLength;
        *p++ = ',';
        p = WriteNumber(p, change.reg);
        *p++ = ',';
        p = WriteRegisterValueText(p, change.before);
        *p++ = ',';
        p = WriteRegisterValueText(p, change.after);
        std::memcpy(p, tail.text, sizeof tail.text);
        used_ = static_cast<std::size_t>(p - buffer_.data()) + tail.length;
        ++changes_;
        if (used_ >= kFlushBytes) Flush();
    }
}

void Replay::WriteSignalChanges(const can::LogFrame& logged, const RegisterTable::FeedResult& fed) {
    std::vector<std::size_t> touched;
    for (const RegisterTable::Change& change : fed.changes) {
        const auto it = signalsOfRegister_.find(change.reg);
        if (it == signalsOfRegister_.end()) continue;
        for (std::size_t e : it->second)
            if (std::find(touched.begin(), touched.end(), e) == touched.end()) touched.push_back(e);
    }
    if (touched.empty()) return;
    std::sort(touched.begin(), touched.end());  // in the file's order
    char time[can::kTimeTextBytes];
    const std::size_t timeLength = WriteTime(logged, time);
    const RowTail& tail = rowTails_[static_cast<std::size_t>(fed.match.frames[0])];
    auto registers = [&](std::int32_t reg) { return table_.Value(static_cast<std::uint16_t>(reg)); };
    for (std::size_t e : touched) {
        const SignalValues::Entry& entry = signals_->Entries()[e];
        const std::optional<std::uint64_t> bits = ReadSignalBits(*entry.message, *entry.signal, registers);
        if (!bits || bits == lastBits_[e]) continue;
        lastBits_[e] = bits;
        const signaldb::Signal& signal = entry.signal->signal;
        std::string row(time, timeLength);
        row += ',' + CsvCell(entry.name, ',') + ',' + signaldb::PhysicalText(signal, *bits) + ',' + CsvCell(signal.unit, ',');
        row.append(tail.text, tail.length);
        if (used_ + row.size() > buffer_.size()) Flush();
        if (row.size() > buffer_.size()) {
            csv_->Write(row);
        } else {
            std::memcpy(buffer_.data() + used_, row.data(), row.size());
            used_ += row.size();
        }
        ++changes_;
        if (used_ >= kFlushBytes) Flush();
    }
}

void Replay::Flush() {
    if (csv_) csv_->Write(std::string_view(buffer_.data(), used_));
    used_ = 0;
}

void Replay::Finish() { Flush(); }

ReplaySummary Replay::Summary(const can::CanLogReader& reader) const {
    ReplaySummary s;
    s.format = reader.Format();
    s.records = reader.Records();
    s.otherRecords = reader.OtherRecords();
    s.frames = frames_;
    s.fdFrames = fdFrames_;
    s.errorFrames = errorFrames_;
    s.brokenLines = brokenLines_;
    s.changes = changes_;
    s.traffic = traffic_.List(kListedOtherIds);
    s.channel = channel_;
    s.otherChannelFrames = otherChannelFrames_;
    s.channels = channels_;
    return s;
}

std::vector<std::string> ReplaySummaryLines(const GatewayModel& model, const ReplaySummary& s) {
    std::vector<std::string> lines;
    lines.push_back(LogLine(s));
    if (!s.channel.empty()) {
        std::string channels;
        for (const std::string& c : s.channels) channels += (channels.empty() ? "" : ", ") + c;
        lines.push_back(PrintableText("Channel " + s.channel + ": " + Plural(s.otherChannelFrames, "frame", "frames") +
                                          " on other channels left out (channels in the log: " +
                                          (channels.empty() ? "none named" : channels) + ")",
                                      LineBreaks::OneLine));
    }
    lines.push_back("Register changes: " + std::to_string(s.changes));

    TrafficFindings found(model);
    lines.push_back("Frames per COB-ID:");
    for (const CobIdTraffic& t : s.traffic.traffic) lines.push_back(TrafficLine(model, t, found));
    if (s.traffic.furtherIds > 0 || s.traffic.furtherFrames > 0) {
        lines.push_back("  " + std::string(s.traffic.idsEstimated ? "about " : "") +
                        Plural(s.traffic.furtherIds, "further id", "further ids") + ", " +
                        (s.traffic.framesEstimated ? "about " : "") +
                        Plural(s.traffic.furtherFrames, "frame", "frames") + " (not listed)");
    }
    if (s.traffic.traffic.empty() && s.traffic.furtherIds == 0) lines.push_back("  none");

    lines.push_back("Configured frames never seen:");
    const std::size_t before = lines.size();
    AppendNeverSeen(lines, model.Receive(), found.receiveSeen);
    AppendNeverSeen(lines, model.Transmit(), found.transmitSeen);
    if (lines.size() == before) lines.push_back("  none");

    const bool further = s.traffic.furtherIds > 0;
    AppendSection(lines, "Traffic on COB-IDs that no frame table holds:", found.unknown, further);
    AppendSection(lines, "Data lengths that differ from Dimensin:", found.lengths);
    AppendSection(lines, "Frames whose format does not match " + ModeText(model) + ":", found.formats, further);
    return lines;
}

}  // namespace vestrel::gateway
