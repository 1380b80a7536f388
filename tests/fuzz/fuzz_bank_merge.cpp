// RunBankMerge on an arbitrary base image, with five fixed bank files. The
// input is the image; an input that starts with "#SEL" and one more byte
// takes the bank selection from that byte's low five bits, the image from
// what follows (otherwise banks 1 and 2 are selected, as the update does).
// Properties:
// - a stopped run shows one message, a run that goes on shows none; neither
//   leaves any file but the new image;
// - the new image is replaced only when every selected bank was spliced in,
//   otherwise the earlier one stays byte for byte;
// - an image is written only from a base image whose every line is a
//   well-formed S-record (count, digits, checksum) with nothing after its end
//   record, and every line it writes is one too;
// - the progress stays within its maximum and, when every bank went in,
//   reaches it;
// - the data the new image loads equals the base image's outside the ranges
//   of the banks spliced in, and holds each such range exactly once, with the
//   bank file's bytes.

#include "fuzz_support.h"

#include "compiler/bank_files.h"
#include "platform/sha256.h"
#include "firmware/bank_merge.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

using namespace vestrel;
namespace fs = std::filesystem;

constexpr std::size_t kBank = 16384;
const std::string kEarlierImage = "earlier image\r\n";
const std::string kNewName = "New_SX58316.sx";

std::uint8_t BankByte(int bank, std::size_t i) { return static_cast<std::uint8_t>(i * 7 + static_cast<std::size_t>(bank) * 31); }

// A hexadecimal digit's value; a large negative number for anything else, so
// that a byte with one bad digit is negative too.
int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -4096;
}

// The lines of an image up to a Ctrl-Z, ended by CR LF, CR or LF.
class LineSplitter {
public:
    explicit LineSplitter(std::string_view image) : image_(image.substr(0, image.find('\x1A'))) {}

    std::optional<std::string_view> Next() {
        if (at_ >= image_.size()) return std::nullopt;
        std::size_t end = image_.find_first_of("\r\n", at_);
        if (end == std::string_view::npos) end = image_.size();
        const std::string_view line = image_.substr(at_, end - at_);
        const bool crlf = end + 1 < image_.size() && image_[end] == '\r' && image_[end + 1] == '\n';
        at_ = end + (crlf ? 2 : 1);
        return line;
    }

private:
    std::string_view image_;
    std::size_t at_ = 0;
};

struct DataByte {
    std::uint64_t address;
    std::uint8_t value;
    friend auto operator<=>(const DataByte&, const DataByte&) = default;
};

// The bytes the data records before the first end record load, in order;
// nothing when such a record is malformed (its extent is then unknown).
std::optional<std::vector<DataByte>> LoadedData(std::string_view image) {
    std::vector<DataByte> bytes;
    bytes.reserve(image.size() / 2);
    LineSplitter lines(image);
    while (const auto next = lines.Next()) {
        const std::string_view line = *next;
        if (line.size() < 2 || line[0] != 'S') continue;
        if (line[1] == '7' || line[1] == '8' || line[1] == '9') break;
        if (line[1] < '1' || line[1] > '3') continue;
        const std::size_t addressBytes = static_cast<std::size_t>(line[1] - '0') + 1;
        if (line.size() < 4 || line.size() % 2 != 0) return std::nullopt;
        const std::size_t count = (line.size() - 2) / 2;  // bytes after the type, the checksum included
        auto byteAt = [&](std::size_t i) { return Hex(line[2 + 2 * i]) * 16 + Hex(line[3 + 2 * i]); };
        for (std::size_t i = 0; i < count; ++i)
            if (byteAt(i) < 0) return std::nullopt;
        if (static_cast<std::size_t>(byteAt(0)) + 1 != count || count < addressBytes + 2) return std::nullopt;
        std::uint64_t address = 0;
        for (std::size_t i = 1; i <= addressBytes; ++i) address = address << 8 | static_cast<std::uint64_t>(byteAt(i));
        for (std::size_t i = addressBytes + 1; i + 1 < count; ++i)
            bytes.push_back({address + (i - addressBytes - 1), static_cast<std::uint8_t>(byteAt(i))});
    }
    return bytes;
}

