// Vector BLF: the objects after a file header, in containers stored or
// compressed, damaged anywhere. An input that does not start with "LOGG"
// gets a file header of 144 bytes first, so that the objects are explored.

#include "fuzz_can_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vestrel;
    std::string bytes(fuzz::AsText(data, size));
    if (bytes.substr(0, 4) != "LOGG") {
        std::string header(144, '\0');
        header.replace(0, 4, "LOGG");
        header[4] = static_cast<char>(144);
        bytes = header + bytes;
    }
    const auto path = fuzz::ScratchDir() / "bus.blf";
    fuzz::WriteBytes(path, bytes);
    const can::LogFormat format = fuzz::ReadWholeLog(path);
    FUZZ_CHECK(format == can::LogFormat::VectorBlf, "a BLF file read as another format");
    return 0;
}
