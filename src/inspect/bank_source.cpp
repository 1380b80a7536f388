#include "inspect/bank_source.h"

#include "compiler/bank_files.h"
#include "compiler/bank_map.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/text.h"
#include "srec/line_reader.h"
#include "srec/s_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vestrel {

namespace {

namespace fs = std::filesystem;

// Banks 1 and 2: the ones a merge splices in and a decode reads back.
constexpr int kReadBanks = 2;

std::string HexAddress(std::uint64_t address) { return "0x" + UpperHex(address, 6); }

class ImageReader {
public:
    ImageReader(const fs::path& image, BankImages& banks) : name_(image.string()), banks_(banks) {
        for (auto& lines : coveredBy_) lines.assign(kBankSize, 0);
    }

    // Reads the image line by line: memory stays the same whatever its size,
    // and a file that is no image is refused at its first line.
    void Read(int fd, const fs::path& path) {
        srec::LineReader reader(fd, path);
        srec::LineReader::Line line;
        std::int64_t number = 0;
        while (reader.Next(line)) {
            number = reader.LineNumber();
            if (line.tooLong) Fail(number, "the line is longer than any S-record");
            Record(line.text, number);
        }
        if (number == 0) throw Error(name_ + " is empty");
        if (endLine_ == 0) throw Error(name_ + ": no end record (S7, S8 or S9) after line " + std::to_string(number) +
                                       ": the image is incomplete");
        for (int b = 0; b < kReadBanks; ++b) RequireWhole(b);
    }

private:
    [[noreturn]] void Fail(std::int64_t line, const std::string& what) const {
        throw Error(name_ + ": line " + std::to_string(line) + ": " + what);
    }

    void Record(std::string_view text, std::int64_t line) {
        srec::Record record;
        if (std::string why = srec::Parse(text, record); !why.empty()) Fail(line, why);
        if (endLine_ != 0)
            Fail(line, "a record follows the end record of line " + std::to_string(endLine_));
        if (record.IsEnd()) {
            endLine_ = line;
            return;
        }
        if (!record.IsData()) return;  // S0 header, S5/S6 counts

        const std::uint64_t address = record.address;
        for (int b = 0; b < kReadBanks; ++b) {
            const BankRange& range = kBankTable[static_cast<std::size_t>(b)];
            const std::uint64_t from = std::max<std::uint64_t>(address, range.first);
            const std::uint64_t to = std::min<std::uint64_t>(address + record.dataBytes, std::uint64_t{range.last} + 1);
            auto bank = banks_.Bank(range.number);
            for (std::uint64_t a = from; a < to; ++a) {
                const std::size_t offset = static_cast<std::size_t>(a - range.first);
                std::int64_t& by = coveredBy_[static_cast<std::size_t>(b)][offset];
                if (by != 0)
                    Fail(line, "address " + HexAddress(a) + " of bank " + std::to_string(range.number) +
                                   " was already given by line " + std::to_string(by));
                by = line;
                bank[offset] = record.DataByte(static_cast<std::size_t>(a - address));
            }
        }
    }

    void RequireWhole(int b) const {
        const BankRange& range = kBankTable[static_cast<std::size_t>(b)];
        const auto& lines = coveredBy_[static_cast<std::size_t>(b)];
        const auto missing = static_cast<std::size_t>(std::count(lines.begin(), lines.end(), 0));
        if (missing == 0) return;
        const std::string which = "bank " + std::to_string(range.number) + " (" + HexAddress(range.first) + "-" +
                                  HexAddress(range.last) + ")";
        if (missing == kBankSize) throw Error(name_ + " holds nothing of " + which);
        const auto firstGap = static_cast<std::size_t>(std::find(lines.begin(), lines.end(), 0) - lines.begin());
        throw Error(name_ + ": " + which + " is incomplete: " + std::to_string(missing) + " of its " +
                    std::to_string(kBankSize) + " bytes are missing, the first at " +
                    HexAddress(range.first + firstGap));
    }

    std::string name_;
    BankImages& banks_;
    std::array<std::vector<std::int64_t>, kReadBanks> coveredBy_;  // per byte: the line that gave it, 0 for none
    std::int64_t endLine_ = 0;
};

}  // namespace

void ReadBanksFromImage(const fs::path& image, BankImages& banks) {
    if (!FileExists(image)) throw Error("File \"" + image.string() + "\" not found");
    const int fd = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Error(CannotReadMessage(image, errno));
    // Read into a copy so that a refused image leaves `banks` untouched.
    auto scratch = std::make_unique<BankImages>(banks);
    try {
        ImageReader(image, *scratch).Read(fd, image);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    for (int n = 1; n <= kReadBanks; ++n) std::ranges::copy(scratch->Bank(n), banks.Bank(n).begin());
}

void ReadBanksFromBinDir(const fs::path& binDir, BankImages& banks) {
    const std::optional<BankSetList> list = BankSetList::Read(binDir);
    std::array<std::string, kReadBanks> data;
    for (int n = 1; n <= kReadBanks; ++n) {
        const BankRange& range = BankRow(n);
        const fs::path file = binDir / range.binFile;
        if (!FileExists(file)) throw Error("File \"" + file.string() + "\" not found");
        std::string& bytes = data[static_cast<std::size_t>(n - 1)];
        bytes = ReadRegularFile(file, 1 << 20);  // a bound on memory; the size is checked below
        if (bytes.size() != kBankSize)
            throw Error("File \"" + file.string() + "\" holds " + std::to_string(bytes.size()) + " bytes, not " +
                        std::to_string(kBankSize));
        if (list) list->Require(range.binFile, bytes);
    }
    for (int n = 1; n <= kReadBanks; ++n) {
        const std::string& bytes = data[static_cast<std::size_t>(n - 1)];
        std::transform(bytes.begin(), bytes.end(), banks.Bank(n).begin(),
                       [](char c) { return static_cast<std::uint8_t>(c); });
    }
}

}  // namespace vestrel
