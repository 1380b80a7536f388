#include "firmware/bank_merge.h"

#include "compiler/bank_builder.h"
#include "compiler/bank_files.h"
#include "platform/sha256.h"
#include "compiler/project_builder.h"
#include "platform/file_util.h"

#include "support/file_size_limit.h"
#include "support/kill_at_step.h"
#include "support/small_tmpfs.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::FileSizeLimit;
using test::TempDir;
using test::WriteFile;

struct Messages : MessageSink {
    std::vector<std::string> shown;
    void Show(const std::string& text) override { shown.push_back(text); }
};

struct Progress : ProgressSink {
    std::int64_t position = -1, maximum = -1, steps = 0;
    std::function<void()> onMaximum;
    void SetPosition(std::int64_t p) override { position = p; }
    void SetMaximum(std::int64_t m) override {
        maximum = m;
        if (onMaximum) onMaximum();
    }
    void Step() override { ++position, ++steps; }
};

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

// An S1/S2/S9 record with its checksum worked out here, independently of ChecksumSx.
std::string Record(char type, std::uint32_t address, const std::vector<std::uint8_t>& data = {}) {
    const int addressBytes = type == '2' ? 3 : 2;
    unsigned sum = static_cast<unsigned>(addressBytes + data.size() + 1);
    std::string text = std::string("S") + type + Hex(sum, 2) + Hex(address, addressBytes * 2);
    for (int i = 0; i < addressBytes; ++i) sum += (address >> (8 * i)) & 0xFF;
    for (std::uint8_t byte : data) sum += byte, text += Hex(byte, 2);
    return text + Hex(~sum & 0xFF, 2);
}

// The count record of `records` data records: S5 up to 0xFFFF, S6 above.
std::string CountRecord(unsigned records) {
    const int addressBytes = records > 0xFFFF ? 3 : 2;
    unsigned sum = static_cast<unsigned>(addressBytes + 1);
    std::string text = std::string("S") + (addressBytes == 3 ? '6' : '5') + Hex(sum, 2) + Hex(records, addressBytes * 2);
    for (int i = 0; i < addressBytes; ++i) sum += (records >> (8 * i)) & 0xFF;
    return text + Hex(~sum & 0xFF, 2);
}

std::vector<std::uint8_t> Bytes(std::size_t count, unsigned seed) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + seed * 13 + (i >> 8)) & 0xFF);
    return bytes;
}

std::string Join(const std::vector<std::string>& lines, std::string_view end = "\r\n") {
    std::string text;
    for (const std::string& line : lines) text += line + std::string(end);
    return text;
}

std::vector<std::string> Lines(const std::string& crlfText) {
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < crlfText.size();) {
        std::size_t end = crlfText.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back("<no CR LF>" + crlfText.substr(pos));
            break;
        }
        lines.push_back(crlfText.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

const std::string kHeader = "S00600004844521B";
const std::string kEnd = "S9030000FC";

// A project folder with bin/bank1.bin to bank5.bin and a base image in master/.
class MergeTest : public ::testing::Test {
protected:
    MergeTest() {
        fs::create_directories(dir / "bin");
        fs::create_directories(dir / "proj");
        fs::create_directories(dir / "master");
        inputs.baseFirmware = base;
        inputs.dirBin = dir / "bin";
        inputs.dirOut = dir / "proj";
        inputs.newFileName = "New_SX58316.sx";
        for (int bank = 1; bank <= 5; ++bank) WriteBank(bank, Bytes(16384, static_cast<unsigned>(bank)));
    }

    // Writes the bank file and lists the folder's files in banks.sha256, as
    // one compile would: the banks here are patterns, not a compile's.
    void WriteBank(int bank, const std::vector<std::uint8_t>& bytes) {
        WriteFile(dir / "bin" / ("bank" + std::to_string(bank) + ".bin"),
                  std::string(bytes.begin(), bytes.end()));
        std::string list;
        for (int b = 1; b <= 5; ++b) {
            const fs::path file = dir / "bin" / ("bank" + std::to_string(b) + ".bin");
            if (fs::exists(file)) list += Sha256Hex(ReadFile(file)) + "  " + file.filename().string() + "\n";
        }
        WriteFile(dir / "bin" / kBankSetFile, list);
    }

    // The 512 records that bank `bank` should become.
    std::vector<std::string> BankRecords(int bank, unsigned seed) {
        std::vector<std::string> lines;
        const auto bytes = Bytes(16384, seed);
        for (std::uint32_t k = 0; k < 512; ++k)
            lines.push_back(Record('2', kBankTable[bank - 1].first + 32 * k,
                                   {bytes.begin() + 32 * k, bytes.begin() + 32 * k + 32}));
        return lines;
    }

    BankMergeResult Pass(int bank, const std::string& image) {
        WriteFile(base, image);
        return MergeBankSx(inputs, bank, base, "B1.sx", messages, progress);
    }
    std::string PassOutput() { return ReadFile(dir / "proj" / "B1.sx"); }

    BankMergeRun Run() {
        return RunBankMerge(inputs, messages, progress, [&](int bank, BankMergeResult result) {
            stageEnds.emplace_back(bank, result);
        });
    }
    std::vector<std::string> Listing(const char* sub) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir / sub)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path NewImage() { return dir / "proj" / inputs.newFileName; }

    TempDir dir;
    fs::path base = dir / "master" / "SX58316.sx";
    BankMergeInputs inputs;
    Messages messages;
    Progress progress;
    std::vector<std::pair<int, BankMergeResult>> stageEnds;
    const std::vector<std::string> kBankFiles{"bank1.bin", "bank2.bin", "bank3.bin", "bank4.bin", "bank5.bin",
                                              "banks.sha256"};
};

