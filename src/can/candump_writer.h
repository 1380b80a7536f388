#pragma once

#include "can/can_frame.h"
#include "platform/system_file.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vestrel::can {

// Records frames as a candump log ("(1436509052.249713) can0 181#11223344"),
// which vestrel-cli replay and can-utils read. The file is a plain log,
// appended to as frames come and written out with every Append: a recording
// may run for hours, and a crash, a kill or a pulled cable must keep every
// frame up to the last one. An atomic file would lose it all; a crash here
// may at most cut the last line, which replay reports as one broken line.
class CandumpWriter {
public:
    // Creates or empties the file. Throws Error("Cannot create file ...").
    CandumpWriter(const std::filesystem::path& path, std::string_view interfaceName);
    ~CandumpWriter();
    CandumpWriter(const CandumpWriter&) = delete;
    CandumpWriter& operator=(const CandumpWriter&) = delete;

    // Adds a line to the buffer; `time` in microseconds since the epoch.
    void Add(const CanFrame& frame, std::int64_t time);
    // Writes what was added. Throws Error("Cannot write file ...").
    void Flush();
    // Adds and writes at once.
    void Append(const CanFrame& frame, std::int64_t time);

    const std::filesystem::path& Path() const { return path_; }
    std::uint64_t Frames() const { return frames_; }

private:
    std::filesystem::path path_;
    std::string interface_;
    std::string buffer_;
    SystemFile file_;
    std::uint64_t frames_ = 0;
};

// The interface name as a candump log carries it: one word of letters,
// digits, '_', '-' and '.', from the last part of a plugin's interface name
// ("tcp://127.0.0.1:40123/can0" gives "can0").
std::string LogInterfaceName(std::string_view interface);

}  // namespace vestrel::can
