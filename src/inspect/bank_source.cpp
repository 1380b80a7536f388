#include "inspect/bank_source.h"

#include "firmware/bank_merge.h"
#include "platform/error.h"
#include "platform/file_util.h"

#include <algorithm>
#include <array>
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

std::string HexAddress(std::uint64_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%06llX", static_cast<unsigned long long>(address));
    return text;
}

std::string HexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Address bytes of each record type; 0 for a type that does not exist.
constexpr std::array<int, 10> kAddressBytes = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

class ImageReader {
public:
    ImageReader(const fs::path& image, BankImages& banks) : name_(image.string()), banks_(banks) {
        for (auto& lines : coveredBy_) lines.assign(kBankSize, 0);
    }

    void Read(std::string_view data) {
        // A Ctrl-Z ends the file, as the merge reads it.
        if (auto eof = data.find('\x1A'); eof != std::string_view::npos) data = data.substr(0, eof);
        if (data.empty()) throw Error(name_ + " is empty");
        std::size_t at = 0;
        int line = 0;
        while (at < data.size()) {
            std::size_t end = data.find_first_of("\r\n", at);
            if (end == std::string_view::npos) end = data.size();
            ++line;
            Record(data.substr(at, end - at), line);
            at = end;
            if (at < data.size() && data[at] == '\r') ++at;
            if (at < data.size() && data[at] == '\n' && data[at - 1] != '\n') ++at;
        }
        if (endLine_ == 0) throw Error(name_ + ": no end record (S7, S8 or S9) after line " + std::to_string(line) +
                                       ": the image is incomplete");
        for (int b = 0; b < kReadBanks; ++b) RequireWhole(b);
    }

private:
    [[noreturn]] void Fail(int line, const std::string& what) const {
        throw Error(name_ + ": line " + std::to_string(line) + ": " + what);
    }

    void Record(std::string_view text, int line) {
        if (text.empty()) Fail(line, "the line is empty");
        if (text[0] != 'S' || text.size() < 2) Fail(line, "not an S-record");
        const char type = text[1];
        if (type < '0' || type > '9' || kAddressBytes[static_cast<std::size_t>(type - '0')] == 0)
            Fail(line, "\"S" + std::string(1, type) + "\" is not an S-record type");
        for (std::size_t i = 2; i < text.size(); ++i)
            if (HexDigit(text[i]) < 0)
                Fail(line, "'" + std::string(1, text[i]) + "' at column " + std::to_string(i + 1) +
                               " is not a hexadecimal digit");
        if (text.size() < 4) Fail(line, "the record has no byte count");
        auto byteAt = [&](std::size_t i) {
            return static_cast<std::uint8_t>(HexDigit(text[2 + 2 * i]) << 4 | HexDigit(text[3 + 2 * i]));
        };
        const std::size_t count = byteAt(0);
        const std::size_t digits = text.size() - 4;
        if (digits != 2 * count)
            Fail(line, "the byte count says " + std::to_string(count) + " bytes follow, but the line holds " +
                           std::to_string(digits) + " hexadecimal digits after it");
        const std::size_t addressBytes = static_cast<std::size_t>(kAddressBytes[static_cast<std::size_t>(type - '0')]);
        if (count < addressBytes + 1)
            Fail(line, "the byte count " + std::to_string(count) + " is too small for an S" + std::string(1, type) +
                           " record");

        unsigned sum = 0;
        for (std::size_t i = 0; i < count; ++i) sum += byteAt(i);  // count, address and data
        const unsigned expected = ~sum & 0xFF;
        const unsigned given = byteAt(count);
        if (given != expected)
            Fail(line, "checksum mismatch: the record ends in " + HexByte(given) + ", its bytes give " +
                           HexByte(expected));

        if (endLine_ != 0)
            Fail(line, "a record follows the end record of line " + std::to_string(endLine_));
        if (type == '7' || type == '8' || type == '9') {
            endLine_ = line;
            return;
        }
        if (type != '1' && type != '2' && type != '3') return;  // S0 header, S5/S6 counts

        std::uint64_t address = 0;
        for (std::size_t i = 1; i <= addressBytes; ++i) address = address << 8 | byteAt(i);
        const std::size_t first = addressBytes + 1;
        const std::size_t length = count - addressBytes - 1;
        for (int b = 0; b < kReadBanks; ++b) {
            const BankRange& range = kBankTable[static_cast<std::size_t>(b)];
            const std::uint64_t from = std::max<std::uint64_t>(address, range.first);
            const std::uint64_t to = std::min<std::uint64_t>(address + length, std::uint64_t{range.last} + 1);
            auto bank = banks_.Bank(range.number);
            for (std::uint64_t a = from; a < to; ++a) {
                const std::size_t offset = static_cast<std::size_t>(a - range.first);
                int& by = coveredBy_[static_cast<std::size_t>(b)][offset];
                if (by != 0)
                    Fail(line, "address " + HexAddress(a) + " of bank " + std::to_string(range.number) +
                                   " was already given by line " + std::to_string(by));
                by = line;
                bank[offset] = byteAt(first + static_cast<std::size_t>(a - address));
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
    std::array<std::vector<int>, kReadBanks> coveredBy_;  // per byte: the line that gave it, 0 for none
    int endLine_ = 0;
};

}  // namespace

void ReadBanksFromImage(const fs::path& image, BankImages& banks) {
    if (!FileExists(image)) throw Error("File \"" + image.string() + "\" not found");
    const std::string data = ReadWholeFile(image);
    // Read into a copy so that a refused image leaves `banks` untouched.
    auto scratch = std::make_unique<BankImages>(banks);
    ImageReader(image, *scratch).Read(data);
    for (int n = 1; n <= kReadBanks; ++n) std::ranges::copy(scratch->Bank(n), banks.Bank(n).begin());
}

void ReadBanksFromBinDir(const fs::path& binDir, BankImages& banks) {
    std::array<std::string, kReadBanks> data;
    for (int n = 1; n <= kReadBanks; ++n) {
        const BankRange& range = kBankTable[static_cast<std::size_t>(n - 1)];
        const fs::path file = binDir / range.binFile;
        if (!FileExists(file)) throw Error("File \"" + file.string() + "\" not found");
        std::string& bytes = data[static_cast<std::size_t>(n - 1)];
        bytes = ReadWholeFile(file);
        if (bytes.size() != kBankSize)
            throw Error("File \"" + file.string() + "\" holds " + std::to_string(bytes.size()) + " bytes, not " +
                        std::to_string(kBankSize));
    }
    for (int n = 1; n <= kReadBanks; ++n) {
        const std::string& bytes = data[static_cast<std::size_t>(n - 1)];
        std::transform(bytes.begin(), bytes.end(), banks.Bank(n).begin(),
                       [](char c) { return static_cast<std::uint8_t>(c); });
    }
}

}  // namespace vestrel
