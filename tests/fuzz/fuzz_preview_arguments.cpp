// vestrel-cli preview with arbitrary arguments (the input cut at NUL bytes)
// on a small project: it answers with status 0, 1 or 2 and never throws; a
// command line it does not understand prints nothing on stdout; and nothing
// typed reaches the terminal as a control character.

#include "fuzz_support.h"

#include "cli/cli.h"

#include <sstream>

namespace {

namespace fs = std::filesystem;

const fs::path& Project() {
    static const fs::path dir = [] {
        const fs::path p = vestrel::fuzz::EmptyFolder("project");
        vestrel::fuzz::WriteBytes(p / "pargen.xml",
                                  "<GeneralParameter><BaudRateCAN>5</BaudRateCAN><CANType>0</CANType>"
                                  "<Baud_Ser>4</Baud_Ser><Par_Ser>2</Par_Ser><IDDev_Ser>1</IDDev_Ser>"
                                  "<TimeOut_Ser>1000</TimeOut_Ser><TO_ModReg>100</TO_ModReg></GeneralParameter>");
        vestrel::fuzz::WriteBytes(p / "RCobDef.xml",
                                  "<COBID><row CobID=\"0x181\" Dimensin=\"8\" Mnemonic=\"Drive\x1b[2J\"/>"
                                  "<row CobID=\"0x181\" Dimensin=\"2\" Mnemonic=\"\"/></COBID>");
        vestrel::fuzz::WriteBytes(p / "TCobDef.xml",
                                  "<COBID><row CobID=\"0x201\" Dimensin=\"4\" RTR=\"N\" Mnemonic=\"\"/></COBID>");
        vestrel::fuzz::WriteBytes(p / "RInfoCob.xml",
                                  "<RInfoCob><row Index=\"1\" NrPdo=\"1\" PosComp=\"18\"/>"
                                  "<row Index=\"2\" NrPdo=\"2\" PosComp=\"9\"/></RInfoCob>");
        vestrel::fuzz::WriteBytes(p / "TInfoCob.xml",
                                  "<TInfoCob><row Index=\"100\" NrPdo=\"1\" PosComp=\"18\"/>"
                                  "<row Index=\"101\" NrPdo=\"1\" PosComp=\"52\"/></TInfoCob>");
        return p;
    }();
    return dir;
}

void RequireNoControls(const std::string& text, const char* stream) {
    for (unsigned char c : text)
        FUZZ_CHECK(c == '\n' || (c >= 0x20 && c != 0x7F), std::string("a control character on ") + stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    std::vector<std::string> args{"preview", Project().string()};
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