// The first line of a message: the system's heading, without the detail
// that follows it.
std::string Heading(const std::string& message) { return message.substr(0, message.find('\n')); }
std::vector<std::string> Headings(const std::vector<std::string>& messages) {
    std::vector<std::string> headings;
    for (const std::string& m : messages) headings.push_back(Heading(m));
    return headings;
}

TEST(ChecksumSx, IsTheComplementOfTheByteSumInUpperCase) {
    EXPECT_EQ(ChecksumSx("S224388000" + std::string(64, '0') + "00"), "23");
    EXPECT_EQ(ChecksumSx("S9030000FC"), "FC");
    EXPECT_EQ(ChecksumSx("S00600004844521B"), "1B");
    EXPECT_EQ(ChecksumSx("S1137AF00A0A0D0000000000000000000000000000"), "61");
    EXPECT_EQ(ChecksumSx("S2080123459abcdeXX"), "5A") << "lower-case digits read, placeholder ignored";
    EXPECT_THROW(ChecksumSx("S2G4000000"), std::invalid_argument);
}

TEST_F(MergeTest, TheBankBecomes512RecordsOfItsFirst16384Bytes) {
    WriteBank(1, std::vector<std::uint8_t>(16384, 0));
    ASSERT_EQ(Pass(1, Join({kHeader, Record('2', 0x388000, Bytes(32, 9)), kEnd})), BankMergeResult::Spliced);
    auto lines = Lines(PassOutput());
    ASSERT_EQ(lines.size(), 2u + 512u);
    EXPECT_EQ(lines[1], "S224388000" + std::string(64, '0') + "23");
    EXPECT_EQ(lines[512].substr(0, 10), "S22438BFE0");
    for (std::size_t i = 1; i <= 512; ++i) EXPECT_EQ(lines[i].size(), 76u);

    WriteBank(1, Bytes(16384, 1));
    ASSERT_EQ(Pass(1, Join({kHeader, Record('2', 0x388000, Bytes(32, 9)), kEnd})), BankMergeResult::Spliced);
    lines = Lines(PassOutput());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end() - 1), BankRecords(1, 1));
    EXPECT_EQ(Listing("bin"), kBankFiles) << "the bank folder is only read";
}

TEST_F(MergeTest, ReplacesTheFirstRecordInRangeAndDropsTheOthers) {
    const std::string below = Record('2', 0x387FE0, Bytes(32, 1));  // ends where the range starts
    const std::string s1 = Record('1', 0x8000, Bytes(16, 2));
    const std::string above = Record('2', 0x38C000, Bytes(32, 4));
    const std::vector<std::string> image{kHeader, below, Record('2', 0x388020, Bytes(32, 5)), s1,
                                         Record('2', 0x388000, Bytes(32, 6)), Record('2', 0x38BFC0, Bytes(64, 7)),
                                         "S5030003F9", above, kEnd};
    EXPECT_EQ(Pass(1, Join(image)), BankMergeResult::Spliced);
    EXPECT_TRUE(messages.shown.empty());

    std::vector<std::string> expected{kHeader, below};
    const auto block = BankRecords(1, 1);
    expected.insert(expected.end(), block.begin(), block.end());
    // The count record counts the new image's data records before it.
    expected.insert(expected.end(), {s1, CountRecord(1 + 512 + 1), above, kEnd});
    EXPECT_EQ(Lines(PassOutput()), expected);
    EXPECT_EQ(progress.maximum, 512 + 9);
    EXPECT_EQ(progress.steps, 512 + 9);
    EXPECT_EQ(progress.position, 512 + 9);
}

TEST_F(MergeTest, ImageWithoutTheRangePassesThroughWithCrLf) {
    const std::vector<std::string> image{kHeader, Record('2', 0x387FE0, Bytes(32, 1)),
                                         Record('2', 0x38C000, Bytes(32, 2)), kEnd};
    const std::string crlf = Join(image);
    for (std::string_view end : {"\n", "\r", "\r\n"}) {
        EXPECT_EQ(Pass(1, Join(image, end)), BankMergeResult::NotFound) << "line end " << int(end[0]);
        EXPECT_EQ(PassOutput(), crlf);
        EXPECT_EQ(progress.maximum, 512 + 4);
    }
    EXPECT_EQ(Pass(1, kHeader + "\n" + image[1] + "\r" + image[2] + "\r\n" + kEnd), BankMergeResult::NotFound);
    EXPECT_EQ(PassOutput(), crlf);
    EXPECT_EQ(Pass(1, Join(image) + "\x1A" + "S2 garbage\r\n\r\n"), BankMergeResult::NotFound);
    EXPECT_EQ(PassOutput(), crlf);
    EXPECT_EQ(Pass(1, Join(image).substr(0, crlf.size() - 2) + "\x1A"), BankMergeResult::NotFound);
    EXPECT_EQ(PassOutput(), crlf);
    EXPECT_TRUE(messages.shown.empty());
}

