// The S-record reader of the decoder on arbitrary bytes. A refused image
// leaves the banks as they were; an accepted one changes banks 1 and 2 only,
// and reading the same image again gives the same banks. Read with what it
// holds besides the banks, an image gives the same banks and its other data
// in runs that ascend and neither meet nor overlap; an image taken with the
// banks is taken without them too.

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

void CheckContents(const fs::path& image, const BankImages& start, const BankImages& banks) {
    auto again = std::make_unique<BankImages>(start);
    ImageContents contents;
    try {
        contents = ReadImageContents(image, again.get());
        (void)ReadImageContents(image, nullptr);
    } catch (const Error& e) {
        // Only what lies outside the banks may be refused on top.
        FUZZ_CHECK(std::string(e.what()).find("was already given by line") != std::string::npos ||
                       std::string(e.what()).find("MiB of data outside the banks") != std::string::npos,
                   std::string("an image the bank reader takes is refused with its contents: ") + e.what());
        return;
    }
    for (int n = 1; n <= 2; ++n) FUZZ_CHECK(SameBank(*again, banks, n), "the contents' banks differ from the banks'");
    std::size_t total = 0;
    for (std::size_t i = 0; i < contents.runs.size(); ++i) {
        const ImageContents::Run& run = contents.runs[i];
        FUZZ_CHECK(run.length > 0 && run.offset == total, "a run is empty or out of place in the bytes");
        if (i > 0) {
            const ImageContents::Run& before = contents.runs[i - 1];
            FUZZ_CHECK(run.address > before.address + before.length, "runs that meet or overlap");
        }
        total += run.length;
    }
    FUZZ_CHECK(total == contents.bytes.size(), "the runs do not cover the bytes");
}

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
        (void)ReadImageContents(image, nullptr);
    } catch (const Error& e) {
        FUZZ_CHECK(*e.what() != '\0', "a refusal without a message");
    }
    try {
        ReadBanksFromImage(image, *banks);
    } catch (const Error& e) {
        FUZZ_CHECK(*e.what() != '\0', "a refusal without a message");
        for (int n = 1; n <= kBankCount; ++n) FUZZ_CHECK(SameBank(*banks, *start, n), "a refused image changed a bank");
        return 0;
    }
    CheckContents(image, *start, *banks);
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
