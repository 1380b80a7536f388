#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vestrel::signaldb {

struct SignalFileWarnings {
    std::string fileName;  // signals.xml as found on disk
    std::vector<std::string> texts;
};

// What the project check says about signals.xml (nothing for a project
// without one): a file that cannot be read; a signal whose scaling a
// database reader would refuse (naming the message, the signal and the
// attribute), which has no physical value; a register whose mapping no
// longer matches what it was imported for (another frame, other bytes), or
// that has no mapping any more; and a database file, found at its recorded
// path, that changed since the import. All are warnings: the compiler never
// reads signals.xml.
SignalFileWarnings CheckSignalFile(const std::filesystem::path& projectDir);

}  // namespace vestrel::signaldb
