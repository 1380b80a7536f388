// replay: a CAN log fed through the gateway, register changes as CSV.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/merge_run.h"
#include "cli/model_notes.h"
#include "can/can_log_reader.h"
#include "gateway/model_loading.h"
#include "gateway/replay.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/folder_lock.h"

#include <memory>
#include <ostream>

namespace vestrel {

namespace {

using namespace gateway;

// Broken lines are listed as they come, up to this many; the summary counts all.
constexpr std::uint64_t kListedBrokenLines = 20;

class StreamSink : public TextSink {
public:
    explicit StreamSink(std::ostream& out) : out_(out) {}
    void Write(std::string_view text) override { out_.write(text.data(), static_cast<std::streamsize>(text.size())); }

private:
    std::ostream& out_;
};

}  // namespace

void SayModelNotes(const ProjectModel& loaded, bool withFindings, const CliContext& cli) {
    for (const Problem& problem : loaded.problems) cli.Say(FormatProblem(problem));
    if (!withFindings) return;
    for (const Finding& finding : loaded.model.Findings())
        cli.Say(std::string("note: ") + (finding.direction == FrameDirection::Receive ? "receive: " : "transmit: ") +
                finding.text);
}

gateway::SignalValues LoadSignalsOf(const ProjectModel& loaded, const std::filesystem::path& source,
                                    const CliContext& cli) {
    if (!loaded.fromProject) return {};
    SignalValuesLoad load = LoadSignalValues(source);
    // A signal without a value is among the project check's warnings, said with the others.
    if (!load.problem.empty()) cli.Say("note: " + load.problem);
    return std::move(load.signalValues);
}

// "log:11: the data are pairs of hex digits: "..."" or, for BLF, "log: byte
// 4096: ..." and "log: byte 4096 (compressed container), byte 56 unpacked: ...".
std::string BrokenText(const std::string& logName, const can::LogFormatInfo& format, const can::BrokenLine& broken) {
    if (format.place == can::LogPlace::ByteOffset)
        return logName + ": byte " + std::to_string(broken.line) +
               (broken.unpacked ? " (compressed container), byte " + std::to_string(*broken.unpacked) + " unpacked"
                                : "") +
               ": " + broken.reason;
    return logName + ":" + std::to_string(broken.line) + ": " + broken.reason + ": \"" + broken.text + "\"";
}

void LogRunNotes::Broken(const can::BrokenLine& broken, const can::LogFormatInfo& format) {
    if (strict_)
        throw Error(BrokenText(logName_, format, broken) + " (--strict: a broken " + std::string(format.record) +
                    " ends the " + run_ + ")");
    if (++listed_ <= kListedBrokenLines) cli_.Say(BrokenText(logName_, format, broken));
}

bool LogRunNotes::End(const GatewayModel& model, const ReplaySummary& summary) const {
    for (const std::string& line : ReplaySummaryLines(model, summary)) cli_.err << line << '\n';
    if (summary.brokenLines > kListedBrokenLines)
        cli_.err << "(the first " << kListedBrokenLines << " broken " << can::LogFormatOf(summary.format).records
                 << " are listed above)\n";
    if (summary.frames + summary.errorFrames > 0) return true;
    cli_.Say(channel_.empty() ? "no CAN frame could be read from " + logName_
                              : "no CAN frame of channel " + channel_ + " could be read from " + logName_);
    return false;
}

int ReplayCommand(const Arguments& a, CliContext& cli) {
    a.ExpectOperands(2);
    const std::string& logName = a.Operands()[1];
    const std::string channel = a.Value("channel").value_or("");
    if (a.Has("channel") && channel.empty()) throw UsageError{"--channel needs a channel such as can0 or 1"};

    const ProjectModel loaded = LoadModel(a.Operands()[0]);
    can::CanLogReader reader(logName);
    std::unique_ptr<FolderLocks> locks;
    std::unique_ptr<AtomicFileWriter> writer;
    std::unique_ptr<TextSink> sink;
    if (auto file = a.Value("out")) {
        std::vector<std::filesystem::path> read = SourceFiles(a.Operands()[0]);
        if (logName != "-") read.push_back(logName);
        locks = std::make_unique<FolderLocks>(OutputLocks({}, {*file}, read), FolderLocks::Wait::Yes, WaitNotice(cli));
        writer = std::make_unique<AtomicFileWriter>(*file);
        sink = std::make_unique<AtomicFileSink>(*writer);
    } else {
        sink = std::make_unique<StreamSink>(cli.out);
    }
    SayModelNotes(loaded, true, cli);
    SignalValues signalValues;
    if (a.Has("signals")) {
        signalValues = LoadSignalsOf(loaded, a.Operands()[0], cli);
        if (signalValues.Empty()) throw Error("--signals needs a project with imported signals (signals.xml)");
    }

    Replay replay(loaded.model, *sink, channel, a.Has("signals") ? &signalValues : nullptr);
    LogRunNotes notes(logName, channel, a.Has("strict"), "replay", cli);
    can::LogFrame frame;
    can::BrokenLine broken;
    for (;;) {
        const can::CanLogReader::Step step = reader.Next(frame, broken);
        if (step == can::CanLogReader::Step::End) break;
        if (step == can::CanLogReader::Step::Frame) {
            replay.Feed(frame);
            continue;
        }
        replay.CountBrokenLine();
        notes.Broken(broken, reader.FormatInfo());
    }
    replay.Finish();
    const ReplaySummary summary = replay.Summary(reader);
    const bool none = summary.frames + summary.errorFrames == 0;
    if (writer && !none) writer->Commit();
    cli.out.flush();
    if (!notes.End(loaded.model, summary)) return kExitFailed;
    return kExitOk;
}

}  // namespace vestrel
