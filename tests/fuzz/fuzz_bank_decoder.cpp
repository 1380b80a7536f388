// The bank decoder on banks 1 and 2 from a compile of a small project with
// the input laid over them: each three input bytes set one byte (a 15-bit
// offset into banks 1 and 2, then the value). Whatever DecodeBanks accepts
// describes banks that some compile makes: the decoded project compiles back
// to the same bytes (VerifyDecodedProject), and its description and notes
// can be made.

#include "fuzz_support.h"

#include "compiler/bank_builder.h"
#include "inspect/bank_decoder.h"
#include "platform/error.h"

#include <memory>

namespace {

using namespace vestrel;
namespace fs = std::filesystem;

std::unique_ptr<BankCompiler> CompiledProject() {
    const fs::path dir = fuzz::EmptyFolder("base-project");
    fuzz::WriteBytes(dir / "pargen.xml",
                     "<GeneralParameter><BaudRateCAN>4</BaudRateCAN><CANType>0</CANType><Baud_Ser>3</Baud_Ser>"
                     "<Par_Ser>1</Par_Ser><IDDev_Ser>7</IDDev_Ser><TimeOut_Ser>1000</TimeOut_Ser>"
                     "<TimeOut_Data>5</TimeOut_Data><TO_ModReg>300</TO_ModReg><Serial>1</Serial>"
                     "<Cancel_Data>1</Cancel_Data><Can_Data_Inp_Reg>0</Can_Data_Inp_Reg></GeneralParameter>");
    fuzz::WriteBytes(dir / "RCobDef.xml",
                     R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic="a"/><row CobID="0x7FF" Dimensin="2" )"
                     R"(Mnemonic=""/><row CobID="0x181" Dimensin="4" Mnemonic=""/></COBID>)");
    fuzz::WriteBytes(dir / "TCobDef.xml",
                     R"(<COBID><row CobID="0x201" Dimensin="8" RTR="N" Mnemonic=""/>)"
                     R"(<row CobID="5" Dimensin="1" RTR="Y" Mnemonic=""/></COBID>)");
    fuzz::WriteBytes(dir / "RInfoCob.xml",
                     R"(<RInfoCob><row Index="5" NrPdo="1" PosComp="18"/><row Index="0x10" NrPdo="3" )"
                     R"(PosComp="0"/></RInfoCob>)");
    fuzz::WriteBytes(dir / "TInfoCob.xml", R"(<TInfoCob><row Index="100" NrPdo="2" PosComp="136"/></TInfoCob>)");
    auto compiler = std::make_unique<BankCompiler>();
    compiler->BuildBankImages(dir, LocalDateTime{2024, 12, 8, 13, 45, 31});
    return compiler;
}

}  // namespace

// VerifyDecodedProject makes its scratch project under TMPDIR: keep it in
// this process's folder.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("TMPDIR", fuzz::ScratchDir().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto compiled = CompiledProject();
    auto banks = std::make_unique<BankImages>(compiled->Banks());
    for (std::size_t i = 0; i + 3 <= size; i += 3) {
        const std::size_t at = (static_cast<std::size_t>(data[i]) << 8 | data[i + 1]) & 0x7FFF;
        banks->Bank(at < kBankSize ? 1 : 2)[at % kBankSize] = data[i + 2];
    }

    DecodedBanks decoded;
    try {
        decoded = DecodeBanks(*banks);
    } catch (const Error&) {
        return 0;
    }
    try {
        VerifyDecodedProject(decoded, *banks);
    } catch (const Error& e) {
        fuzz::Fail(std::string("banks the decoder accepts do not come back from their project: ") + e.what());
    }
    (void)DescribeDecodedBanks(decoded);
    (void)DecodeNotes(decoded);
    return 0;
}
