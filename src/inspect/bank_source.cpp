#include "inspect/bank_source.h"

#include "compiler/bank_files.h"
#include "compiler/bank_map.h"
#include "platform/sha256.h"
#include "platform/error.h"
#include "platform/file_util.h"
#include "platform/system_file.h"
#include "platform/text.h"
#include "srec/line_reader.h"
#include "srec/s_record.h"

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
    // Without `banks`, the image need not cover banks 1 and 2; without
    // `contents`, only the banks are kept.
    ImageReader(const fs::path& image, BankImages* banks, ImageContents* contents)
        : name_(image.string()), banks_(banks), contents_(contents) {
        for (auto& lines : coveredBy_) lines.assign(kBankSize, 0);
    }

    // Reads the image line by line: memory stays the same whatever its size,
    // and a file that is no image is refused at its first line.
    void Read(SystemFile& file, const fs::path& path) {
        srec::LineReader reader(file, path);
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
        if (banks_)
            for (int b = 0; b < kReadBanks; ++b) RequireWhole(b);
        if (contents_) GatherOutside();
    }

private:
    // Data outside the banks as the records give it, before it is sorted.
    struct Piece {
        std::uint64_t address;
        std::int64_t line;
        std::size_t offset;
        std::size_t length;
    };

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
            if (contents_) {
                contents_->endType = record.type;
                contents_->startAddress = record.address;
            }
            return;
        }
        if (record.type == 0 && contents_) {
            std::string& header = contents_->headers.emplace_back();
            for (std::size_t i = 0; i < record.dataBytes; ++i) header += static_cast<char>(record.DataByte(i));
        }
        if (!record.IsData()) return;  // S0 header, S5/S6 counts

        const std::uint64_t address = record.address;
        for (int b = 0; b < kReadBanks; ++b) {
            const BankRange& range = kBankTable[static_cast<std::size_t>(b)];
            const std::uint64_t from = std::max<std::uint64_t>(address, range.first);
            const std::uint64_t to = std::min<std::uint64_t>(address + record.dataBytes, std::uint64_t{range.last} + 1);
            for (std::uint64_t a = from; a < to; ++a) {
                const std::size_t offset = static_cast<std::size_t>(a - range.first);
                std::int64_t& by = coveredBy_[static_cast<std::size_t>(b)][offset];
                if (by != 0)
                    Fail(line, "address " + HexAddress(a) + " of bank " + std::to_string(range.number) +
                                   " was already given by line " + std::to_string(by));
                by = line;
                if (banks_) banks_->Bank(range.number)[offset] = record.DataByte(static_cast<std::size_t>(a - address));
            }
        }
        if (contents_) KeepOutside(record, line);
    }

    // The parts of a data record that lie outside banks 1 and 2.
    void KeepOutside(const srec::Record& record, std::int64_t line) {
        const std::uint64_t end = record.address + record.dataBytes;
        std::uint64_t from = record.address;
        auto keep = [&](std::uint64_t to) {
            if (to <= from) return;
            if (contents_->bytes.size() + (to - from) > kMaxImageDataOutsideBanks)
                Fail(line, "the image holds more than " + std::to_string(kMaxImageDataOutsideBanks >> 20) +
                               " MiB of data outside the banks");
            pieces_.push_back(Piece{from, line, contents_->bytes.size(), static_cast<std::size_t>(to - from)});
            for (std::uint64_t a = from; a < to; ++a)
                contents_->bytes.push_back(record.DataByte(static_cast<std::size_t>(a - record.address)));
        };
        for (int b = 0; b < kReadBanks && from < end; ++b) {
            const BankRange& range = kBankTable[static_cast<std::size_t>(b)];
            const std::uint64_t low = range.first, high = std::uint64_t{range.last} + 1;
            if (end <= low || from >= high) continue;
            keep(low);
            from = std::max(from, high);
        }
        keep(end);
    }

    // Sorts the data outside the banks by address into runs, refusing an
    // address that two records give.
    void GatherOutside() {
        std::stable_sort(pieces_.begin(), pieces_.end(),
                         [](const Piece& a, const Piece& b) { return a.address < b.address; });
        std::vector<std::uint8_t> sorted;
        sorted.reserve(contents_->bytes.size());
        std::vector<ImageContents::Run>& runs = contents_->runs;
        for (std::size_t i = 0; i < pieces_.size(); ++i) {
            const Piece& p = pieces_[i];
            if (i > 0) {
                const Piece& before = pieces_[i - 1];
                if (p.address < before.address + before.length) {
                    const bool later = p.line > before.line;
                    Fail(later ? p.line : before.line, "address " + HexAddress(p.address) + " was already given by line " +
                                                           std::to_string(later ? before.line : p.line));
                }
            }
            if (runs.empty() || runs.back().address + runs.back().length != p.address)
                runs.push_back(ImageContents::Run{p.address, sorted.size(), 0});
            runs.back().length += p.length;
            sorted.insert(sorted.end(), contents_->bytes.begin() + static_cast<std::ptrdiff_t>(p.offset),
                          contents_->bytes.begin() + static_cast<std::ptrdiff_t>(p.offset + p.length));
        }
        contents_->bytes = std::move(sorted);
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
    BankImages* banks_;
    ImageContents* contents_;
    std::array<std::vector<std::int64_t>, kReadBanks> coveredBy_;  // per byte: the line that gave it, 0 for none
    std::vector<Piece> pieces_;
    std::int64_t endLine_ = 0;
};

// The image opened for reading, closed on the way out.
SystemFile OpenImage(const fs::path& image) {
    if (!FileExists(image)) throw Error("File \"" + image.string() + "\" not found");
    SystemFile file(image, SystemFile::Mode::Read);
    if (!file.IsOpen()) throw Error(CannotReadMessage(image, errno));
    return file;
}

// Reads into a copy so that a refused image leaves `banks` untouched.
void ReadInto(const fs::path& image, SystemFile& file, BankImages* banks, ImageContents* contents) {
    std::unique_ptr<BankImages> scratch = banks ? std::make_unique<BankImages>(*banks) : nullptr;
    ImageReader(image, scratch.get(), contents).Read(file, image);
    if (banks)
        for (int n = 1; n <= kReadBanks; ++n) std::ranges::copy(scratch->Bank(n), banks->Bank(n).begin());
}

}  // namespace

void ReadBanksFromImage(const fs::path& image, BankImages& banks) {
    SystemFile file = OpenImage(image);
    ReadInto(image, file, &banks, nullptr);
}

ImageContents ReadImageContents(const fs::path& image, BankImages* banks) {
    SystemFile file = OpenImage(image);
    ImageContents contents;
    // The digest and the records come from one open file, so that they
    // describe the same image even when another run replaces it meanwhile.
    contents.sha256 = Sha256HexOfFile(file, image);
    if (!file.Rewind()) throw Error(CannotReadMessage(image, errno));
    ReadInto(image, file, banks, &contents);
    return contents;
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
