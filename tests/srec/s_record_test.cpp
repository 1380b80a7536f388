#include "srec/line_reader.h"
#include "srec/s_record.h"

#include "support/temp_dir.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace vestrel::srec {
namespace {

TEST(SRecord, AWrittenRecordReadsBackWithItsAddressAndData) {
    const std::uint8_t data[] = {0x00, 0x7F, 0x80, 0xFF};
    const std::string text = S2Record(0x38BFE0, data, sizeof data);
    EXPECT_EQ(text, "S20838BFE0007F80FF" + Checksum("S20838BFE0007F80FF00"));
    Record record;
    ASSERT_EQ(Parse(text, record), "");
    EXPECT_EQ(record.type, 2);
    EXPECT_EQ(record.address, 0x38BFE0u);
    ASSERT_EQ(record.dataBytes, 4u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(record.DataByte(i), data[i]);
    EXPECT_TRUE(record.IsData());
    ASSERT_EQ(Parse("s9030000fc", record), "not an S-record");
    ASSERT_EQ(Parse("S9030000fc", record), "") << "digits of either case";
    EXPECT_TRUE(record.IsEnd());
}

TEST(SRecord, EachFaultIsNamed) {
    Record record;
    const std::pair<std::string, std::string> cases[] = {
        {"", "the line is empty"},
        {"S", "not an S-record"},
        {"S4030000FC", "\"S4\" is not an S-record type"},
        {"SX030000FC", "\"SX\" is not an S-record type"},
        {"S9030000FG", "'G' at column 10 is not a hexadecimal digit"},
        {"S9", "the record has no byte count"},
        {"S9040000FC", "the byte count says 4 bytes follow, but the line holds 6 hexadecimal digits after it"},
        {"S2030000FC", "the byte count 3 is too small for an S2 record"},
        {"S9030000FD", "checksum mismatch: the record ends in 0xFD, its bytes give 0xFC"},
        {"S0" + std::string(600, '0'), "the line holds 602 characters, more than any S-record"},
    };
    for (const auto& [line, why] : cases) EXPECT_EQ(Parse(line, record), why) << line;
}

TEST(LineReader, LinesEndAtCrLfLfOrCrAndACtrlZEndsTheFile) {
    test::TempDir dir;
    const std::string text = "a\r\nb\nc\rd\r\n\r\x1Aignored\n";
    test::WriteFile(dir / "f", text);
    SystemFile file(dir / "f", SystemFile::Mode::Read);
    LineReader reader(file, dir / "f");
    EXPECT_EQ(reader.CountLines(), 5);
    reader.Rewind();
    std::vector<std::string> lines;
    std::vector<bool> crlf;
    LineReader::Line line;
    while (reader.Next(line)) {
        lines.emplace_back(line.text);
        crlf.push_back(line.crlf);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c", "d", ""}));
    EXPECT_EQ(crlf, (std::vector<bool>{true, false, false, true, false}));
}

TEST(LineReader, ALineLongerThanAnyRecordIsReportedAtItsFirstByteTooMany) {
    // Each file: one line too long for a record, then an end record. Neither
    // pass reads the long line to its end before it says so: a file of 3 GB
    // of zero bytes is refused at once, not after reading it all.
    const std::size_t longest = LineReader::kMaxLineLength;
    const std::vector<std::string> tooLong{std::string(longest + 1, 'x'), std::string(LineReader::kBufferSize + 10, 'x'),
                                           std::string(8 << 20, '\0')};
    test::TempDir dir;
    for (const std::string& first : tooLong) {
        SCOPED_TRACE(first.size());
        test::WriteFile(dir / "f", first + "\nS9030000FC\n");
        SystemFile file(dir / "f", SystemFile::Mode::Read);
        LineReader reader(file, dir / "f");
        EXPECT_EQ(reader.CountLines(), 1);
        EXPECT_LE(::lseek(file.Descriptor(), 0, SEEK_CUR), off_t(LineReader::kBufferSize)) << "the count read past the first buffer";
        reader.Rewind();
        LineReader::Line line;
        ASSERT_TRUE(reader.Next(line));
        EXPECT_TRUE(line.tooLong);
        EXPECT_EQ(line.text.size(), longest + 1);
        EXPECT_EQ(reader.LineNumber(), 1);
        EXPECT_LE(::lseek(file.Descriptor(), 0, SEEK_CUR), off_t(LineReader::kBufferSize)) << "the line was read past the first buffer";
        ASSERT_TRUE(reader.Next(line));
        EXPECT_EQ(line.text, "S9030000FC");
        EXPECT_EQ(reader.LineNumber(), 2);
        EXPECT_FALSE(reader.Next(line));
    }
    // The longest record is a line like any other, with every kind of end.
    for (const char* end : {"\r\n", "\n", "\r"}) {
        const std::string record = std::string(longest, 'S');
        test::WriteFile(dir / "f", record + end + record);
        SystemFile file(dir / "f", SystemFile::Mode::Read);
        LineReader reader(file, dir / "f");
        EXPECT_EQ(reader.CountLines(), 2);
        reader.Rewind();
        LineReader::Line line;
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(reader.Next(line));
            EXPECT_FALSE(line.tooLong);
            EXPECT_EQ(line.text.size(), longest);
        }
        EXPECT_FALSE(reader.Next(line));
    }
}

}  // namespace
}  // namespace vestrel::srec
