// pargen.xml from arbitrary bytes through ReadCommParameters. The reader
// never touches the file, and whatever it reads is written back by
// WriteCommParameters and reads again as the same settings.

#include "fuzz_support.h"

#include "platform/error.h"
#include "project/comm_parameters.h"

namespace {

using namespace vestrel;
namespace fs = std::filesystem;

// Absent settings take their defaults, as the dialog writes them.
CommParameters Completed(CommParameters p) {
    for (const auto& e : kCommParameterElements)
        if (!(p.*e.field)) p.*e.field = e.defaultText;
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::AsText(data, size);
    const auto dir = fuzz::EmptyFolder("project");
    fuzz::WriteBytes(dir / "pargen.xml", bytes);

    const CommParametersRead read = ReadCommParameters(dir);
    FUZZ_CHECK(fuzz::ReadBytes(dir / "pargen.xml") == bytes, "reading changed pargen.xml");
    FUZZ_CHECK(read.status != CommParametersRead::Status::NoFile, "an existing pargen.xml was not found");
    if (read.status == CommParametersRead::Status::Unreadable) {
        FUZZ_CHECK(!read.error.empty(), "an unreadable file came without a message");
        return 0;
    }
    (void)CanModeOf(read.parameters);

    const auto copy = fuzz::EmptyFolder("copy");
    try {
        WriteCommParameters(copy, read.parameters);
    } catch (const Error& e) {
        fuzz::Fail(std::string("settings that were read cannot be written back: ") + e.what());
    }
    const CommParametersRead again = ReadCommParameters(copy);
    FUZZ_CHECK(again.status == CommParametersRead::Status::Loaded, "the written file does not read: " + again.error);
    FUZZ_CHECK(again.parameters == Completed(read.parameters), "the written file reads differently");
    return 0;
}
