// The S-record reader of the decoder on arbitrary bytes. A refused image
// leaves the banks as they were; an accepted one changes banks 1 and 2 only,
// and reading the same image again gives the same banks.

#include "fuzz_support.h"

#include "inspect/bank_decoder.h"
#include "inspect/bank_source.h"
#include "platform/error.h"

#include <algorithm>
#include <memory>

namespace {

using namespace vestrel;
namespace fs = std::filesystem;

bool SameBank(const BankImages& a, const BankImages& b, int n) { return std::ranges::equal(a.Bank(n), b.Bank(n)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto start = [] {
        auto banks = std::make_unique<BankImages>();
        for (int n = 1; n <= kBankCount; ++n)
            for (std::size_t i = 0; i < kBankSize; ++i) banks->Bank(n)[i] = static_cast<std::uint8_t>(i * 13 + n);
        return banks;
    }();
    const fs::path image = fuzz::ScratchDir() / "image.sx";
    fuzz::WriteBytes(image, fuzz::AsText(data, size));

    auto banks = std::make_unique<BankImages>(*start);
    try {
        ReadBanksFromImage(image, *banks);
    } catch (const Error& e) {
        FUZZ_CHECK(*e.what() != '\0', "a refusal without a message");
        for (int n = 1; n <= kBankCount; ++n) FUZZ_CHECK(SameBank(*banks, *start, n), "a refused image changed a bank");
        return 0;
    }
    for (int n = 3; n <= kBankCount; ++n) FUZZ_CHECK(SameBank(*banks, *start, n), "an image changed banks 3-5");
    auto again = std::make_unique<BankImages>();
    ReadBanksFromImage(image, *again);
    for (int n = 1; n <= 2; ++n) FUZZ_CHECK(SameBank(*banks, *again, n), "the banks an image gives depend on the start");
    try {
        DecodeBanks(*banks);
    } catch (const Error&) {
    }
    return 0;
}
