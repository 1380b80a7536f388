// vestrel-cli preview with arbitrary arguments (the input cut at NUL bytes)
// on the demo project: it answers with status 0, 1 or 2 and never throws; a
// command line it does not understand prints nothing on stdout; and nothing
// typed reaches the terminal as a control character.

#include "fuzz_support.h"

#include "cli/cli.h"

#include <sstream>

namespace {

namespace fs = std::filesystem;

// The demo project: frames, mappings, a transmit direction.
const fs::path kProject = VESTREL_EXAMPLES_DIR "/workspace/PROJECTS/Demo";

void RequireNoControls(const std::string& text, const char* stream) {
    for (unsigned char c : text)
        FUZZ_CHECK(c == '\n' || (c >= 0x20 && c != 0x7F), std::string("a control character on ") + stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    std::vector<std::string> args{"preview", kProject.string()};
    for (std::string_view piece : vestrel::fuzz::SplitAtNul(vestrel::fuzz::AsText(data, size), 64))
        args.emplace_back(piece);
    std::ostringstream out, err;
    int status = -1;
    try {
        status = vestrel::RunCli(args, out, err, false);
    } catch (...) {
        vestrel::fuzz::Fail("an exception left the command");
    }
    FUZZ_CHECK(status == vestrel::kExitOk || status == vestrel::kExitFailed || status == vestrel::kExitUsage,
               "exit status " + std::to_string(status));
    if (status == vestrel::kExitUsage) FUZZ_CHECK(out.str().empty(), "a refused command line printed a result");
    RequireNoControls(out.str(), "stdout");
    RequireNoControls(err.str(), "stderr");
    return 0;
}
