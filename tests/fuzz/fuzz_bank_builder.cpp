// BuildBankImages on a project folder written from the input: pargen.xml,
// RCobDef.xml, TCobDef.xml, RInfoCob.xml and TInfoCob.xml, cut at NUL bytes
// (an empty piece is a missing file). The banks start from a pattern, as an
// earlier compile of the same run would leave them, so that a stray write of
// any value shows. Whether the project is refused or accepted:
// - no byte outside the regions of the layout changes, banks 3-5 not at all;
// - a failure is an Error with a message, never another exception.
// When it is accepted, the counts lie within the layout's capacity, no table
// reaches past its count, and the CANType byte names the layout used.

#include "fuzz_support.h"

#include "compiler/bank_builder.h"
#include "platform/error.h"
#include "project/integer_text.h"
#include "project/project_xml.h"

#include <array>
#include <cstring>
#include <memory>

namespace {

using namespace vestrel;
namespace fs = std::filesystem;

constexpr std::array<const char*, 5> kFiles = {"pargen.xml", "RCobDef.xml", "TCobDef.xml", "RInfoCob.xml",
                                               "TInfoCob.xml"};

// The bytes of bank 1 that no compile writes, from the layout rather than
// taken from the compiler: the gaps in the parameter block. Bank 2 is all
// frame and mapping records; banks 3-5 are never written.
struct Range {
    std::size_t from, to;
};
constexpr std::array<Range, 3> kBank1Unowned{{{16010, 16012}, {16026, 16099}, {16100, kBankSize}}};

std::uint8_t Pattern(std::size_t i) { return static_cast<std::uint8_t>(i * 131 + 7); }

std::unique_ptr<BankCompiler> PatternedCompiler() {
    auto compiler = std::make_unique<BankCompiler>();
    // The compiler owns its banks; only the starting state is set here.
    auto& banks = const_cast<BankImages&>(compiler->Banks());
    for (int n = 1; n <= kBankCount; ++n) {
        auto bank = banks.Bank(n);
        for (std::size_t i = 0; i < kBankSize; ++i) bank[i] = Pattern(i + static_cast<std::size_t>(n) * kBankSize);
    }
    return compiler;
}

// The number of records in a file as the compiler counts them, -1 without a
// readable file.
int RecordCount(const fs::path& file) {
    if (!fs::exists(file)) return 0;
    ProjectXml xml;
    try {
        xml.LoadFromFile(file);
    } catch (const Error&) {
        return -1;
    }
    return xml.ChildCount(xml.DocumentElement());
}

void RequireUnchanged(const BankImages& before, const BankImages& after, int bank, std::size_t from, std::size_t to,
                      const char* what) {
    if (from >= to) return;
    const std::uint8_t* a = before.Bank(bank).data();
    const std::uint8_t* b = after.Bank(bank).data();
    if (std::memcmp(a + from, b + from, to - from) == 0) return;
    std::size_t i = from;
    while (a[i] == b[i]) ++i;
    fuzz::Fail("bank " + std::to_string(bank) + " offset " + std::to_string(i) + " changed: " + what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto start = PatternedCompiler();

    const auto pieces = fuzz::SplitAtNul(fuzz::AsText(data, size), kFiles.size());
    const auto dir = fuzz::EmptyFolder("project");
    for (std::size_t i = 0; i < pieces.size(); ++i)
        if (!pieces[i].empty()) fuzz::WriteBytes(dir / kFiles[i], pieces[i]);

    auto compiler = std::make_unique<BankCompiler>(*start);
    bool accepted = true;
    try {
        compiler->BuildBankImages(dir, LocalDateTime{2024, 12, 8, 13, 45, 31});
    } catch (const Error& e) {
        FUZZ_CHECK(*e.what() != '\0', "a refusal without a message");
        accepted = false;
    }
    // Anything but Error (std::logic_error from a write outside a bank, for
    // one) escapes to libFuzzer and counts as a crash.

    const BankImages& before = start->Banks();
    const BankImages& after = compiler->Banks();
    for (const Range& gap : kBank1Unowned)
        RequireUnchanged(before, after, 1, gap.from, gap.to, "outside every region of the layout");
    for (int n = 3; n <= kBankCount; ++n) RequireUnchanged(before, after, n, 0, kBankSize, "banks 3-5 are never written");
    if (!accepted) return 0;

    const int receiveFrames = RecordCount(dir / "RCobDef.xml");
    const int transmitFrames = RecordCount(dir / "TCobDef.xml");
    const int receiveMappings = RecordCount(dir / "RInfoCob.xml");
    const int transmitMappings = RecordCount(dir / "TInfoCob.xml");
    FUZZ_CHECK(receiveFrames >= 0 && transmitFrames >= 0 && receiveMappings >= 0 && transmitMappings >= 0,
          "a project with an unreadable file was accepted");
    FUZZ_CHECK(receiveFrames <= 250 && transmitFrames <= 250, "more than 250 frames were accepted");
    FUZZ_CHECK(receiveMappings <= kMaxReceiveMappings && transmitMappings <= kMaxTransmitMappings,
          "more mapping records than their region holds were accepted");

    const auto r = static_cast<std::size_t>(receiveFrames);
    const auto t = static_cast<std::size_t>(transmitFrames);
    RequireUnchanged(before, after, 1, 4352 + 4 * static_cast<std::size_t>(receiveMappings), 16000,
                     "past the receive mapping records");
    RequireUnchanged(before, after, 2, 1500 + 4 * static_cast<std::size_t>(transmitMappings), kBankSize,
                     "past the transmit mapping records");

    bool can20B = false;
    if (fs::exists(dir / "pargen.xml")) {
        ProjectXml xml;
        xml.LoadFromFile(dir / "pargen.xml");
        const auto type = xml.FindChild(xml.DocumentElement(), "CANType");
        FUZZ_CHECK(static_cast<bool>(type), "a pargen.xml without CANType was accepted");
        const std::int32_t canType = ParseIntegerTextStrict(xml.Text(type));
        can20B = canType != 0;
        // The device takes its CAN mode from this byte. A CANType such as 256,
        // whose low byte is 0, is the project check's to warn about.
        if ((canType & 0xFF) != 0 || canType == 0)
            FUZZ_CHECK((after.Bank(1)[16001] != 0) == can20B, "the CANType byte names the other layout");
    }
    if (can20B) {
        const auto bank1 = after.Bank(1);
        FUZZ_CHECK(std::all_of(bank1.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(6 * r, 4096)),
                               bank1.begin() + 4096, [](std::uint8_t b) { return b == 0xFF; }),
                   "CAN 2.0B: bank 1 past the receive records is not 0xFF");
        FUZZ_CHECK(std::all_of(bank1.begin() + 4096, bank1.begin() + 4352, [](std::uint8_t b) { return b == 0; }),
                   "CAN 2.0B: the bitmap is not zero");
        RequireUnchanged(before, after, 2, 5 * t, 1500, "CAN 2.0B: past the transmit records");
    } else {
        RequireUnchanged(before, after, 2, 3 * r, 750, "CAN 2.0A: past the receive records");
        RequireUnchanged(before, after, 2, 750 + 3 * t, 1500, "CAN 2.0A: past the transmit records");
    }
    return 0;
}