// Whether every line up to a Ctrl-Z is a well-formed S-record and nothing
// follows the first end record. Written here again, apart from the merge's
// own reader, so that the two check each other.
bool AllRecordsWellFormed(std::string_view image) {
    bool ended = false;
    LineSplitter lines(image);
    while (const auto next = lines.Next()) {
        const std::string_view line = *next;
        if (ended || line.size() < 4 || line[0] != 'S' || line[1] < '0' || line[1] > '9' || line[1] == '4' ||
            line.size() % 2 != 0)
            return false;
        const std::size_t count = (line.size() - 4) / 2;  // bytes after the count byte
        auto byteAt = [&](std::size_t i) { return Hex(line[2 + 2 * i]) * 16 + Hex(line[3 + 2 * i]); };
        int sum = 0;
        for (std::size_t i = 0; i <= count; ++i) {
            if (byteAt(i) < 0) return false;
            if (i < count) sum += byteAt(i);
        }
        static constexpr std::size_t kAddressBytes[] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
        if (static_cast<std::size_t>(byteAt(0)) != count || count < kAddressBytes[line[1] - '0'] + 1) return false;
        if (((sum + byteAt(count)) & 0xFF) != 0xFF) return false;
        ended = line[1] >= '7';
    }
    return true;
}

class Messages : public MessageSink {
public:
    std::vector<std::string> shown;
    void Show(const std::string& text) override { shown.push_back(text); }
};

class Progress : public ProgressSink {
public:
    struct Pass {
        std::int64_t maximum = -1;
        std::int64_t steps = 0;
    };
    std::vector<Pass> passes;