// An S0 record whose text is `length` characters long (even, 10 to 514).
std::string S0OfLength(std::size_t length) {
    return Record('0', 0, std::vector<std::uint8_t>((length - 10) / 2, 0x41));
}

TEST_F(MergeTest, LinesAreCountedAndCopiedAcrossReadBuffers) {
    // Some 2.5 MB of short records with every kind of line end; a CR LF and a
    // lone CR straddle the 1 MiB and 2 MiB marks, where reads of a
    // power-of-two size split.
    for (unsigned seed : {1u, 2u, 3u}) {
        std::string image, expected;
        std::int64_t lines = 0;
        unsigned dataRecords = 0;
        const std::string data = Record('1', 0x1234, Bytes(3, 1));
        auto addLine = [&](const std::string& text, const char* end) {
            image += text + end;
            dataRecords += text == data;
            expected += (text == "S5030003F9" ? CountRecord(dataRecords) : text) + "\r\n";
            ++lines;
        };
        std::uint32_t state = seed;
        const char* ends[] = {"\r", "\n", "\r\n"};
        const std::string texts[] = {"S5030003F9", S0OfLength(10), S0OfLength(14), data};
        for (std::size_t mark : {std::size_t(1) << 20, std::size_t(2) << 20, std::size_t(5) << 19}) {
            while (image.size() + 600 < mark) {
                state = state * 1103515245u + 12345u;
                addLine(texts[(state >> 8) % 4], ends[(state >> 16) % 3]);
            }
            // Short records until the rest is even and fits one record, which
            // then ends one byte before the mark.
            for (;;) {
                const std::size_t gap = mark - 1 - image.size();
                if (gap <= 514 && gap >= 10 && gap % 2 == 0) break;
                addLine("S5030003F9", gap % 2 ? "\n" : "\r\n");
            }
            addLine(S0OfLength(mark - 1 - image.size()), mark == (1u << 20) ? "\r\n" : "\r");
        }
        image += kEnd + (seed == 3 ? "\x1A\r\n\r\n" : "");
        expected += kEnd + "\r\n";
        progress.steps = 0;
        EXPECT_EQ(Pass(1, image), BankMergeResult::NotFound);
        EXPECT_TRUE(messages.shown.empty()) << messages.shown.front();
        EXPECT_EQ(progress.maximum, 512 + lines + 1);
        EXPECT_EQ(progress.steps, lines + 1);
        EXPECT_TRUE(PassOutput() == expected);
    }
}

TEST_F(MergeTest, ADamagedBaseImageIsRefusedWithItsLine) {
    const std::string good = Record('2', 0x388000, Bytes(32, 1));
    std::string badSum = Record('2', 0x380000, Bytes(32, 2));
    badSum.back() = badSum.back() == '0' ? '1' : '0';
    // The count says 32 bytes while the line holds 64.
    const std::string longer = "S224387FE0" + std::string(128, '0') + "00";
    const std::string lowerCase = "s2" + Record('2', 0x390000, Bytes(4, 3)).substr(2);
    struct Case {
        std::string image;
        std::string_view heading;
        std::string detail;
    };
    const std::vector<Case> cases{
        {Join({kHeader, "", good, kEnd}), kNewSxNotCreateMessage, "line 2: the line is empty"},
        {Join({kHeader, good, kEnd, ""}), kNewSxNotCreateMessage, "line 4: the line is empty"},
        {Join({kHeader, "S2240388", kEnd}), kNewSxNotCreateMessage, "line 2: "},
        {Join({kHeader, "S1130G00" + std::string(34, '0'), kEnd}), kNewSxNotCreateMessage, "line 2: "},
        {Join({kHeader, good, badSum, kEnd}), kSxNotValidMessage, "line 3: checksum mismatch"},
        {Join({kHeader, longer, good, kEnd}), kSxNotValidMessage,
         "line 2: the byte count says 36 bytes follow, but the line holds 136 hexadecimal digits after it"},
        {Join({kHeader, lowerCase, good, kEnd}), kSxNotValidMessage, "line 2: not an S-record"},
        {Join({kHeader, good, "X", kEnd}), kSxNotValidMessage, "line 3: not an S-record"},
        {Join({kHeader, good, "S4030000FC", kEnd}), kSxNotValidMessage, "line 3: \"S4\" is not an S-record type"},
        {Join({kHeader, good, kEnd, Record('2', 0x390000, Bytes(4, 1))}), kSxNotValidMessage,
         "line 4: a record follows the end record of line 3"},
        {Join({kHeader, kEnd, good, kEnd}), kSxNotValidMessage, "line 3: a record follows the end record of line 2"},
        {Join({"S0" + std::string(3 << 20, 'A'), kEnd}), kSxNotValidMessage,
         "line 1: the line is longer than any S-record"},
        {Join({kHeader, good, "S804000000FB"}), kS9NotFoundMessage, "has no S9 end record"},
        {"", kS9NotFoundMessage, "has no S9 end record"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image.substr(0, 40));
        messages.shown.clear();
        EXPECT_EQ(Pass(1, c.image), BankMergeResult::Abandoned);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(Heading(messages.shown[0]), c.heading);
        EXPECT_NE(messages.shown[0].find(c.detail), std::string::npos) << messages.shown[0];
        EXPECT_TRUE(Listing("proj").empty()) << "nothing is written for a refused image";
    }
    EXPECT_EQ(progress.maximum, 512) << "empty input";
    EXPECT_EQ(progress.position, 512);
}

