#include "firmware/bank_merge.h"

#include "support/file_size_limit.h"
#include "support/interrupted_save.h"
#include "support/small_tmpfs.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
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
        inputs.dirBin = (dir / "bin").string() + "/";
        inputs.dirOut = (dir / "proj").string() + "/";
        inputs.newFileName = "New_SX58316.sx";
        for (int bank = 1; bank <= 5; ++bank) WriteBank(bank, Bytes(16384, static_cast<unsigned>(bank)));
    }

    void WriteBank(int bank, const std::vector<std::uint8_t>& bytes) {
        WriteFile(dir / "bin" / ("bank" + std::to_string(bank) + ".bin"),
                  std::string(bytes.begin(), bytes.end()));
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
    const std::vector<std::string> kBankFiles{"bank1.bin", "bank2.bin", "bank3.bin", "bank4.bin", "bank5.bin"};
};

TEST(ChecksumSx, IsTheComplementOfTheByteSumInUpperCase) {
    EXPECT_EQ(ChecksumSx("S224388000" + std::string(64, '0') + "00"), "23");
    EXPECT_EQ(ChecksumSx("S9030000FC"), "FC");
    EXPECT_EQ(ChecksumSx("S00600004844521B"), "1B");
    EXPECT_EQ(ChecksumSx("S1137AF00A0A0D0000000000000000000000000000"), "61");
    EXPECT_EQ(ChecksumSx("S2080123459abcdeXX"), "5A") << "lower-case digits read, placeholder ignored";
    EXPECT_THROW(ChecksumSx("S2G4000000"), std::invalid_argument);
}

TEST_F(MergeTest, BankRecordFileHoldsTheBankAsRecordsAndIsRemoved) {
    WriteBank(1, std::vector<std::uint8_t>(16384 + 100, 0));  // a longer file: its first 16384 bytes count
    std::string recordFile;
    progress.onMaximum = [&] { recordFile = ReadFile(dir / "bin" / "Bin.sx"); };
    ASSERT_EQ(Pass(1, Join({kHeader, Record('2', 0x388000, Bytes(32, 9)), kEnd})), BankMergeResult::Spliced);

    const auto lines = Lines(recordFile);
    ASSERT_EQ(lines.size(), 512u);
    EXPECT_EQ(lines.front(), "S224388000" + std::string(64, '0') + "23");
    EXPECT_EQ(lines.back().substr(0, 10), "S22438BFE0");
    for (const std::string& line : lines) EXPECT_EQ(line.size(), 76u);

    WriteBank(1, Bytes(16384, 1));
    ASSERT_EQ(Pass(1, Join({kHeader, Record('2', 0x388000, Bytes(32, 9)), kEnd})), BankMergeResult::Spliced);
    EXPECT_EQ(Lines(recordFile), BankRecords(1, 1));
    EXPECT_EQ(Listing("bin"), kBankFiles);
}

