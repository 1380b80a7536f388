#include "compiler/compile_stamp.h"

#include "compiler/bank_files.h"
#include "compiler/project_builder.h"
#include "platform/error.h"

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using namespace test;
namespace fs = std::filesystem;

TEST(CompileStamp, PackedDateAndTime) {
    EXPECT_EQ(PackedDate(LocalDateTime{2024, 12, 8, 13, 45, 31}), 0x4618);
    EXPECT_EQ(PackedTime(LocalDateTime{2024, 12, 8, 13, 45, 31}), 0x7DAD);
    EXPECT_EQ(PackedDate(LocalDateTime{1999, 12, 31, 23, 59, 59}), 0xFE63);
    EXPECT_EQ(PackedTime(LocalDateTime{1999, 12, 31, 23, 59, 59}), 0xEF77);
    EXPECT_EQ(PackedDate(LocalDateTime{2000, 1, 1, 0, 0, 0}), 0x0880);
    EXPECT_EQ(PackedTime(LocalDateTime{2000, 1, 1, 0, 0, 1}), 0x0000);
    // A leap second counts as 59.
    EXPECT_EQ(PackedTime(LocalDateTime{2016, 12, 31, 23, 59, 60}), 0xEF77);
}

TEST(CompileStamp, SourceDateEpochGivesThatInstantInLocalTime) {
    ScopedEnv epoch("SOURCE_DATE_EPOCH", "1733665531");
    {
        ScopedEnv tz("TZ", "UTC0");
        EXPECT_EQ(CompileStampTime(), (LocalDateTime{2024, 12, 8, 13, 45, 31}));
    }
    {
        ScopedEnv tz("TZ", "XYZ-1");  // one hour east of UTC
        EXPECT_EQ(CompileStampTime(), (LocalDateTime{2024, 12, 8, 14, 45, 31}));
    }
}

TEST(CompileStamp, MalformedSourceDateEpochIsRefused) {
    for (const char* text : {"abc", "12x", "-5", " 5", "+5", "1.5", "99999999999999999999"}) {
        ScopedEnv epoch("SOURCE_DATE_EPOCH", text);
        try {
            CompileStampTime();
            ADD_FAILURE() << "accepted " << text;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), InvalidSourceDateEpochMessage(text));
        }
    }
    EXPECT_EQ(InvalidSourceDateEpochMessage("abc"),
              "SOURCE_DATE_EPOCH holds 'abc', which is not a number of seconds since 1970-01-01 00:00:00 UTC");

    // The compile stops before it touches the banks.
    ScopedEnv epoch("SOURCE_DATE_EPOCH", "soon");
    TempDir dir;
    BankCompiler compiler;
    EXPECT_THROW(compiler.BuildBankImages(dir.path()), Error);
    auto area = compiler.Banks().Area();
    EXPECT_TRUE(std::all_of(area.begin(), area.end(), [](auto b) { return b == 0; }));
}

TEST(CompileStamp, EmptySourceDateEpochUsesTheClock) {
    ScopedEnv epoch("SOURCE_DATE_EPOCH", "");
    EXPECT_GE(CompileStampTime().year, 2024);
}

TEST(CompileStamp, SourceDateEpochMakesTheOutputReproducible) {
    ScopedEnv epoch("SOURCE_DATE_EPOCH", "1733665531");
    ScopedEnv tz("TZ", "UTC0");
    TempDir dir;
    WritePargen(dir.path(), DefaultSettings());
    WriteRows(dir / "RCobDef.xml", "COBID", {R"(CobID="0x181" Dimensin="8")"});

    auto compileOnce = [&] {
        BankCompiler compiler;
        CompileProject(compiler, dir.path());
        std::vector<std::string> files;
        for (const char* name : {"bank1.bin", "bank2.bin", "bank3.bin", "bank4.bin", "bank5.bin", "bankg.c"})
            files.push_back(ReadFile(dir / "bin" / name));
        return files;
    };
    const auto first = compileOnce();
    const auto second = compileOnce();
    EXPECT_TRUE(first == second);
    EXPECT_EQ(first[0].substr(16020, 4), "\x18\x46\xAD\x7D");
}

}  // namespace
}  // namespace vestrel