    void SetPosition(std::int64_t position) override {
        if (position == 0) passes.emplace_back();
    }
    void SetMaximum(std::int64_t maximum) override {
        FUZZ_CHECK(!passes.empty() && passes.back().maximum < 0, "a maximum set twice in one pass");
        passes.back().maximum = maximum;
    }
    void Step() override {
        FUZZ_CHECK(!passes.empty() && passes.back().maximum >= 0, "a step before the maximum was set");
        FUZZ_CHECK(++passes.back().steps <= passes.back().maximum, "the progress ran past its maximum");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path bin = [] {
        // Patterns, not a compile's banks: their banks.sha256 vouches for them.
        const fs::path dir = fuzz::EmptyFolder("bin");
        std::string list;
        for (int bank = 1; bank <= 5; ++bank) {
            std::string bytes(kBank, '\0');
            for (std::size_t i = 0; i < kBank; ++i) bytes[i] = static_cast<char>(BankByte(bank, i));
            const std::string name = "bank" + std::to_string(bank) + ".bin";
            fuzz::WriteBytes(dir / name, bytes);
            list += Sha256Hex(bytes) + "  " + name + "\n";
        }
        fuzz::WriteBytes(dir / kBankSetFile, list);
        return dir;
    }();
    static const std::vector<std::string> bankFiles = fuzz::Listing(bin);

    std::string_view image = fuzz::AsText(data, size);
    BankMergeInputs inputs;
    if (image.size() >= 5 && image.starts_with("#SEL")) {
        for (int b = 0; b < 5; ++b) inputs.bankSelection[static_cast<std::size_t>(b)] = (image[4] >> b) & 1;
        image.remove_prefix(5);
    }
    const fs::path out = fuzz::EmptyFolder("out");
    inputs.baseFirmware = fuzz::ScratchDir() / "SX58316.sx";
    fuzz::WriteBytes(inputs.baseFirmware, image);
    fuzz::WriteBytes(out / kNewName, kEarlierImage);
    inputs.dirBin = bin;
    inputs.dirOut = out;
    inputs.newFileName = kNewName;

    Messages messages;
    Progress progress;
    const BankMergeRun run = RunBankMerge(inputs, messages, progress);

    FUZZ_CHECK(fuzz::Listing(bin) == bankFiles, "the run left a file beside the banks");
    FUZZ_CHECK(fuzz::Listing(out) == std::vector<std::string>{kNewName}, "the run left a file beside the image");
    FUZZ_CHECK(messages.shown.size() == (run.stopped ? 1u : 0u),
               "a run " + std::string(run.stopped ? "stopped" : "that went on") + " showed " +
                   std::to_string(messages.shown.size()) + " messages");

    // One pass for all selected banks: a step per line read and per bank
    // record written.
    const bool complete = run.Complete(inputs.bankSelection);
    const bool anyBank = std::any_of(inputs.bankSelection.begin(), inputs.bankSelection.end(), [](bool b) { return b; });
    if (anyBank && !run.stopped) {
        FUZZ_CHECK(progress.passes.size() == 1, "a run made " + std::to_string(progress.passes.size()) + " passes");
        const auto& p = progress.passes.front();
        FUZZ_CHECK(!complete || p.steps == p.maximum,
                   "a complete run made " + std::to_string(p.steps) + " steps of " + std::to_string(p.maximum));
    }

    const std::string written = fuzz::ReadBytes(out / kNewName);
    if (!complete) {
        FUZZ_CHECK(written == kEarlierImage, "a run that did not splice every bank replaced the earlier new image");
        return 0;
    }
    FUZZ_CHECK(written != kEarlierImage || image == kEarlierImage, "a complete run left the earlier new image");
    if (!anyBank) {
        FUZZ_CHECK(written == image, "with no bank selected the new image is not the base image");
        return 0;
    }
    FUZZ_CHECK(AllRecordsWellFormed(image), "an image was written from a base image with a damaged record");
    FUZZ_CHECK(AllRecordsWellFormed(written), "the new image holds a damaged record");

    const auto before = LoadedData(image);
    if (!before) return 0;
    const auto after = LoadedData(written);
    FUZZ_CHECK(after.has_value(), "the new image holds a malformed data record");

    std::array<bool, 5> spliced{};
    for (std::size_t b = 0; b < 5; ++b) spliced[b] = run.results[b] == BankMergeResult::Spliced;
    auto splicedBank = [&](std::uint64_t address) -> int {
        for (const BankRange& row : kBankTable)
            if (spliced[static_cast<std::size_t>(row.number - 1)] && address >= row.first && address <= row.last)
                return row.number;
        return 0;
    };
    std::vector<DataByte> kept, keptAfter;
    for (const DataByte& d : *before)
        if (!splicedBank(d.address)) kept.push_back(d);
    std::array<std::vector<std::uint8_t>, 5> given;  // per bank byte: how often the image gives it
    for (std::size_t b = 0; b < 5; ++b)
        if (spliced[b]) given[b].assign(kBank, 0);
    for (const DataByte& d : *after) {
        const int bank = splicedBank(d.address);
        if (!bank) {
            keptAfter.push_back(d);
            continue;
        }
        const std::size_t offset = d.address - kBankTable[static_cast<std::size_t>(bank - 1)].first;
        FUZZ_CHECK(d.value == BankByte(bank, offset),
                   "bank " + std::to_string(bank) + " offset " + std::to_string(offset) + " holds another byte");
        FUZZ_CHECK(++given[static_cast<std::size_t>(bank - 1)][offset] == 1,
                   "bank " + std::to_string(bank) + " offset " + std::to_string(offset) + " is given twice");
    }
    for (std::size_t b = 0; b < 5; ++b)
        FUZZ_CHECK(!spliced[b] || std::count(given[b].begin(), given[b].end(), 1) == static_cast<std::ptrdiff_t>(kBank),
                   "bank " + std::to_string(b + 1) + " is spliced in incomplete");
    std::sort(kept.begin(), kept.end());
    std::sort(keptAfter.begin(), keptAfter.end());
    FUZZ_CHECK(kept == keptAfter, "the data outside the spliced banks changed");
    return 0;
}