TEST_F(MergeTest, RecordsReachingAcrossTheRangeAbandonThePass) {
    // Replacing such a record whole would give bank bytes twice, or lose the
    // bytes it holds outside the bank.
    auto s3 = [](std::uint32_t address, std::size_t bytes) {
        std::string line = "S3" + Hex(static_cast<unsigned>(bytes + 5), 2) + Hex(address, 8);
        unsigned sum = static_cast<unsigned>(bytes + 5);
        for (int i = 0; i < 4; ++i) sum += (address >> (8 * i)) & 0xFF;
        return line + std::string(2 * bytes, '0') + Hex(~sum & 0xFF, 2);
    };
    const std::string inRange = Record('2', 0x388000, Bytes(32, 1));
    for (const std::string& record : {Record('2', 0x387FF0, Bytes(32, 2)), Record('2', 0x38BFF0, Bytes(17, 3)),
                                      s3(0x388000, 4), s3(0x38BFFF, 1), s3(0x387FFC, 5)}) {
        messages.shown.clear();
        EXPECT_EQ(Pass(1, Join({kHeader, inRange, record, kEnd})), BankMergeResult::Abandoned) << record;
        EXPECT_EQ(Headings(messages.shown), std::vector<std::string>{std::string(kRecordAcrossBankMessage)});
    }
    // Up to the range and from just past it, S3 records included, all is kept.
    messages.shown.clear();
    const std::vector<std::string> outside{Record('2', 0x38C000, Bytes(32, 4)), s3(0x387FFC, 4), s3(0x38C000, 4),
                                           Record('2', 0x38BFF0, Bytes(16, 5))};
    EXPECT_EQ(Pass(1, Join({kHeader, inRange, outside[0], outside[1], outside[2], outside[3], kEnd})),
              BankMergeResult::Spliced);
    EXPECT_TRUE(messages.shown.empty());
    std::vector<std::string> expected{kHeader};
    const auto block = BankRecords(1, 1);
    expected.insert(expected.end(), block.begin(), block.end());
    expected.insert(expected.end(), {outside[0], outside[1], outside[2], kEnd});
    EXPECT_EQ(Lines(PassOutput()), expected);
}

TEST_F(MergeTest, MissingInputsAreReportedInOrderAndCreateNothing) {
    WriteFile(base, Join({kHeader, kEnd}));
    auto check = [&](const fs::path& input, const std::string& expected) {
        messages.shown.clear();
        EXPECT_EQ(MergeBankSx(inputs, 2, input, "B2.sx", messages, progress), BankMergeResult::Abandoned);
        EXPECT_EQ(Headings(messages.shown), std::vector<std::string>{expected});
        EXPECT_TRUE(Listing("proj").empty());
    };
    fs::remove(dir / "bin" / "bank2.bin");
    inputs.newFileName.clear();
    inputs.dirBin.clear();
    check(dir / "master" / "missing.sx", "File *.Sx Not Found,Abort Procedure");
    check(base, "File New *.Sx Not Found,Abort Procedure");
    inputs.newFileName = "New_SX58316.sx";
    check(base, "Directory Bin Not Found,Abort Procedure");
    inputs.dirBin = dir / "nowhere";
    check(base, "Directory Bin Not Found,Abort Procedure");
    inputs.dirBin = dir / "bin";
    check(base, "File bank2.bin Not Found,Abort Procedure");
    WriteFile(dir / "bin" / "bank2.bin", std::string(16383, '\0'));
    check(base, "File bank2.bin Too Short,Abort Procedure");
    // A bank file is exactly 16384 bytes: a longer one is refused by its size
    // before it is read, however large it is.
    for (std::uintmax_t size : {std::uintmax_t{16385}, std::uintmax_t{2} << 30}) {
        { std::ofstream(dir / "bin" / "bank2.bin"); }
        fs::resize_file(dir / "bin" / "bank2.bin", size);
        check(base, "File bank2.bin Too Long,Abort Procedure");
        EXPECT_NE(messages.shown[0].find("holds " + std::to_string(size) + " bytes; a bank file holds 16384"),
                  std::string::npos)
            << messages.shown[0];
    }
    EXPECT_EQ(BankFileNotFoundMessage(5), "File bank5.bin Not Found,Abort Procedure");
}

// Base image: 32-byte S2 records from 0x387F00 to 0x39C100, scattered over
// both bank ranges, with S1 records and a header around them.
std::string BaseImage() {
    std::vector<std::string> lines{kHeader, Record('1', 0x1000, Bytes(32, 40))};
    for (std::uint32_t address = 0x387F00; address < 0x39C100; address += 0x20) {
        if (address >= 0x38C100 && address < 0x397F00) address = 0x397F00;
        lines.push_back(Record('2', address, Bytes(32, address)));
    }
    lines.push_back(kEnd);
    return Join(lines);
}

