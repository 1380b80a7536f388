// candump's log file and screen format, line by line and as a whole log:
// every frame is in range and reads back from its compact text.

#include "fuzz_can_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vestrel;
    const std::string_view bytes = fuzz::AsText(data, size);
    can::CandumpLines candump;
    fuzz::ParseEachLine(bytes, [&](std::string_view line, can::LogFrame& frame, std::string& why) {
        return candump.Parse(line, frame, why);
    });
    const auto path = fuzz::ScratchDir() / "bus.log";
    fuzz::WriteBytes(path, "(0.000000) can0 000#\n" + std::string(bytes));  // a candump log, whatever follows
    const can::LogFormat format = fuzz::ReadWholeLog(path);
    FUZZ_CHECK(format == can::LogFormat::CandumpLog, "a candump log read as another format");
    return 0;
}