TEST_F(MergeTest, ReplacesTheFirstRecordInRangeAndDropsTheOthers) {
    const std::string below = Record('2', 0x387FE0, Bytes(32, 1));  // ends where the range starts
    const std::string s1 = Record('1', 0x8000, Bytes(16, 2));
    const std::string lowerS2 = "s2" + Record('2', 0x388100, Bytes(32, 3)).substr(2);
    const std::string above = Record('2', 0x38C000, Bytes(32, 4));
    const std::vector<std::string> image{
        kHeader, below, Record('2', 0x388020, Bytes(32, 5)), s1, Record('2', 0x388000, Bytes(32, 6)),
        lowerS2, Record('2', 0x38BFC0, Bytes(64, 7)), "S5030003F9", above, "s9030000FC", "X", kEnd, "S8"};
    EXPECT_EQ(Pass(1, Join(image)), BankMergeResult::Spliced);
    EXPECT_TRUE(messages.shown.empty());

    std::vector<std::string> expected{kHeader, below};
    const auto block = BankRecords(1, 1);
    expected.insert(expected.end(), block.begin(), block.end());
    expected.insert(expected.end(), {s1, lowerS2, "S5030003F9", above, "s9030000FC", "X", kEnd, "S8"});
    EXPECT_EQ(Lines(PassOutput()), expected);
    EXPECT_EQ(progress.maximum, 512 + 13);
    EXPECT_EQ(progress.steps, 512 + 13);
    EXPECT_EQ(progress.position, 512 + 13);
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

TEST_F(MergeTest, LinesAreCountedAndCopiedAcrossReadBuffers) {
    // Some 2.5 MB of short lines with every kind of line end; a CR LF and a lone
    // CR straddle the 1 MiB and 2 MiB marks, where reads of a power-of-two size split.
    for (unsigned seed : {1u, 2u, 3u}) {
        std::string image, expected;
        std::int64_t lines = 0;
        auto addLine = [&](const std::string& text, const char* end) {
            image += text + end;
            expected += text + "\r\n";
            ++lines;
        };
        std::uint32_t state = seed;
        const char* ends[] = {"\r", "\n", "\r\n"};
        const char* texts[] = {"x", "S0", "S5030003F9", "yz"};
        for (std::size_t mark : {std::size_t(1) << 20, std::size_t(2) << 20, std::size_t(5) << 19}) {
            while (image.size() + 16 < mark) {
                state = state * 1103515245u + 12345u;
                addLine(texts[(state >> 8) % 4], ends[(state >> 16) % 3]);
            }
            addLine(std::string(mark - 1 - image.size(), 'x'), mark == (1u << 20) ? "\r\n" : "\r");
        }
        image += kEnd + (seed == 3 ? "\x1A\r\n\r\n" : "");
        expected += kEnd + "\r\n";
        progress.steps = 0;
        EXPECT_EQ(Pass(1, image), BankMergeResult::NotFound);
        EXPECT_EQ(progress.maximum, 512 + lines + 1);
        EXPECT_EQ(progress.steps, lines + 1);
        EXPECT_TRUE(PassOutput() == expected);
    }
}

TEST_F(MergeTest, LongLinesAreCopiedWhole) {
    const std::string longLine = "S0" + std::string(3 << 20, 'A');  // longer than any read buffer
    EXPECT_EQ(Pass(1, Join({longLine, kEnd})), BankMergeResult::NotFound);
    EXPECT_EQ(PassOutput(), Join({longLine, kEnd}));
}

TEST_F(MergeTest, BrokenLinesAndMissingEndRecordAbandonThePass) {
    const std::string good = Record('2', 0x388000, Bytes(32, 1));
    const std::vector<std::pair<std::string, std::string>> cases{
        {Join({kHeader, "", good, kEnd}), std::string(kNewSxNotCreateMessage)},
        {Join({kHeader, good, kEnd, ""}), std::string(kNewSxNotCreateMessage)},
        {Join({kHeader, "S2240388", kEnd}), std::string(kNewSxNotCreateMessage)},
        {Join({kHeader, "S1130G00" + std::string(34, '0'), kEnd}), std::string(kNewSxNotCreateMessage)},
        {Join({kHeader, good, "S804000000FB"}), std::string(kS9NotFoundMessage)},
        {"", std::string(kS9NotFoundMessage)},
    };
    for (const auto& [image, message] : cases) {
        messages.shown.clear();
        EXPECT_EQ(Pass(1, image), BankMergeResult::Abandoned) << image.substr(0, 40);
        EXPECT_EQ(messages.shown, std::vector<std::string>{message});
        EXPECT_EQ(Listing("bin"), kBankFiles) << "Bin.sx removed";
    }
    EXPECT_EQ(progress.maximum, 512) << "empty input";
    EXPECT_EQ(progress.position, 512);

    messages.shown.clear();
    EXPECT_EQ(Pass(1, Join({kHeader, "S", good, kEnd})), BankMergeResult::Spliced) << "one character is a line";
    EXPECT_EQ(Lines(PassOutput())[1], "S");
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
        EXPECT_EQ(messages.shown, std::vector<std::string>{std::string(kRecordAcrossBankMessage)});
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

TEST_F(MergeTest, ABankAfterTheFirstEndRecordIsNotFound) {
    // A loader stops at the first S7, S8 or S9: a bank spliced in after it
    // would never reach the device.
    const std::string inRange = Record('2', 0x388000, Bytes(32, 1));
    for (const std::string& end : {kEnd, std::string("S804000000FB"), std::string("S70500000000FA")}) {
        EXPECT_EQ(Pass(1, Join({kHeader, end, inRange, kEnd})), BankMergeResult::NotFound) << end;
        EXPECT_EQ(Lines(PassOutput()).size(), 3u + 512u) << "the records are still replaced";
    }
    EXPECT_EQ(Pass(1, Join({kHeader, inRange, kEnd, Record('2', 0x388020, Bytes(32, 2)), kEnd})),
              BankMergeResult::Spliced);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MergeTest, MissingInputsAreReportedInOrderAndCreateNothing) {
    WriteFile(base, Join({kHeader, kEnd}));
    auto check = [&](const fs::path& input, const std::string& expected) {
        messages.shown.clear();
        EXPECT_EQ(MergeBankSx(inputs, 2, input, "B2.sx", messages, progress), BankMergeResult::Abandoned);
        EXPECT_EQ(messages.shown, std::vector<std::string>{expected});
        EXPECT_TRUE(Listing("proj").empty());
        EXPECT_FALSE(fs::exists(dir / "bin" / "Bin.sx"));
    };
    fs::remove(dir / "bin" / "bank2.bin");
    inputs.newFileName.clear();
    inputs.dirBin.clear();
    check(dir / "master" / "missing.sx", "File *.Sx Not Found,Abort Procedure");
    check(base, "File New *.Sx Not Found,Abort Procedure");
    inputs.newFileName = "New_SX58316.sx";
    check(base, "Directory Bin Not Found,Abort Procedure");
    inputs.dirBin = (dir / "nowhere").string() + "/";
    check(base, "Directory Bin Not Found,Abort Procedure");
    inputs.dirBin = (dir / "bin").string() + "/";
    check(base, "File bank2.bin Not Found,Abort Procedure");
    WriteFile(dir / "bin" / "bank2.bin", std::string(16383, '\0'));
    check(base, "File bank2.bin Too Short,Abort Procedure");
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

TEST_F(MergeTest, RunLeavesOnlyTheNewImage) {
    WriteFile(base, BaseImage());
    WriteFile(NewImage(), "earlier image");
    WriteFile(dir / "proj" / "B3.sx", "stale stage file");
    const BankMergeRun run = Run();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(run.Complete(inputs.bankSelection));
    EXPECT_EQ(run.results[0], BankMergeResult::Spliced);
    EXPECT_EQ(run.results[1], BankMergeResult::Spliced);
    EXPECT_EQ(run.results[2], std::nullopt);
    EXPECT_EQ(stageEnds, (std::vector<std::pair<int, BankMergeResult>>{{1, BankMergeResult::Spliced},
                                                                       {2, BankMergeResult::Spliced}}));
    EXPECT_EQ(Listing("proj"), std::vector<std::string>{inputs.newFileName});
    EXPECT_EQ(Listing("bin"), kBankFiles);

    const auto lines = Lines(ReadFile(NewImage()));
    const auto bank1 = BankRecords(1, 1), bank2 = BankRecords(2, 2);
    ASSERT_EQ(lines.size(), 2 + 8 + 512 + 8 + 8 + 512 + 8 + 1u);
    EXPECT_TRUE(std::equal(bank1.begin(), bank1.end(), lines.begin() + 10));
    EXPECT_TRUE(std::equal(bank2.begin(), bank2.end(), lines.begin() + 10 + 512 + 16));

    // Bank 5 alone, stage 1 not selected: the base is copied, bank 5's pass
    // writes the new image itself; its range is absent and the caller learns so.
    inputs.bankSelection = {false, false, false, false, true};
    stageEnds.clear();
    const BankMergeRun bank5 = Run();
    EXPECT_FALSE(bank5.stopped);
    EXPECT_FALSE(bank5.Complete(inputs.bankSelection));
    EXPECT_EQ(stageEnds, (std::vector<std::pair<int, BankMergeResult>>{{5, BankMergeResult::NotFound}}));
    EXPECT_EQ(ReadFile(NewImage()), BaseImage());
    EXPECT_EQ(Listing("proj"), std::vector<std::string>{inputs.newFileName});
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
    EXPECT_EQ(Listing("proj"), std::vector<std::string>{inputs.newFileName});
    EXPECT_EQ(ReadFile(NewImage()), "earlier image");

    // Bank 5's own pass fails without an S9: the image it would write never appears.
    WriteBank(2, Bytes(16384, 2));
    WriteFile(base, BaseImage().substr(0, BaseImage().size() - kEnd.size() - 2));
    inputs.bankSelection = {false, false, false, false, true};
    messages.shown.clear();
    run = Run();
    EXPECT_EQ(messages.shown, std::vector<std::string>{std::string(kS9NotFoundMessage)});
    EXPECT_EQ(Listing("proj"), std::vector<std::string>{inputs.newFileName});
    EXPECT_EQ(ReadFile(NewImage()), "earlier image");
    EXPECT_EQ(Listing("bin"), kBankFiles);
}

TEST_F(MergeTest, InputOutputErrorsEndTheRunAndLeaveNoWorkFiles) {
    WriteFile(base, BaseImage());
    WriteFile(NewImage(), "earlier image");
    {
        FileSizeLimit limit(60000);  // Bin.sx fits, the stage file does not
        EXPECT_TRUE(Run().stopped);
    }
    EXPECT_EQ(messages.shown, std::vector<std::string>{std::string(kNewSxNotCreateMessage)});
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
            if (shown.shown != std::vector<std::string>{std::string(expected)})
                return "shown: " + (shown.shown.empty() ? std::string("nothing") : shown.shown.front());
            return "";
        });
        fs::permissions(locked, fs::perms::all);
        return result;
    };
    EXPECT_TRUE(failsWith(dir / "bin", 0555, kBinSxNotCreateMessage));
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
    inputs.dirOut = disk.path().string() + "/";
    WriteFile(disk.path() / inputs.newFileName, "earlier image");
    // Too little room for the first stage file, then for the second beside it.
    for (std::size_t room : {image.size() / 2, image.size() * 3 / 2}) {
        disk.FillLeaving(room);
        const std::size_t free = disk.FreeBytes();
        messages.shown.clear();
        EXPECT_TRUE(Run().stopped) << room;
        EXPECT_EQ(messages.shown, std::vector<std::string>{std::string(kNewSxNotCreateMessage)});
        EXPECT_EQ(ReadFile(disk.path() / inputs.newFileName), "earlier image");
        EXPECT_EQ(disk.FreeBytes(), free) << "a work file was left on the full disk";
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(disk.path())) left.push_back(entry.path().filename());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{inputs.newFileName, "filler"}));
        EXPECT_EQ(Listing("bin"), kBankFiles);
        fs::remove(disk.path() / "filler");
    }
    // With room again the same run completes.
    EXPECT_TRUE(Run().Complete(inputs.bankSelection));
}

