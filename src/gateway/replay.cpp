#include "gateway/replay.h"

#include "platform/printable_text.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

namespace vestrel::gateway {

namespace {

constexpr std::size_t kFlushBytes = 256 * 1024;

std::uint64_t TrafficKey(const CanFrame& frame) {
    return static_cast<std::uint64_t>(frame.id) | (frame.extended ? std::uint64_t{1} << 32 : 0);
}

void AppendNumber(std::string& out, std::uint64_t value) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (n > 0) out += digits[--n];
}

std::string Plural(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string Quoted(const std::string& mnemonic) {
    return mnemonic.empty() ? std::string() : " \"" + PrintableText(mnemonic, LineBreaks::OneLine) + "\"";
}

std::string FrameNames(const GatewayDirection& direction, std::span<const int> frames) {
    std::string text = frames.size() == 1 ? "frame " : "frames ";
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (i > 0) text += i + 1 == frames.size() ? " and " : ", ";
        text += std::to_string(frames[i] + 1);
    }
    if (frames.size() == 1) text += Quoted(direction.frames[static_cast<std::size_t>(frames[0])].mnemonic);
    return text;
}

std::string ModeText(const GatewayModel& model) {
    return "CANType " + std::to_string(model.Banks().canType) +
           (model.Mode() == CanMode::Can20A ? " (CAN 2.0A, 11-bit COB-IDs)" : " (CAN 2.0B, 29-bit COB-IDs)");
}

}  // namespace

Replay::Replay(const GatewayModel& model, TextSink& csv) : model_(model), table_(model), csv_(csv) {
    buffer_.reserve(kFlushBytes + 4096);
    buffer_ += kReplayCsvHeader;
}

void Replay::Feed(const LogFrame& logged) {
    const CanFrame& frame = logged.frame;
    if (frame.error) {
        ++errorFrames_;
        return;
    }
    ++frames_;
    CobIdTraffic& traffic = traffic_[TrafficKey(frame)];
    if (traffic.frames++ == 0) {
        traffic.id = frame.id;
        traffic.extended = frame.extended;
    }
    if (frame.remote)
        ++traffic.remote;
    else
        ++traffic.dataFramesByLength[frame.length];

    const RegisterTable::FeedResult fed = table_.Feed(frame, logged.time);
    if (fed.changes.empty()) return;
    const int position = fed.match.frames[0] + 1;
    const std::string id = BusIdText(frame.id, frame.extended);
    for (const RegisterTable::Change& change : fed.changes) {
        if (logged.hasTime) AppendTimeText(buffer_, logged.time);
        buffer_ += ',';
        AppendNumber(buffer_, change.reg);
        buffer_ += ',';
        AppendRegisterValueText(buffer_, change.before);
        buffer_ += ',';
        AppendRegisterValueText(buffer_, change.after);
        buffer_ += ',';
        AppendNumber(buffer_, static_cast<std::uint64_t>(position));
        buffer_ += ',';
        buffer_ += id;
        buffer_ += '\n';
        ++changes_;
    }
    if (buffer_.size() >= kFlushBytes) {
        csv_.Write(buffer_);
        buffer_.clear();
    }
}

void Replay::Finish() {
    csv_.Write(buffer_);
    buffer_.clear();
}

ReplaySummary Replay::Summary(const CanLogReader& reader) const {
    ReplaySummary s;
    s.format = reader.Format();
    s.lines = reader.Lines();
    s.frames = frames_;
    s.errorFrames = errorFrames_;
    s.brokenLines = brokenLines_;
    s.changes = changes_;
    for (const auto& [key, traffic] : traffic_) s.traffic.push_back(traffic);
    std::sort(s.traffic.begin(), s.traffic.end(), [](const CobIdTraffic& a, const CobIdTraffic& b) {
        return a.extended != b.extended ? !a.extended : a.id < b.id;
    });
    return s;
}

