#pragma once

#include "cli/arguments.h"
#include "cli/commands.h"
#include "firmware/bank_merge.h"
#include "platform/folder_lock.h"

#include <filesystem>
#include <functional>

namespace vestrel {

// Runs the merge with a progress bar on a terminal and its messages on
// stderr; says why when no image was written. Returns the exit status.
int RunMerge(BankMergeInputs inputs, CliContext& cli);

// "<image>", or "<image> (a link to <target>)" for an image written where a
// link leads: where the new image went, for the line that says so.
std::string ImageWhere(const std::filesystem::path& image);

// --no-wait refuses at once when another run holds a folder; otherwise the
// command waits for it.
FolderLocks::Wait WaitPolicy(const Arguments& arguments);
// Says on stderr that the command waits for another run.
std::function<void(const std::filesystem::path&)> WaitNotice(CliContext& cli);

// Refuses, before anything is written, an output that would replace one of
// the run's inputs (RequireNotAnInput), and gives the folders to lock for
// writing them: `folders` and the folder of each output, where its link
// leads for a link.
std::vector<std::filesystem::path> OutputLocks(std::vector<std::filesystem::path> folders,
                                               const std::vector<std::filesystem::path>& outputs,
                                               const std::vector<std::filesystem::path>& inputs);

}  // namespace vestrel
