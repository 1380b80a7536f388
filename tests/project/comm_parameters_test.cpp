#include "project/comm_parameters.h"

#include "platform/error.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(CommParameters, DefaultsAreWrittenInElementOrder) {
    TempDir dir;
    WriteCommParameters(dir.path(), CommParameters::Defaults());
    EXPECT_EQ(ReadFile(dir / "pargen.xml"),
              "<GeneralParameter><BaudRateCAN>0</BaudRateCAN><CANType>0</CANType><Baud_Ser>3</Baud_Ser>"
              "<Par_Ser>0</Par_Ser><IDDev_Ser>1</IDDev_Ser><TimeOut_Ser>1000</TimeOut_Ser>"
              "<TimeOut_Data>0</TimeOut_Data><TO_ModReg>1</TO_ModReg><Serial>1</Serial>"
              "<Cancel_Data>0</Cancel_Data><Can_Data_Inp_Reg>0</Can_Data_Inp_Reg></GeneralParameter>");
}

TEST(CommParameters, ReadsWhatWasWrittenAsTyped) {
    TempDir dir;
    CommParameters p = CommParameters::Defaults();
    p.TimeOut_Data = "$FF";
    p.IDDev_Ser = "abc";
    p.Baud_Ser = "-1";
    WriteCommParameters(dir.path(), p);
    CommParametersRead read = ReadCommParameters(dir.path());
    ASSERT_EQ(read.status, CommParametersRead::Status::Loaded);
    EXPECT_EQ(read.parameters, p);
}

TEST(CommParameters, ElementOrderAndIndentationDoNotMatter) {
    TempDir dir;
    WriteFile(dir / "pargen.xml",
              "<?xml version=\"1.0\"?>\n<GeneralParameter>\n  <Serial>0</Serial>\n  <CANType>2</CANType>\n"
              "  <BaudRateCAN>abc</BaudRateCAN>\n</GeneralParameter>\n");
    CommParametersRead read = ReadCommParameters(dir.path());
    ASSERT_EQ(read.status, CommParametersRead::Status::Loaded);
    EXPECT_EQ(read.parameters.Serial, "0");
    EXPECT_EQ(read.parameters.CANType, "2");
    EXPECT_EQ(read.parameters.BaudRateCAN, "abc");
    EXPECT_EQ(read.parameters.TimeOut_Data, std::nullopt);
    EXPECT_EQ(read.parameters.TO_ModReg, std::nullopt);
    EXPECT_EQ(CanModeOf(read.parameters), CanMode::Can20B);
}

TEST(CommParameters, MissingBrokenAndForeignFiles) {
    TempDir dir;
    EXPECT_EQ(ReadCommParameters(dir.path()).status, CommParametersRead::Status::NoFile);
    EXPECT_EQ(ReadProjectCanMode(dir.path()), CanMode::Can20A);

    WriteFile(dir / "pargen.xml", "<GeneralParameter><CANType>1</CANType>");
    CommParametersRead broken = ReadCommParameters(dir.path());
    EXPECT_EQ(broken.status, CommParametersRead::Status::Unreadable);
    EXPECT_NE(broken.error.find("\nLine: 1, column "), std::string::npos) << broken.error;
    EXPECT_THROW(ReadProjectCanMode(dir.path()), Error);

    WriteFile(dir / "pargen.xml", "<Other><CANType>1</CANType></Other>");
    CommParametersRead foreign = ReadCommParameters(dir.path());
    EXPECT_EQ(foreign.status, CommParametersRead::Status::Loaded);
    EXPECT_EQ(foreign.parameters, CommParameters{});
    EXPECT_EQ(ReadProjectCanMode(dir.path()), CanMode::Can20A);
}

// As the device takes it, from the low byte the banks keep: 256 is CAN 2.0A.
TEST(CommParameters, CanModeFromCanType) {
    CommParameters p;
    EXPECT_EQ(CanModeOf(p), CanMode::Can20A);
    for (const char* text : {"0", "0x0", " 0", "abc", "", "1.0", "256", "0x300"}) {
        p.CANType = text;
        EXPECT_EQ(CanModeOf(p), CanMode::Can20A) << text;
    }
    for (const char* text : {"1", "2", "-1", "$1", "257"}) {
        p.CANType = text;
        EXPECT_EQ(CanModeOf(p), CanMode::Can20B) << text;
    }
}

TEST(CommParameters, UpperCaseFileIsFoundAndReplacedUnderItsName) {
    TempDir dir;
    WriteFile(dir / "PARGEN.XML", "<GeneralParameter><CANType>1</CANType></GeneralParameter>");
    EXPECT_EQ(ReadProjectCanMode(dir.path()), CanMode::Can20B);
    WriteCommParameters(dir.path(), CommParameters::Defaults());
    EXPECT_TRUE(std::filesystem::exists(dir / "PARGEN.XML"));
    EXPECT_FALSE(std::filesystem::exists(dir / "pargen.xml"));
    EXPECT_EQ(ReadProjectCanMode(dir.path()), CanMode::Can20A);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary file is left";
}

}  // namespace
}  // namespace vestrel
