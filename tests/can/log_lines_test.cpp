// What each line of a text log is: a frame, a line that holds none (a header,
// a comment, an event, a status), or broken with its reason; never a frame
// made up from a line the reader does not understand.
#include "can/can_log_reader.h"

#include "log_test_support.h"
#include "platform/error.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace vestrel::can {
namespace {

using namespace vestrel::can::test;
using vestrel::test::TempDir;
using vestrel::test::WriteFile;

TEST(LogLines, EveryLineIsAFrameALineWithoutOneOrBrokenWithItsReason) {
    TempDir dir;
    const struct {
        const char* name;
        std::string content;
        std::vector<std::string> frames;  // channel, time, frame
        std::vector<std::string> broken;
        std::uint64_t other;
    } cases[] = {
        // TRC 1.1: a warning holds no frame; a type of no version, or Rx
        // with the warnings' identifier, is broken.
        {"types.trc",
         ";$FILEVERSION=1.1\n"
         "     1)      1059.9  Rx         0181  2  00 01\n"
         "     2)      1060.1  Warng  FFFFFFFF  4  00 00 00 08  BUSHEAVY\n"
         "     3)      1061.3  Info       0181  2  11 22\n"
         "     4)      1061.4  Rx     FFFFFFFF  2  11 22\n"
         "     5)      1063.6  Error      0000  0\n",
         {" 1.059900 181#0001", " 1.063600 000#"},
         {"4: the type is none of Rx, Tx, Warng and Error", "5: the identifier is not 4 or 8 hex digits in range"},
         2},
        // TRC 1.0 has no type: FFFFFFFF marks a status line.
        {"status.trc",
         "     1)      1841  0181     2  00 01\n"
         "     2)      1842  FFFFFFFF 4  00 00 00 08  BUSHEAVY\n",
         {" 1.841000 181#0001"},
         {},
         1},
        // TRC 2.x: a status, error counters and an event hold no frame.
        {"types2.trc",
         ";$FILEVERSION=2.1\n"
         ";$COLUMNS=N,O,T,B,I,d,R,L,D\n"
         "      1      1059.900 DT 1      0181 Rx -  2    00 01\n"
         "      2      1060.000 ST 1           Rx -  4    00 00 00 08\n"
         "      3      1060.100 EC 1           Rx -  2    00 7F\n"
         "      4      1060.200 EV 1           Rx -  0\n"
         "      5      1060.300 XT 1      0181 Rx -  1    11\n",
         {"1 1.059900 181#0001"},
         {"7: the type is none of DT, FD, FB, FE, BI, RR, ER, ST, EC and EV"},
         5},
        // ASC: a comment without a blank after "//", events without a
        // channel, a channel out of range, an identifier that is no number,
        // a time stamp alone.
        {"events.asc",
         "base hex  timestamps absolute\n"
         "//0.000000 previous log file: Logging_002.asc\n"
         "   0.000000 Start of measurement\n"
         "   0.100000 1  181             Rx   d 1 11\n"
         "   0.150000 CAN 1 Status:chip status error active\n"
         "   0.200000 99999999999  181   Rx   d 1 11\n"
         "   0.300000 65536  181         Rx   d 1 11\n"
         "   0.400000 1  18G             Rx   d 1 11\n"
         "   0.500000\n"
         "   0.600000 1  Statistic: D 2 R 1 XD 0 XR 0 E 0 O 0 B 0.01%\n",
         {"1 0.100000 181#11"},
         {"6: the channel is not a number from 0 to 65535", "7: the channel is not a number from 0 to 65535",
          "8: the identifier is not a number in the file's base", "9: a time stamp without an event"},
         5},
    };
    for (const auto& c : cases) {
        WriteFile(dir / c.name, c.content);
        const Read read = ReadLog(dir / c.name);
        EXPECT_EQ(ChannelTexts(read), c.frames) << c.name;
        EXPECT_EQ(BrokenTexts(read), c.broken) << c.name;
        EXPECT_EQ(read.otherRecords, c.other) << c.name;
    }
}

// A TRC 2.x column list that a line cannot be read with stops the read at
// its line: without the identifier every frame would be 0x000, without the
// length every frame empty. Lines read with such a list are broken.
TEST(LogLines, ATrcColumnListThatCannotServeStopsTheRead) {
    TempDir dir;
    const struct {
        const char* columns;
        const char* why;
    } cases[] = {
        {";$COLUMNS=", "the column list names no columns"},
        {";$COLUMNS=Z", "the column list names a column Z, which no TRC version has"},
        {";$COLUMNS=N,O,T,I,d,D", "the column list names no data length column (L or l)"},
        {";$COLUMNS=N,O,T,d,l,D", "the column list names no identifier column (I)"},
        {";$COLUMNS=N,O,I,d,l,D", "the column list names no type column (T)"},
        {";$COLUMNS=N,O,T,I,D,l", "the column list does not end with the data column (D)"},
        {";$COLUMNS=N,O,T,I,I,l,D", "the column list names the column I twice"},
    };
    for (const auto& c : cases) {
        const auto path = dir / "columns.trc";
        WriteFile(path, std::string(";$FILEVERSION=2.0\n") + c.columns + "\n      1      1059.900 DT     0181 Rx 2  00 01\n");
        try {
            ReadLog(path);
            ADD_FAILURE() << c.columns << ": read";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()),
                      path.string() + ":2: the log cannot be read: " + c.why + ": \"" + c.columns + "\"");
        }
    }
    // The list before the version that needs it: each line that would be
    // read with it is broken.
    WriteFile(dir / "late.trc", ";$COLUMNS=N,O,T,d,l,D\n;$FILEVERSION=2.0\n      1      1059.900 DT Rx 2  00 01\n");
    const Read late = ReadLog(dir / "late.trc");
    EXPECT_TRUE(late.frames.empty());
    EXPECT_EQ(BrokenTexts(late), (std::vector<std::string>{"3: the column list names no identifier column (I)"}));
}

}  // namespace
}  // namespace vestrel::can