TEST_F(MergeTest, ARunWritesTheNewImageAndNothingElse) {
    WriteFile(base, BaseImage());
    WriteFile(NewImage(), "earlier image");
    // Files named like the stage files of old: another run's, or an input.
    WriteFile(dir / "proj" / "B1.sx", "not ours");
    WriteFile(dir / "bin" / "Bin.sx", "not ours either");
    const BankMergeRun run = Run();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(run.Complete(inputs.bankSelection));
    EXPECT_EQ(ExplainMergeRun(run, inputs), "");
    EXPECT_EQ(run.results[0], BankMergeResult::Spliced);
    EXPECT_EQ(run.results[1], BankMergeResult::Spliced);
    EXPECT_EQ(run.results[2], std::nullopt);
    EXPECT_EQ(stageEnds, (std::vector<std::pair<int, BankMergeResult>>{{1, BankMergeResult::Spliced},
                                                                       {2, BankMergeResult::Spliced}}));
    EXPECT_EQ(Listing("proj"), (std::vector<std::string>{"B1.sx", inputs.newFileName}));
    EXPECT_EQ(ReadFile(dir / "proj" / "B1.sx"), "not ours");
    EXPECT_EQ(ReadFile(dir / "bin" / "Bin.sx"), "not ours either");

    const auto lines = Lines(ReadFile(NewImage()));
    const auto bank1 = BankRecords(1, 1), bank2 = BankRecords(2, 2);
    ASSERT_EQ(lines.size(), 2 + 8 + 512 + 8 + 8 + 512 + 8 + 1u);
    EXPECT_TRUE(std::equal(bank1.begin(), bank1.end(), lines.begin() + 10));
    EXPECT_TRUE(std::equal(bank2.begin(), bank2.end(), lines.begin() + 10 + 512 + 16));
}

TEST_F(MergeTest, ABaseImageNamedLikeAStageFileIsOnlyRead) {
    // Once, a base image called B1.sx in the output folder was deleted by the run.
    for (const char* name : {"B1.sx", "B2.sx", "Bin.sx"}) {
        inputs.baseFirmware = (std::string(name) == "Bin.sx" ? dir / "bin" : dir / "proj") / name;
        WriteFile(inputs.baseFirmware, BaseImage());
        ASSERT_TRUE(Run().Complete(inputs.bankSelection)) << name;
        EXPECT_EQ(ReadFile(inputs.baseFirmware), BaseImage()) << name;
        fs::remove(inputs.baseFirmware);
    }
}

TEST_F(MergeTest, ANewImageThatWouldReplaceAnInputIsRefusedBeforeAnythingIsRead) {
    WriteFile(base, BaseImage());
    auto refused = [&](const fs::path& newImage) {
        inputs.dirOut = newImage.parent_path();
        inputs.newFileName = newImage.filename().string();
        messages.shown.clear();
        const BankMergeRun run = Run();
        EXPECT_TRUE(run.stopped);
        EXPECT_EQ(Headings(messages.shown), std::vector<std::string>{std::string(kNewSxIsInputMessage)});
    };
    refused(base);
    refused(dir / "master" / "." / "SX58316.sx");
    refused(dir / "bin" / "bank2.bin");
    fs::create_hard_link(base, dir / "proj" / "link.sx");
    refused(dir / "proj" / "link.sx");
    EXPECT_EQ(ReadFile(base), BaseImage());
    EXPECT_EQ(ReadFile(dir / "bin" / "bank2.bin").size(), 16384u);
}

TEST_F(MergeTest, ARangeMissingFromTheImageLeavesTheEarlierImage) {
    // Bank 2's range missing: once, the flasher's file was replaced by an
    // image without bank 2.
    std::vector<std::string> kept;
    for (const std::string& line : Lines(BaseImage()))
        if (line.rfind("S22439", 0) != 0) kept.push_back(line);
    WriteFile(base, Join(kept));
    WriteFile(NewImage(), "earlier image");
    ::chmod(NewImage().c_str(), 0640);
    const BankMergeRun run = Run();
    EXPECT_FALSE(run.stopped);
    EXPECT_FALSE(run.Complete(inputs.bankSelection));
    EXPECT_EQ(run.results[1], BankMergeResult::NotFound);
    EXPECT_EQ(ExplainMergeRun(run, inputs),
              "Bank 2 address range 0x398000-0x39BFFF not found in SX58316.sx,Abort Procedure\n"
              "No new image was written.");
    EXPECT_EQ(ReadFile(NewImage()), "earlier image");

    // With the range back, the image is replaced and keeps its permissions.
    WriteFile(base, BaseImage());
    ASSERT_TRUE(Run().Complete(inputs.bankSelection));
    struct stat st {};
    ::stat(NewImage().c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Listing("proj"), std::vector<std::string>{inputs.newFileName});
}

TEST_F(MergeTest, BankFilesFromTwoCompilesAreRefused) {
    WriteFile(base, BaseImage());
    const auto list = [&] {
        std::string text;
        for (int bank = 1; bank <= 5; ++bank) {
            const std::string name = "bank" + std::to_string(bank) + ".bin";
            text += Sha256Hex(ReadFile(dir / "bin" / name)) + "  " + name + "\n";
        }
        return text;
    }();
    WriteFile(dir / "bin" / "banks.sha256", list);
    ASSERT_TRUE(Run().Complete(inputs.bankSelection));

    WriteFile(NewImage(), "earlier image");
    const auto other = Bytes(16384, 7);  // bank 2 of another compile, not in the list
    WriteFile(dir / "bin" / "bank2.bin", std::string(other.begin(), other.end()));
    messages.shown.clear();
    EXPECT_TRUE(Run().stopped);
    ASSERT_EQ(Headings(messages.shown), std::vector<std::string>{std::string(kBanksNotOneSetMessage)});
    EXPECT_NE(messages.shown[0].find("bank2.bin is not the file banks.sha256 lists"), std::string::npos);
    EXPECT_EQ(ReadFile(NewImage()), "earlier image");
}

