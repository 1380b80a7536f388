#pragma once

#include "cli/commands.h"
#include "can/can_log.h"
#include "can/log_formats.h"
#include "gateway/gateway_model.h"
#include "gateway/model_loading.h"
#include "gateway/replay.h"
#include "gateway/signal_values.h"

#include <filesystem>

namespace vestrel {

// Says, one "vestrel-cli: ..." line each, what the project check warns
// about and, with `withFindings`, as notes, what the model finds (duplicate COB-IDs and
// the frame the banks select, registers mapped twice, ...).
void SayModelNotes(const gateway::ProjectModel& loaded, bool withFindings, const CliContext& cli);

// The signals imported into `source` when it is a project folder (none for
// banks and images); a signals.xml that cannot be read is said as a note.
gateway::SignalValues LoadSignalsOf(const gateway::ProjectModel& loaded, const std::filesystem::path& source,
                                    const CliContext& cli);

// "log:11: the data are pairs of hex digits: "..."" or, for BLF, "log: byte
// 4096: ..." and "log: byte 4096 (compressed container), byte 56 unpacked:
// ...": a broken record of a log as replay and plot list it.
std::string BrokenText(const std::string& logName, const can::LogFormatInfo& format, const can::BrokenLine& broken);

// What a run over a log (replay, plot) says on stderr: each broken line as
// it comes, the first 20 of them, or with `strict` an Error that ends the
// run ("... (--strict: a broken line ends the replay)"); at the end the
// replay's summary.
class LogRunNotes {
public:
    LogRunNotes(std::string logName, std::string channel, bool strict, std::string run, const CliContext& cli)
        : logName_(std::move(logName)), channel_(std::move(channel)), strict_(strict), run_(std::move(run)), cli_(cli) {}

    void Broken(const can::BrokenLine& broken, const can::LogFormatInfo& format);
    // The summary; false, having said so, when the log held no frame.
    bool End(const gateway::GatewayModel& model, const gateway::ReplaySummary& summary) const;

private:
    std::string logName_;
    std::string channel_;
    bool strict_;
    std::string run_;
    const CliContext& cli_;
    std::uint64_t listed_ = 0;
};

}  // namespace vestrel
