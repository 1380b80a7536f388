#pragma once

#include "cli/commands.h"
#include "gateway/gateway_model.h"

namespace vestrel {

// Says, one "vestrel-cli: ..." line each, what the project check warns
// about and, with `withFindings`, as notes, what the model finds (duplicate COB-IDs and
// the frame the banks select, registers mapped twice, ...).
void SayModelNotes(const gateway::ProjectModel& loaded, bool withFindings, const CliContext& cli);

}  // namespace vestrel
