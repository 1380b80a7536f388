// Vector ASC, line by line (the header lines change how later lines read)
// and as a whole log.

#include "fuzz_can_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vestrel;
    const std::string_view bytes = fuzz::AsText(data, size);
    can::AscLines asc;
    fuzz::ParseEachLine(bytes, [&](std::string_view line, can::LogFrame& frame, std::string& why) {
        return asc.Parse(line, frame, why);
    });
    const auto path = fuzz::ScratchDir() / "bus.asc";
    fuzz::WriteBytes(path, "date Mon Dec 9 10:00:00 am 2024\n" + std::string(bytes));
    const can::LogFormat format = fuzz::ReadWholeLog(path);
    FUZZ_CHECK(format == can::LogFormat::VectorAsc, "an ASC log read as another format");
    return 0;
}
