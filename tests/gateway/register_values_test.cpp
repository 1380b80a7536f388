#include "gateway/register_values.h"

#include <gtest/gtest.h>

namespace vestrel::gateway {
namespace {

// Each text a parser takes gives its values; each it refuses, its reason.
template <typename Parse, typename Values>
void ExpectParses(Parse parse, const std::vector<std::pair<std::string, Values>>& taken,
                  const std::vector<std::pair<std::string, std::string>>& refused) {
    for (const auto& [text, values] : taken) {
        const auto parsed = parse(text);
        ASSERT_TRUE(parsed) << text << ": " << parsed.Why();
        EXPECT_EQ(*parsed, values) << text;
    }
    for (const auto& [text, reason] : refused) {
        const auto parsed = parse(text);
        EXPECT_FALSE(parsed) << text;
        EXPECT_EQ(parsed.Why(), reason) << text;
    }
}

TEST(RegisterValues, TheOneGrammarOfEveryRegisterValueList) {
    const std::vector<std::pair<std::string, RegisterValues>> taken{
        {"100=0x1234,110=7", {{100, 0x1234}, {110, 7}}},
        {"110 = 7", {{110, 7}}},
        {"100=1 110=7", {{100, 1}, {110, 7}}},
        {"  100 =1 ,\t110= 0X0007  ", {{100, 1}, {110, 7}}},
        {"0x10=-1", {{16, 0xFFFF}}},
        {"1=-32768 2=-0x8000 3=65535 4=0xFFFF 5=-0", {{1, 0x8000}, {2, 0x8000}, {3, 0xFFFF}, {4, 0xFFFF}, {5, 0}}},
        {"65535=00012", {{65535, 12}}},
    };
    const std::vector<std::pair<std::string, std::string>> refused{
        {"", "register values are REG=VALUE pairs separated by commas or blanks"},
        {" , ", "register values are REG=VALUE pairs separated by commas or blanks, not ','"},
        {"40", "register values are REG=VALUE pairs separated by commas or blanks, not '40'"},
        {"110=", "'110=' is not REG=VALUE: registers and values are decimal or 0x hexadecimal numbers"},
        {"40=1,", "register values are REG=VALUE pairs separated by commas or blanks, not '40=1,': a comma with "
                  "no pair after it"},
        {"40=1,,41=2", "register values are REG=VALUE pairs separated by commas or blanks, not '40=1,,41=2': a "
                       "comma with no pair after it"},
        {"40=1=2", "register values are REG=VALUE pairs separated by commas or blanks, not '40=1=2'"},
        {"40=1,40=2", "register 40 is given twice"},
        {"40=65536", "the value 65536 of register 40 is outside -32768 to 65535"},
        {"40=-32769", "the value -32769 of register 40 is outside -32768 to 65535"},
        {"100=-0xFFFF0001", "the value -0xFFFF0001 of register 100 is outside -32768 to 65535"},
        {"100=0x1FFFFFFFFFFFFFFFF", "the value 0x1FFFFFFFFFFFFFFFF of register 100 is outside -32768 to 65535"},
        {"70000=1", "register 70000 is outside 0 to 65535"},
        {"-1=1", "'-1=1' is not REG=VALUE: registers and values are decimal or 0x hexadecimal numbers"},
        {"40=$10", "'40=$10' is not REG=VALUE: registers and values are decimal or 0x hexadecimal numbers"},
        {"40=+1", "'40=+1' is not REG=VALUE: registers and values are decimal or 0x hexadecimal numbers"},
        {"40=0x", "'40=0x' is not REG=VALUE: registers and values are decimal or 0x hexadecimal numbers"},
        {"40=1x 41=2", "'40=1x 41=2' is not REG=VALUE: registers and values are decimal or 0x hexadecimal numbers"},
    };
    ExpectParses([](const std::string& text) { return ParseRegisterValues(text); }, taken, refused);
}

// A write's values alone, in the same grammar and with the same separators.
TEST(RegisterValues, ValuesAloneInTheSameGrammar) {
    const std::vector<std::pair<std::string, std::vector<std::uint16_t>>> taken{
        {"0x1234, 7 5", {0x1234, 7, 5}},
        {" -1\t65535 ,0X10 ", {0xFFFF, 0xFFFF, 16}},
        {"-32768", {0x8000}},
    };
    const std::vector<std::pair<std::string, std::string>> refused{
        {" ", "type the values to write, such as 0x1234, 7"},
        {"1,", "type the values to write, such as 0x1234, 7, not '1,': a comma with no value after it"},
        {"1 x", "'x' is not a register value: values are decimal or 0x hexadecimal numbers"},
        {"1=2", "type the values to write, such as 0x1234, 7, not '1=2'"},
        {"65536", "the value 65536 is outside -32768 to 65535"},
    };
    ExpectParses([](const std::string& text) { return ParseRegisterValueList(text); }, taken, refused);
}

}  // namespace
}  // namespace vestrel::gateway
