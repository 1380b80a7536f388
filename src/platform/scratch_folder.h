#pragma once

#include "platform/work_file.h"

#include <filesystem>
#include <string_view>
#include <vector>

namespace vestrel {

// A folder of the run's own under the system's temporary folder, for files a
// run makes only to read them again (a decoded project, compiled back to
// compare its banks). Two runs never share one. It is removed with what it
// holds when the object goes, and by SIGINT, SIGTERM and SIGHUP before they
// end the process. The run holds a lock on it while it lives; the folder of a
// run killed outright (SIGKILL, a power cut) is removed by the next run that
// makes one, which knows it from that lock, whatever became of the process id.
class ScratchFolder {
public:
    // `stem` starts the folder's name ("vestrel-decode-"). Throws Error.
    explicit ScratchFolder(std::string_view stem);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // Writes the file `name` in the folder, in full; the signals remove it too.
    void Write(std::string_view name, std::string_view data);

private:
    std::filesystem::path path_;
    int fd_ = -1;  // the folder, locked
    work_file::Guard folderGuard_;
    std::vector<work_file::Guard> fileGuards_;
};

}  // namespace vestrel