TEST_F(MergeTest, WithoutAListBanksOneAndTwoMustComeFromOneCompile) {
    // Two projects whose receive frames differ: bank 1 holds the lookup
    // table of the frame records that bank 2 holds.
    test::TempDir a, b;
    test::WritePargen(a.path(), test::DefaultSettings());
    test::WritePargen(b.path(), test::DefaultSettings());
    test::WriteRows(a / "RCobDef.xml", "COBID", {R"(CobID="0x181" Dimensin="8")"});
    test::WriteRows(b / "RCobDef.xml", "COBID", {R"(CobID="0x281" Dimensin="8")", R"(CobID="0x381" Dimensin="2")"});
    BankCompiler fromA, fromB;
    fromA.BuildBankImages(a.path(), test::kStamp);
    fromB.BuildBankImages(b.path(), test::kStamp);
    auto put = [&](int bank, const BankCompiler& compiler) {
        const auto bytes = compiler.Banks().Bank(bank);
        WriteFile(dir / "bin" / ("bank" + std::to_string(bank) + ".bin"), std::string(bytes.begin(), bytes.end()));
    };
    fs::remove(dir / "bin" / kBankSetFile);
    WriteFile(base, BaseImage());
    put(1, fromA);
    put(2, fromA);
    ASSERT_TRUE(Run().Complete(inputs.bankSelection)) << messages.shown.front();
    const std::string merged = ReadFile(NewImage());

    put(2, fromB);
    for (const auto& selection : {std::array<bool, 5>{true, true}, std::array<bool, 5>{true, false}}) {
        inputs.bankSelection = selection;
        messages.shown.clear();
        EXPECT_TRUE(Run().stopped);
        ASSERT_EQ(Headings(messages.shown), std::vector<std::string>{std::string(kBanksNotOneSetMessage)});
        EXPECT_NE(messages.shown[0].find("have no banks.sha256, and bank1.bin and bank2.bin do not come from one "
                                         "compile: "),
                  std::string::npos)
            << messages.shown[0];
        EXPECT_EQ(ReadFile(NewImage()), merged);
    }
    // Banks 3 to 5 alone have nothing to agree with.
    inputs.bankSelection = {false, false, true, false, false};
    EXPECT_FALSE(Run().stopped);
}

TEST_F(MergeTest, FailedRunKeepsTheEarlierNewImage) {
    WriteFile(base, BaseImage());
    WriteFile(NewImage(), "earlier image");
    fs::remove(dir / "bin" / "bank2.bin");
    BankMergeRun run = Run();
    EXPECT_TRUE(run.stopped);
    EXPECT_FALSE(run.Complete(inputs.bankSelection));
    EXPECT_EQ(messages.shown, std::vector<std::string>{"File bank2.bin Not Found,Abort Procedure"});
    EXPECT_EQ(stageEnds.back(), std::make_pair(2, BankMergeResult::Abandoned));
    EXPECT_EQ(ExplainMergeRun(run, inputs), "") << "the message has said why";
    EXPECT_EQ(Listing("proj"), std::vector<std::string>{inputs.newFileName});
    EXPECT_EQ(ReadFile(NewImage()), "earlier image");

    // Bank 5 alone, its range absent from the image: no new image either.
    WriteBank(2, Bytes(16384, 2));
    inputs.bankSelection = {false, false, false, false, true};
    messages.shown.clear();
    run = Run();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(run.results[4], BankMergeResult::NotFound);
    EXPECT_EQ(ReadFile(NewImage()), "earlier image");
    // Nothing selected: the new image is the base image.
    inputs.bankSelection = {false, false, false, false, false};
    EXPECT_TRUE(Run().Complete(inputs.bankSelection));
    EXPECT_EQ(ReadFile(NewImage()), BaseImage());
}

TEST_F(MergeTest, InputOutputErrorsEndTheRunAndLeaveNoWorkFiles) {
    WriteFile(base, BaseImage());
    WriteFile(NewImage(), "earlier image");
    {
        FileSizeLimit limit(60000);  // the new image does not fit
        EXPECT_TRUE(Run().stopped);
    }
    ASSERT_EQ(Headings(messages.shown), std::vector<std::string>{std::string(kNewSxNotCreateMessage)});
    EXPECT_NE(messages.shown[0].find("File too large"), std::string::npos) << messages.shown[0];
    EXPECT_EQ(Listing("proj"), std::vector<std::string>{inputs.newFileName});
    EXPECT_EQ(Listing("bin"), kBankFiles);
    EXPECT_EQ(ReadFile(NewImage()), "earlier image");

    // Permissions hold only for an ordinary user.
    test::OpenToEveryone(dir.path());
    auto failsWith = [&](const fs::path& locked, mode_t mode, std::string_view expected) {
        ::chmod(locked.c_str(), mode);
        auto result = test::RunUnprivileged([&]() -> std::string {
            Messages shown;
            Progress unused;
            if (!RunBankMerge(inputs, shown, unused).stopped) return "the run was not stopped";
            if (Headings(shown.shown) != std::vector<std::string>{std::string(expected)})
                return "shown: " + (shown.shown.empty() ? std::string("nothing") : shown.shown.front());
            return "";
        });
        fs::permissions(locked, fs::perms::all);
        return result;
    };
    EXPECT_TRUE(failsWith(dir / "proj", 0555, kNewSxNotCreateMessage));
    EXPECT_TRUE(failsWith(base, 0, kSxNotOpenMessage));
    EXPECT_TRUE(failsWith(dir / "bin" / "bank1.bin", 0, BankFileNotReadMessage(1)));
    EXPECT_EQ(Listing("proj"), std::vector<std::string>{inputs.newFileName});
    EXPECT_EQ(Listing("bin"), kBankFiles);
}