TEST_F(MergeTest, AKilledRunLeavesTheEarlierImageOrTheWholeNewOne) {
    // A larger image, so that a run lasts long enough to be killed inside.
    std::string image = kHeader + "\r\n";
    for (std::uint32_t address = 0x100000; address < 0x100000 + 0x20 * 20000; address += 0x20)
        image += Record('2', address, Bytes(32, address)) + "\r\n";
    image += BaseImage().substr(kHeader.size() + 2);
    WriteFile(base, image);
    ASSERT_TRUE(Run().Complete(inputs.bankSelection));
    const std::string merged = ReadFile(NewImage());
    WriteFile(NewImage(), "earlier image");

    auto merge = [&](int) {
        Messages quiet;
        Progress unused;
        if (!RunBankMerge(inputs, quiet, unused).Complete(inputs.bankSelection)) throw std::runtime_error("failed");
    };
    const auto once = test::TimeOfOneSave(merge);
    WriteFile(NewImage(), "earlier image");
    int kills = 0, insideRun = 0;
    for (; kills < 300 && (kills < 30 || insideRun < 5); ++kills) {
        test::KillDuringRepeatedSaves(merge, once * (kills % 23) / 8);
        const std::string now = ReadFile(NewImage());
        ASSERT_TRUE(now == "earlier image" || now == merged)
            << "kill " << kills << " left " << now.size() << " bytes, neither image";
        // A run killed inside leaves its work files (stage files, Bin.sx,
        // temporary files); a later run starts over them.
        bool workFiles = false;
        for (const char* sub : {"proj", "bin"}) {
            for (const auto& entry : fs::directory_iterator(dir / sub)) {
                const std::string name = entry.path().filename();
                if (name == inputs.newFileName || name.rfind("bank", 0) == 0) continue;
                workFiles = true;
                fs::remove(entry.path());
            }
        }
        insideRun += workFiles;
    }
    EXPECT_GE(insideRun, 5) << "of " << kills << " kills";
    EXPECT_TRUE(Run().Complete(inputs.bankSelection));
    EXPECT_EQ(ReadFile(NewImage()), merged);
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

}  // namespace
}  // namespace vestrel
