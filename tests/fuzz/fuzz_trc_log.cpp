// PEAK TRC of every version, line by line (";$FILEVERSION" and ";$COLUMNS"
// change how later lines read) and as a whole log.

#include "fuzz_can_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vestrel;
    const std::string_view bytes = fuzz::AsText(data, size);
    can::TrcLines trc;
    fuzz::ParseEachLine(bytes, [&](std::string_view line, can::LogFrame& frame, std::string& why) {
        return trc.Parse(line, frame, why);
    });
    const auto path = fuzz::ScratchDir() / "bus.trc";
    fuzz::WriteBytes(path, ";$STARTTIME=45634.4166666667\n" + std::string(bytes));
    const can::LogFormat format = fuzz::ReadWholeLog(path);
    FUZZ_CHECK(format == can::LogFormat::PeakTrc, "a TRC log read as another format");
    return 0;
}