TEST_F(MergeTest, AFullDiskStopsTheRunAndKeepsTheEarlierImage) {
    test::SmallTmpfs disk(512 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    const std::string image = BaseImage();
    WriteFile(base, image);
    inputs.dirOut = disk.path();
    WriteFile(disk.path() / inputs.newFileName, "earlier image");
    for (std::size_t room : {image.size() / 2, image.size() - 100}) {
        disk.FillLeaving(room);
        const std::size_t free = disk.FreeBytes();
        messages.shown.clear();
        EXPECT_TRUE(Run().stopped) << room;
        EXPECT_EQ(Headings(messages.shown), std::vector<std::string>{std::string(kNewSxNotCreateMessage)});
        EXPECT_EQ(ReadFile(disk.path() / inputs.newFileName), "earlier image");
        EXPECT_EQ(disk.FreeBytes(), free) << "a work file was left on the full disk";
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(disk.path())) left.push_back(entry.path().filename());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{inputs.newFileName, "filler"}));
        fs::remove(disk.path() / "filler");
    }
    // With room again the same run completes.
    EXPECT_TRUE(Run().Complete(inputs.bankSelection));
}

TEST_F(MergeTest, ARunEndedAtAnyStepLeavesTheEarlierImageOrTheWholeNewOne) {
    // An image large enough to be written in several blocks.
    std::string image = kHeader + "\r\n";
    for (std::uint32_t address = 0x100000; address < 0x100000 + 0x20 * 20000; address += 0x20)
        image += Record('2', address, Bytes(32, address)) + "\r\n";
    WriteFile(base, image + BaseImage().substr(kHeader.size() + 2));
    ASSERT_TRUE(Run().Complete(inputs.bankSelection));
    const std::string merged = ReadFile(NewImage());

    // Every step of the run and of the new image's save, each ended by each
    // of the signals a user or a system sends, with and without an earlier
    // image in place.
    struct Point {
        std::optional<MergeStep> merge;
        std::optional<SaveStep> save;
        int occurrence = 0;
    };
    std::vector<Point> points;
    for (MergeStep step : {MergeStep::InputsChecked, MergeStep::LinesCounted, MergeStep::ImageCopied})
        points.push_back({step, {}, 0});
    points.push_back({MergeStep::BankSpliced, {}, 0});
    points.push_back({MergeStep::BankSpliced, {}, 1});
    for (SaveStep step : {SaveStep::Create, SaveStep::Sync, SaveStep::Link, SaveStep::Replace})
        points.push_back({{}, step, 0});
    points.push_back({{}, SaveStep::Write, 0});
    points.push_back({{}, SaveStep::Write, 1});

    // On a file system without nameless files (FAT on a stick, through the
    // seam) the work file has a name from its creation on.
    for (bool nameless : {true, false}) {
        for (bool earlier : {true, false}) {
            for (const Point& point : points) {
                // Link comes only with nameless files; Replace only with an
                // earlier image or a named work file.
                if (point.save == SaveStep::Link && !nameless) continue;
                const bool replaces = earlier || !nameless;
                for (int signal : {SIGKILL, SIGINT, SIGTERM, SIGHUP}) {
                    SCOPED_TRACE(::testing::Message() << "point " << (&point - points.data()) << ", signal " << signal
                                                      << (earlier ? ", earlier image" : "")
                                                      << (nameless ? "" : ", named work file"));
                    if (earlier)
                        WriteFile(NewImage(), "earlier image");
                    else
                        fs::remove(NewImage());
                    const int ended = test::RunInChildEndedBy(signal, [&](const std::function<void()>& die) {
                        int seen = 0;
                        inputs.atStep = [&](MergeStep s) {
                            if (point.merge == s && seen++ == point.occurrence) die();
                        };
                        SetSaveStepHookForTesting([&](SaveStep s) {
                            if (point.save == s && seen++ == point.occurrence) die();
                            return s == SaveStep::Create && !nameless ? EOPNOTSUPP : 0;
                        });
                        Messages quiet;
                        Progress unused;
                        RunBankMerge(inputs, quiet, unused);
                    });
                    inputs.atStep = {};
                    if (!(point.save == SaveStep::Replace && !replaces)) {
                        EXPECT_EQ(ended, signal);
                    }
                    const std::string now = fs::exists(NewImage()) ? ReadFile(NewImage()) : "(none)";
                    EXPECT_TRUE(now == (earlier ? "earlier image" : "(none)") || now == merged)
                        << now.size() << " bytes, neither image";
                    // A work file is left only by SIGKILL, which no process
                    // outlives to clean up; the next save into the folder
                    // removes it, whatever it writes.
                    std::vector<std::string> left = Listing("proj");
                    std::erase(left, inputs.newFileName);
                    if (signal == SIGKILL && !left.empty()) {
                        EXPECT_EQ(left.size(), 1u);
                        WriteFileAtomic(dir / "proj" / "notes.txt", "later");
                        fs::remove(dir / "proj" / "notes.txt");
                        left = Listing("proj");
                        std::erase(left, inputs.newFileName);
                    }
                    EXPECT_TRUE(left.empty()) << left.front();
                    EXPECT_EQ(Listing("bin"), kBankFiles);
                }
            }
        }
    }
    SetSaveStepHookForTesting({});
}

