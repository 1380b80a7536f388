#include "project/integer_text.h"

#include "platform/error.h"

#include <gtest/gtest.h>

namespace vestrel {
namespace {

TEST(ParseIntegerText, AcceptsEveryHexMarkerAndDecimal) {
    for (const char* text : {"0x7FF", "0X7ff", "$7ff", "x7FF", "X7fF", "2047", "+2047", "   2047", "02047"})
        EXPECT_EQ(ParseIntegerText(text), 2047) << text;
}

TEST(ParseIntegerText, SignsApplyToDecimalAndHex) {
    EXPECT_EQ(ParseIntegerText("+5"), 5);
    EXPECT_EQ(ParseIntegerText("-5"), -5);
    EXPECT_EQ(ParseIntegerText("-0x10"), -16);
    EXPECT_EQ(ParseIntegerText(" -$10"), -16);
    EXPECT_EQ(ParseIntegerText("-0"), 0);
}

TEST(ParseIntegerText, HexIsATwosComplementPatternOfAtMostEightDigits) {
    EXPECT_EQ(ParseIntegerText("$FFFFFFFF"), -1);
    EXPECT_EQ(ParseIntegerText("$7FFFFFFF"), 2147483647);
    EXPECT_EQ(ParseIntegerText("0x80000000"), INT32_MIN);
    EXPECT_EQ(ParseIntegerText("-$FFFFFFFF"), 1);
    EXPECT_EQ(ParseIntegerText("0x00000000FF"), 255) << "leading zeros are not significant";
    EXPECT_EQ(ParseIntegerText("$100000000"), std::nullopt);
}

TEST(ParseIntegerText, DecimalMustFitThirtyTwoBits) {
    EXPECT_EQ(ParseIntegerText("2147483647"), 2147483647);
    EXPECT_EQ(ParseIntegerText("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseIntegerText("2147483648"), std::nullopt);
    EXPECT_EQ(ParseIntegerText("-2147483649"), std::nullopt);
    EXPECT_EQ(ParseIntegerText("99999999999999999999"), std::nullopt);
}

TEST(ParseIntegerText, RejectsEverythingElse) {
    for (const char* text : {"", " ", "   ", "0x", "$", "x", "-", "+", "12 ", "1,024", "12.0", "1e3", "abc",
                             "0x1G", "- 5", "+-5", "$-5", "\t12", "12\n", "0b101", "0xx1", "5-"})
        EXPECT_EQ(ParseIntegerText(text), std::nullopt) << '"' << text << '"';
}

TEST(ParseIntegerText, FallbackAndStrictModes) {
    EXPECT_EQ(ParseIntegerText("abc", -1), -1);
    EXPECT_EQ(ParseIntegerText("0x10", -1), 16);
    EXPECT_EQ(ParseIntegerTextStrict("$10"), 16);
    try {
        ParseIntegerTextStrict("1,024");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "'1,024' is not a valid integer value");
    }
    EXPECT_THROW(ParseIntegerTextStrict(""), Error);
}

}  // namespace
}  // namespace vestrel
