#include "inspect/bank_source.h"

#include "support/srecord_text.h"
#include "platform/error.h"
#include "support/temp_dir.h"
#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace vestrel {
namespace {

using namespace test;
using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(int multiplier, int add) {
    Bytes bytes(kBankSize);
    for (std::size_t i = 0; i < kBankSize; ++i) bytes[i] = static_cast<std::uint8_t>(i * multiplier + add + i / 256);
    return bytes;
}

Bytes Copy(std::span<const std::uint8_t> b) { return {b.begin(), b.end()}; }

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("\r\n", at);
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    return text;
}

class BankSource : public ::testing::Test {
protected:
    // Reads `image`; returns the error text, or "" when it was read.
    std::string Read(const std::string& image) {
        WriteFile(dir_ / "image.sx", image);
        try {
            ReadBanksFromImage(dir_ / "image.sx", *banks_);
        } catch (const Error& e) {
            return e.what();
        }
        return "";
    }

    TempDir dir_;
    std::unique_ptr<BankImages> banks_ = std::make_unique<BankImages>();
    const Bytes bank1_ = Pattern(7, 0);
    const Bytes bank2_ = Pattern(13, 1);
    const std::string image_ = FirmwareImage(bank1_, bank2_);
};

TEST_F(BankSource, ReadsBothBanksFromTheirAddressRanges) {
    banks_->Bank(3)[5] = 0x5A;
    ASSERT_EQ(Read(image_), "");
    EXPECT_EQ(Copy(banks_->Bank(1)), bank1_);
    EXPECT_EQ(Copy(banks_->Bank(2)), bank2_);
    EXPECT_EQ(banks_->Bank(3)[5], 0x5A) << "banks 3 to 5 are not read";
}

TEST_F(BankSource, AcceptsEveryDataRecordTypeLineEndAndRecordSplit) {
    const std::span<const std::uint8_t> b1(bank1_), b2(bank2_);
    std::string image = SRecord('0', 0, 2, "hdr");
    image += SRecord('1', 0x1000, 2, "code");
    // Bank 1 in S3 records of 16 bytes, in lower-case digits, with LF line ends.
    for (std::size_t at = 0; at < kBankSize; at += 16) {
        std::string line = SRecord('3', 0x388000 + static_cast<std::uint32_t>(at), 4, b1.subspan(at, 16));
        std::transform(line.begin() + 2, line.end(), line.begin() + 2, [](char c) { return static_cast<char>(std::tolower(c)); });
        image += line.substr(0, line.size() - 2) + "\n";
    }
    // Bank 2 from a record that starts below it and one that runs past its end, CR line ends.
    Bytes first(48, 0xEE);
    std::copy_n(bank2_.begin(), 32, first.begin() + 16);
    std::string line = SRecord('2', 0x397FF0, 3, first);
    image += line.substr(0, line.size() - 2) + "\r";
    image += S2Block(0x398020, b2.subspan(32, kBankSize - 64));
    Bytes last(b2.end() - 32, b2.end());
    last.resize(40, 0xEE);
    image += SRecord('2', 0x39BFE0, 3, last);
    image += SRecord('5', 0x0003, 2);  // a record count that a merge made stale
    image += SRecord('8', 0x388000, 3) + "\x1A" + "anything after Ctrl-Z";
    ASSERT_EQ(Read(image), "");
    EXPECT_EQ(Copy(banks_->Bank(1)), bank1_);
    EXPECT_EQ(Copy(banks_->Bank(2)), bank2_);
}

TEST_F(BankSource, RefusesCorruptOrIncompleteImagesAndKeepsTheBanks) {
    const std::vector<std::string> lines = SplitLines(image_);
    // lines[0] S0, [1] code, [2..513] bank 1, [514] code, [515..1026] bank 2, [1027] code, [1028] S9.
    ASSERT_EQ(lines.size(), 1029u);
    auto changed = [&](std::size_t index, const std::string& text) {
        auto copy = lines;
        copy[index] = text;
        return JoinLines(copy);
    };
    auto without = [&](std::size_t from, std::size_t count) {
        auto copy = lines;
        copy.erase(copy.begin() + static_cast<std::ptrdiff_t>(from), copy.begin() + static_cast<std::ptrdiff_t>(from + count));
        return JoinLines(copy);
    };
    const std::string badSum = lines[10].substr(0, 74) + (lines[10].substr(74) == "00" ? "01" : "00");
    std::string badHex = lines[10];
    badHex[20] = 'G';
    const std::string name = (dir_ / "image.sx").string();
    struct Case {
        std::string image;
        std::string message;
    };
    const std::vector<Case> cases = {
        {changed(10, badSum), name + ": line 11: checksum mismatch: the record ends in 0x" + badSum.substr(74)},
        {changed(10, badHex), name + ": line 11: 'G' at column 21 is not a hexadecimal digit"},
        {changed(10, "s" + lines[10].substr(1)), name + ": line 11: not an S-record"},
        {changed(10, "S4" + lines[10].substr(2)), name + ": line 11: \"S4\" is not an S-record type"},
        {changed(10, lines[10].substr(0, 72)), name + ": line 11: the byte count says 36 bytes follow, but the line holds 68 hexadecimal digits after it"},
        {changed(10, "S203388000"), name + ": line 11: the byte count 3 is too small for an S2 record"},
        {changed(10, ""), name + ": line 11: the line is empty"},
        {JoinLines({lines.begin(), lines.begin() + 600}) + lines[600].substr(0, 40),
         name + ": line 601: the byte count says 36 bytes follow, but the line holds 36 hexadecimal digits after it"},
        {without(1028, 1), name + ": no end record (S7, S8 or S9) after line 1028: the image is incomplete"},
        {image_ + lines[1] + "\r\n", name + ": line 1030: a record follows the end record of line 1029"},
        {without(515, 512), name + " holds nothing of bank 2 (0x398000-0x39BFFF)"},
        {without(10, 1), name + ": bank 1 (0x388000-0x38BFFF) is incomplete: 32 of its 16384 bytes are missing, the first at 0x388100"},
        {changed(11, lines[10]), name + ": line 12: address 0x388100 of bank 1 was already given by line 11"},
        {"", name + " is empty"},
    };
    for (const Case& c : cases) {
        const std::string error = Read(c.image);
        EXPECT_EQ(error.substr(0, c.message.size()), c.message);
        EXPECT_TRUE(std::all_of(banks_->Area().begin(), banks_->Area().end(), [](auto b) { return b == 0; }))
            << "a refused image leaves the banks as they were: " << c.message;
    }
    EXPECT_THROW(ReadBanksFromImage(dir_ / "none.sx", *banks_), Error);
}

