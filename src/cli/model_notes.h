#pragma once

#include "cli/commands.h"
#include "gateway/gateway_model.h"
#include "gateway/model_loading.h"
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

}  // namespace vestrel