// srecord's tools as an independent reader of the merged image.
class SrecordCheck : public MergeTest {
protected:
    void SetUp() override {
        if (std::system("command -v srec_cat >/dev/null 2>&1 && command -v srec_cmp >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "srec_cat and srec_cmp (package srecord) are not installed";
    }
    // Runs a shell command; the exit code, with stderr appended to `errors`.
    int Shell(const std::string& command, std::string& errors) {
        const fs::path err = dir / "stderr.txt";
        const int status = std::system((command + " 2>" + err.string()).c_str());
        errors += ReadFile(err);
        fs::remove(err);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(SrecordCheck, MergedImageIsTheBaseWithTheBanksLaidOver) {
    WriteFile(base, BaseImage());
    ASSERT_TRUE(Run().Complete(inputs.bankSelection));
    const std::string merged = NewImage().string();
    const std::string bin = (dir / "bin").string();
    const std::string expected = (dir / "expected.sx").string();
    std::string errors;
    EXPECT_EQ(Shell("srec_cat '" + merged + "' -o /dev/null", errors), 0);
    EXPECT_EQ(Shell("srec_cat '" + base.string() + "' -exclude 0x388000 0x38C000 -exclude 0x398000 0x39C000 '" + bin +
                        "/bank1.bin' -binary -offset 0x388000 '" + bin + "/bank2.bin' -binary -offset 0x398000 -o '" +
                        expected + "'",
                    errors),
              0);
    EXPECT_EQ(Shell("srec_cmp '" + merged + "' '" + expected + "'", errors), 0);
    EXPECT_EQ(errors, "") << "srecord warned";

    // The check itself catches a wrong byte.
    std::string image = ReadFile(NewImage());
    image[image.find("S224398000") + 10] ^= 1;
    WriteFile(dir / "bad.sx", image);
    errors.clear();
    EXPECT_NE(Shell("srec_cat '" + (dir / "bad.sx").string() + "' -o /dev/null", errors), 0);
}

TEST_F(SrecordCheck, CountRecordsCountTheNewImagesDataRecords) {
    // srec_cat compares each S5 or S6 with the data records before it. The
    // base image's counts are of its own records: a bank's 512 records take
    // the place of fewer, and past 65535 records only an S6 holds the count.
    const auto plain = Lines(BaseImage());
    std::vector<std::string> withCounts{plain.front(), plain[1], CountRecord(1)};
    withCounts.insert(withCounts.end(), plain.begin() + 2, plain.end() - 1);
    withCounts.insert(withCounts.end(), {"S5030003F9", "S604000003F8", kEnd});
    std::vector<std::string> many(plain.begin(), plain.end() - 1);
    for (std::uint32_t address = 0x400000; many.size() <= 70000; address += 0x20)
        many.push_back(Record('2', address, Bytes(32, address)));
    many.insert(many.end(), {"S5030003F9", kEnd});
    const fs::path golden = fs::path(VESTREL_TEST_DATA_DIR) / "golden" / "base.sx";
    for (const std::string& image : {Join(withCounts), Join(many), ReadFile(golden)}) {
        WriteFile(base, image);
        ASSERT_TRUE(Run().Complete(inputs.bankSelection)) << (messages.shown.empty() ? "" : messages.shown[0]);
        std::string errors;
        EXPECT_EQ(Shell("srec_cat '" + NewImage().string() + "' -o /dev/null", errors), 0);
        EXPECT_EQ(errors, "") << "srecord warned";
        const auto lines = Lines(ReadFile(NewImage()));
        const auto data = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.rfind("S1", 0) == 0 || l.rfind("S2", 0) == 0 || l.rfind("S3", 0) == 0;
        });
        EXPECT_EQ(lines[lines.size() - 2], CountRecord(static_cast<unsigned>(data)));
    }
}

TEST_F(SrecordCheck, WhatTheMergeRefusesSrecordRefusesOrWarnsAbout) {
    // The merge and srec_cat agree on each damaged line: the merge writes no
    // image, srec_cat fails or warns.
    const std::string good = Record('2', 0x388000, Bytes(32, 1));
    std::string badSum = Record('2', 0x380000, Bytes(32, 2));
    badSum.back() = badSum.back() == '0' ? '1' : '0';
    const std::vector<std::string> damaged{badSum, "S224387FE0" + std::string(128, '0') + "00",
                                           "s2" + Record('2', 0x390000, Bytes(4, 3)).substr(2), "X",
                                           "S2240388"};
    for (const std::string& line : damaged) {
        SCOPED_TRACE(line.substr(0, 24));
        WriteFile(base, Join({kHeader, good, line, kEnd}));
        EXPECT_TRUE(Run().stopped);
        EXPECT_FALSE(fs::exists(NewImage()));
        std::string errors;
        const int status = Shell("srec_cat '" + base.string() + "' -o /dev/null", errors);
        EXPECT_TRUE(status != 0 || !errors.empty()) << "srec_cat took it silently";
    }
}

}  // namespace
}  // namespace vestrel