TEST_F(BankSource, ReadsBankFilesOfExactlyTheBankSize) {
    std::filesystem::create_directory(dir_ / "bin");
    auto text = [](const Bytes& b) { return std::string(b.begin(), b.end()); };
    WriteFile(dir_ / "bin" / "bank1.bin", text(bank1_));
    EXPECT_THROW(ReadBanksFromBinDir(dir_ / "bin", *banks_), Error);  // no bank2.bin
    WriteFile(dir_ / "bin" / "bank2.bin", text(bank2_) + "x");
    try {
        ReadBanksFromBinDir(dir_ / "bin", *banks_);
        ADD_FAILURE() << "a bank file of 16385 bytes was read";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "File \"" + (dir_ / "bin" / "bank2.bin").string() + "\" holds 16385 bytes, not 16384");
    }
    EXPECT_TRUE(std::all_of(banks_->Area().begin(), banks_->Area().end(), [](auto b) { return b == 0; }));
    WriteFile(dir_ / "bin" / "bank2.bin", text(bank2_));
    ReadBanksFromBinDir(dir_ / "bin", *banks_);
    EXPECT_EQ(Copy(banks_->Bank(1)), bank1_);
    EXPECT_EQ(Copy(banks_->Bank(2)), bank2_);
}

// What an image holds besides the banks, for the comparison of two images:
// data in address order however the records come, runs joined where they
// meet, a record's part below a bank kept; an address given twice outside
// the banks is refused too. A base image need not hold the banks at all.
TEST_F(BankSource, KeepsWhatTheImageHoldsBesidesTheBanks) {
    const std::string banks = S2Block(0x388000, bank1_) + S2Block(0x398000, bank2_);
    const std::string code = SRecord('2', 0x002000, 3, std::string(4, '\x44')) +
                             SRecord('1', 0x1008, 2, std::string(8, '\x22')) + SRecord('2', 0x001000, 3, std::string(8, '\x11'));
    WriteFile(dir_ / "image.sx", SRecord('0', 0, 2, "hdr") + code + banks + SRecord('8', 0x123456, 3));
    const ImageContents contents = ReadImageContents(dir_ / "image.sx", banks_.get());
    EXPECT_EQ(contents.sha256, Sha256Hex(ReadFile(dir_ / "image.sx")));
    EXPECT_EQ(contents.headers, std::vector<std::string>{"hdr"});
    EXPECT_EQ(contents.endType, 8);
    EXPECT_EQ(contents.startAddress, 0x123456u);
    ASSERT_EQ(contents.runs.size(), 2u);
    EXPECT_EQ(std::pair(contents.runs[0].address, contents.runs[0].length), std::pair(std::uint64_t{0x1000}, std::size_t{16}));
    EXPECT_EQ(std::pair(contents.runs[1].address, contents.runs[1].length), std::pair(std::uint64_t{0x2000}, std::size_t{4}));
    EXPECT_EQ(Bytes(contents.bytes.begin(), contents.bytes.begin() + 9), (Bytes{0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x22}));
    EXPECT_EQ(Copy(banks_->Bank(1)), bank1_);

    WriteFile(dir_ / "base.sx", SRecord('0', 0, 2, "hdr") + code + SRecord('9', 0, 2));
    EXPECT_NE(Read(ReadFile(dir_ / "base.sx")), "");
    EXPECT_EQ(ReadImageContents(dir_ / "base.sx", nullptr).runs.size(), 2u);

    // Only the part below bank 1 of a record that runs into it is outside.
    WriteFile(dir_ / "straddle.sx", SRecord('2', 0x387FFE, 3, std::string(4, '\x55')) +
                                        S2Block(0x388002, std::span(bank1_).subspan(2)) + S2Block(0x398000, bank2_) +
                                        SRecord('9', 0, 2));
    const ImageContents straddle = ReadImageContents(dir_ / "straddle.sx", banks_.get());
    ASSERT_EQ(straddle.runs.size(), 1u);
    EXPECT_EQ(std::pair(straddle.runs[0].address, straddle.runs[0].length), std::pair(std::uint64_t{0x387FFE}, std::size_t{2}));
    EXPECT_EQ(banks_->Bank(1)[0], 0x55);

    WriteFile(dir_ / "twice.sx", code + SRecord('2', 0x001004, 3, "x") + banks + SRecord('9', 0, 2));
    try {
        (void)ReadImageContents(dir_ / "twice.sx", nullptr);
        ADD_FAILURE() << "an address given twice was taken";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), (dir_ / "twice.sx").string() + ": line 4: address 0x001004 was already given by line 3");
    }
}

}  // namespace
}  // namespace vestrel
