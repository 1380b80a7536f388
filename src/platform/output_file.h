#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The rules every output of the tool follows, whichever command or window
// writes it: an output that is a symbolic link is written at the file the
// link leads to, and no output ever replaces one of the run's inputs.
namespace vestrel {

// The file that writing `output` replaces: `output` itself, or for a link
// the file at the end of its chain of links, so that the link stays as it is
// (users link New_SX58316.sx to where their flasher looks). A link that
// leads nowhere gives the file it names, which the write creates. Throws
// Error, before anything is written, for links that lead round in a circle
// and for a target that is not a regular file (a folder, a device, a named
// pipe), which no save can replace.
std::filesystem::path OutputTarget(const std::filesystem::path& output);

// The folder OutputTarget(output) lies in, "." for a bare name: the folder
// a run locks before it writes the output.
std::filesystem::path OutputFolder(const std::filesystem::path& output);

// `folders` and the folder of each of `outputs`, where its link leads for a
// link: the folders a run locks before it writes those outputs.
std::vector<std::filesystem::path> FoldersToLock(std::vector<std::filesystem::path> folders,
                                                 const std::vector<std::filesystem::path>& outputs);

// The input among `inputs` that writing `output` would replace, or nothing.
// `inputs` are the files a run reads, whether they exist or not. An output
// replaces an input when it is the same file by any path (through a link, a
// hard link, "./"), or when it lies in the same folder under a name that
// differs only in letter case, which the tool's lookups take for the input.
std::optional<std::filesystem::path> InputAt(const std::filesystem::path& output,
                                             const std::vector<std::filesystem::path>& inputs);

// "\"<output>\" is \"<input>\", which the run reads", or "\"<output>\" is a
// file the run reads" when both are named alike.
std::string OutputIsInputMessage(const std::filesystem::path& output, const std::filesystem::path& input);

// Throws Error("The output ... is ..., which the run reads; nothing was
// written") when writing `output` would replace one of `inputs`.
void RequireNotAnInput(const std::filesystem::path& output, const std::vector<std::filesystem::path>& inputs);

}  // namespace vestrel
