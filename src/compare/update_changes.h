#pragma once

// What an update is about to change: the image a merge of the project's
// banks into the base image writes, against the image an earlier update
// left in the project folder. The firmware update dialog shows it before
// "Execute update firmware"; vestrel-cli update prints it.

#include <filesystem>
#include <string>

namespace vestrel::compare {

struct UpdateChanges {
    enum class Outcome {
        FirstUpdate,  // no earlier image in the project folder
        Compared,
        NotCompared,  // a side could not be read; `about` says why
    };
    Outcome outcome = Outcome::FirstUpdate;
    // The count in one line: "3 changes against the image in the project folder".
    std::string count;
    // What the count is against: "New_SX58316.sx, written 2025-03-12 14:02:05;
    // the device may hold another image.", or why nothing was compared.
    std::string about;
    // The comparison as vestrel-cli diff prints it; empty unless Compared.
    std::string list;
};

// Compares the image `earlierImage` with what a merge of binDir's banks 1
// and 2 into `baseImage` writes. Never throws for a side that cannot be
// read: that is NotCompared, with the reason.
UpdateChanges ChangesOfUpdate(const std::filesystem::path& earlierImage, const std::filesystem::path& baseImage,
                              const std::filesystem::path& binDir);

}  // namespace vestrel::compare