std::vector<std::string> ReplaySummaryLines(const GatewayModel& model, const ReplaySummary& s) {
    std::vector<std::string> lines;
    lines.push_back("Log: " + std::string(LogFormatName(s.format)) + ", " + Plural(s.lines, "line", "lines") + ", " +
                    Plural(s.frames, "frame", "frames") + ", " + Plural(s.brokenLines, "broken line", "broken lines") +
                    ", " + Plural(s.errorFrames, "error frame", "error frames"));
    lines.push_back("Register changes: " + std::to_string(s.changes));

    std::vector<std::string> unknown, lengths, formats;
    std::vector<bool> receiveSeen(model.Receive().frames.size()), transmitSeen(model.Transmit().frames.size());
    const bool extendedMode = model.Mode() == CanMode::Can20B;

    lines.push_back("Frames per COB-ID:");
    for (const CobIdTraffic& t : s.traffic) {
        const std::string id = BusIdText(t.id, t.extended);
        std::string what;
        const GatewayFrame* expected = nullptr;  // the frame whose Dimensin the data should have
        std::string expectedName;
        const bool rightFormat = t.extended == extendedMode;
        const std::span<const int> receive = model.ReceiveFramesWithCobId(t.id);
        const std::span<const int> transmit = model.TransmitFramesWithCobId(t.id);
        if (!rightFormat) {
            what = std::string(t.extended ? "29-bit" : "11-bit") + " frame: no frame matches it under " + ModeText(model);
            formats.push_back("  " + id + " (" + (t.extended ? "29-bit" : "11-bit") + "): " +
                              Plural(t.frames, "frame", "frames"));
        } else if (!receive.empty()) {
            for (int f : receive) receiveSeen[static_cast<std::size_t>(f)] = true;
            CanFrame probe;
            probe.id = t.id;
            probe.extended = t.extended;
            const ReceiveMatch match = model.MatchReceive(probe);
            if (match.kind == MatchKind::Ambiguous) {
                what = "receive " + FrameNames(model.Receive(), receive) + ", ambiguous: no register is set";
            } else {
                const int selected = match.frames[0];
                expected = &model.Receive().frames[static_cast<std::size_t>(selected)];
                expectedName = "receive frame " + std::to_string(selected + 1);
                what = "receive " + FrameNames(model.Receive(), match.frames);
                if (receive.size() > 1) what += ", the lookup table's choice among " + FrameNames(model.Receive(), receive);
            }
        } else if (!transmit.empty()) {
            for (int f : transmit) transmitSeen[static_cast<std::size_t>(f)] = true;
            what = "transmit " + FrameNames(model.Transmit(), transmit);
            if (transmit.size() == 1) {
                expected = &model.Transmit().frames[static_cast<std::size_t>(transmit[0])];
                expectedName = "transmit frame " + std::to_string(transmit[0] + 1);
            }
        } else {
            what = "no frame table holds it";
            unknown.push_back("  " + id + ": " + Plural(t.frames, "frame", "frames"));
        }
        const std::string counts = std::to_string(t.frames);
        if (t.remote) what += " (" + Plural(t.remote, "remote request", "remote requests") + ")";
        std::string line = "  " + id;
        line.resize(std::max<std::size_t>(line.size() + 1, 14), ' ');
        line += std::string(counts.size() < 8 ? 8 - counts.size() : 0, ' ') + counts + "  " + what;
        lines.push_back(std::move(line));
        if (expected) {
            for (int length = 0; length <= kMaxDataBytes; ++length) {
                const std::uint64_t n = t.dataFramesByLength[static_cast<std::size_t>(length)];
                if (n && length != expected->length)
                    lengths.push_back("  " + id + " (" + expectedName + ", Dimensin " +
                                      std::to_string(expected->length) + "): " + Plural(n, "frame", "frames") +
                                      " with " + Plural(static_cast<std::uint64_t>(length), "data byte", "data bytes"));
            }
        }
    }
    if (s.traffic.empty()) lines.push_back("  none");

    lines.push_back("Configured frames never seen:");
    const std::size_t before = lines.size();
    for (const auto& [direction, seen, name] :
         {std::tuple{&model.Receive(), &receiveSeen, "receive"}, std::tuple{&model.Transmit(), &transmitSeen, "transmit"}}) {
        for (std::size_t i = 0; i < direction->frames.size(); ++i)
            if (!(*seen)[i])
                lines.push_back(std::string("  ") + name + " frame " + std::to_string(i + 1) + " (COB-ID " +
                                CobIdText(direction->frames[i].cobId) + ")" + Quoted(direction->frames[i].mnemonic));
    }
    if (lines.size() == before) lines.push_back("  none");

    auto section = [&](const std::string& title, const std::vector<std::string>& items) {
        lines.push_back(title);
        if (items.empty()) lines.push_back("  none");
        lines.insert(lines.end(), items.begin(), items.end());
    };
    section("Traffic on COB-IDs that no frame table holds:", unknown);
    section("Data lengths that differ from Dimensin:", lengths);
    section("Frames whose format does not match " + ModeText(model) + ":", formats);
    return lines;
}

}  // namespace vestrel::gateway
