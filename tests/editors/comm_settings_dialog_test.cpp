#include "editors/comm_settings_dialog.h"

#include "editor_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ProjectFixture;
using test::WriteFile;
using Shown = test::FakeDialogs::Shown;

constexpr const char* kTimeOutMessage = "Error! The Time Out Data must to be between 0 and 255 seconds";
constexpr const char* kRegisterMessage = "Error! The Modbus Register must to be between 1 and 65535 seconds";

// The eleven texts of pargen.xml in file order; empty when there is no file.
std::vector<std::string> Written(const std::filesystem::path& dir) {
    CommParametersRead read = ReadCommParameters(dir);
    std::vector<std::string> out;
    if (read.status != CommParametersRead::Status::Loaded) return out;
    for (const auto& e : kCommParameterElements) out.push_back((read.parameters.*e.field).value_or("<absent>"));
    return out;
}

std::string PargenWith(const std::string& elements) { return "<GeneralParameter>" + elements + "</GeneralParameter>"; }

class CommSettings : public ::testing::Test {
protected:
    // Each window is given the project's folders, as the main window does before a showing.
    CommSettings() { dialog.SetPaths(project.paths); }

    ProjectFixture project;
    TFpargen dialog{project.dialogs};
};

TEST_F(CommSettings, ANewProjectShowsAndWritesTheDefaults) {
    EXPECT_EQ(dialog.windowTitle(), "SET COMMUNICATION");
    // exec() runs FormShow; OK writes and closes.
    QTimer::singleShot(0, dialog.BitBtn1, &QPushButton::click);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(project.dialogs.shown.empty());
    EXPECT_EQ(Written(project.dir),
              (std::vector<std::string>{"0", "0", "3", "0", "1", "1000", "0", "1", "1", "0", "0"}));
    EXPECT_FALSE(dialog.E_TIME_RTU->isVisibleTo(&dialog));

    // The first showing offers CAN 2.0A only; once the file exists, both.
    dialog.FormShow();
    EXPECT_TRUE(dialog.RB_CAN_A->isChecked());
    EXPECT_TRUE(dialog.RB_CAN_A->isEnabled());
    EXPECT_TRUE(dialog.RB_CAN_B->isEnabled());
}

TEST_F(CommSettings, TheFirstShowingOffersCan20AOnly) {
    dialog.FormShow();
    EXPECT_EQ(dialog.CB_BR_CAN->currentText(), "10");
    EXPECT_EQ(dialog.CB_BR_RTU->currentText(), "9600");
    EXPECT_EQ(dialog.CB_PAR_RTU->currentText(), "NONE");
    EXPECT_TRUE(dialog.RB_RS485->isChecked());
    EXPECT_TRUE(dialog.RB_CAN_A->isChecked());
    EXPECT_FALSE(dialog.RB_CAN_A->isEnabled());
    EXPECT_FALSE(dialog.RB_CAN_B->isEnabled());
}

TEST_F(CommSettings, TimeOutAndRegisterAreCheckedAndStoredAsTyped) {
    struct Case {
        const char* timeout;
        const char* reg;
        const char* message;  // nullptr when OK writes
    };
    const Case cases[] = {
        {"255", "1", nullptr},
        {"$FF", "65535", nullptr},
        {" 7", "0x10", nullptr},
        {"256", "1", kTimeOutMessage},
        {"-1", "1", kTimeOutMessage},
        {"", "1", kTimeOutMessage},
        {"abc", "1", kTimeOutMessage},
        {"7 ", "1", kTimeOutMessage},
        {"0", "0", kRegisterMessage},
        {"0", "65536", kRegisterMessage},
        {"256", "65536", kTimeOutMessage},  // only the first failure is shown
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.timeout) + " / " + c.reg);
        std::filesystem::remove(project / "pargen.xml");
        project.dialogs.shown.clear();
        dialog.setResult(0);
        dialog.FormShow();
        dialog.E_TO_Data->setText(c.timeout);
        dialog.E_TO_MR->setText(c.reg);
        dialog.E_ID_RTU->setText("abc");  // not checked
        dialog.BitBtn1->click();
        if (c.message) {
            EXPECT_EQ(project.dialogs.shown, (std::vector<Shown>{{Shown::Error, c.message}}));
            EXPECT_EQ(dialog.result(), 0);
            EXPECT_FALSE(std::filesystem::exists(project / "pargen.xml"));
        } else {
            EXPECT_TRUE(project.dialogs.shown.empty());
            EXPECT_EQ(dialog.result(), QDialog::Accepted);
            auto written = Written(project.dir);
            ASSERT_EQ(written.size(), 11u);
            EXPECT_EQ(written[4], "abc");
            EXPECT_EQ(written[6], c.timeout);
            EXPECT_EQ(written[7], c.reg);
        }
    }
}

TEST_F(CommSettings, EachFieldOfTheFileSetsItsOwnControl) {
    WriteFile(project / "Pargen.xml",
              PargenWith("<CANType>1</CANType><BaudRateCAN>abc</BaudRateCAN><Baud_Ser>12</Baud_Ser>"
                         "<Par_Ser>2</Par_Ser><Serial>0</Serial><Cancel_Data>1</Cancel_Data>"
                         "<Can_Data_Inp_Reg>yes</Can_Data_Inp_Reg><IDDev_Ser>$0A</IDDev_Ser>"
                         "<TimeOut_Ser>250</TimeOut_Ser>"));
    dialog.E_TO_Data->setText("99");
    dialog.FormShow();
    EXPECT_EQ(dialog.CB_BR_CAN->currentIndex(), 0);
    EXPECT_TRUE(dialog.RB_CAN_B->isChecked());
    EXPECT_TRUE(dialog.RB_CAN_A->isEnabled());
    EXPECT_EQ(dialog.CB_BR_RTU->currentIndex(), -1);  // 12 is past the list
    EXPECT_EQ(dialog.CB_PAR_RTU->currentText(), "EVEN");
    EXPECT_TRUE(dialog.RB_RS232->isChecked());
    EXPECT_TRUE(dialog.CB_Can_Data->isChecked());
    EXPECT_FALSE(dialog.CB_C_D_Inp_Reg->isChecked());
    EXPECT_EQ(dialog.E_ID_RTU->text(), "$0A");
    EXPECT_EQ(dialog.E_TO_Data->text(), "0");  // absent: the default
    EXPECT_EQ(dialog.E_TO_MR->text(), "1");

    dialog.BitBtn1->click();
    EXPECT_EQ(Written(project.dir),
              (std::vector<std::string>{"0", "1", "-1", "2", "$0A", "250", "0", "1", "0", "1", "0"}));
    // Saved under the name it already had.
    EXPECT_FALSE(std::filesystem::exists(project / "pargen.xml"));
}

TEST_F(CommSettings, WithoutAReadableFileTheControlsKeepWhatTheyHeld) {
    WriteFile(project / "pargen.xml", PargenWith("<CANType>1</CANType><TimeOut_Data>12</TimeOut_Data>"
                                                 "<Serial>0</Serial>"));
    dialog.FormShow();
    dialog.CB_Can_Data->setChecked(true);
    dialog.BitBtn2->click();  // Cancel keeps the controls too
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    // Another project without pargen.xml: the same values, CAN 2.0A only.
    project.Open("/P2");
    dialog.SetPaths(project.paths);
    dialog.FormShow();
    EXPECT_EQ(dialog.E_TO_Data->text(), "12");
    EXPECT_TRUE(dialog.RB_RS232->isChecked());
    EXPECT_TRUE(dialog.CB_Can_Data->isChecked());
    EXPECT_TRUE(dialog.RB_CAN_A->isChecked());
    EXPECT_FALSE(dialog.RB_CAN_B->isEnabled());

    // A broken file: no message, nothing changes.
    WriteFile(project / "pargen.xml", "<GeneralParameter><Serial>1</Serial>");
    dialog.FormShow();
    EXPECT_TRUE(project.dialogs.shown.empty());
    EXPECT_TRUE(dialog.RB_RS232->isChecked());

    project.dialogs.answers = {Answer::Yes};  // replace the broken file
    dialog.BitBtn1->click();
    auto written = Written(project.dir);
    ASSERT_EQ(written.size(), 11u);
    EXPECT_EQ(written[1], "0");
    EXPECT_EQ(written[6], "12");
    EXPECT_EQ(written[8], "0");
    EXPECT_EQ(written[9], "1");
}

// A pargen.xml that does not parse opens the dialog without a word, but OK
// replaces it only on Yes, naming the file and the parser's reason.
TEST_F(CommSettings, AnUnreadablePargenIsReplacedOnlyWhenTheUserAgrees) {
    const std::string broken = "<GeneralParameter><Serial>0</Serial>";
    WriteFile(project / "pargen.xml", broken);
    dialog.FormShow();
    EXPECT_TRUE(project.dialogs.shown.empty());

    project.dialogs.answers = {Answer::No};
    dialog.BitBtn1->click();
    ASSERT_EQ(project.dialogs.shown.size(), 1u);
    EXPECT_EQ(project.dialogs.shown[0].kind, Shown::QuestionDefaultNo);
    const std::string& question = project.dialogs.shown[0].text;
    EXPECT_EQ(question, "pargen.xml could not be read:\n" + ReadCommParameters(project.dir).error +
                            "\n\nReplace pargen.xml with the settings shown?");
    EXPECT_NE(question.find("\nLine: 1, column "), std::string::npos) << question;
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(test::ReadFile(project / "pargen.xml"), broken);

    project.dialogs.answers = {Answer::Yes};
    dialog.BitBtn1->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Written(project.dir).size(), 11u);

    // Readable now: no question.
    project.dialogs.shown.clear();
    dialog.FormShow();
    dialog.BitBtn1->click();
    EXPECT_TRUE(project.dialogs.shown.empty());
}

TEST_F(CommSettings, AbsentSerialMeansRs485) {
    WriteFile(project / "pargen.xml", PargenWith("<Serial>0</Serial>"));
    dialog.FormShow();
    EXPECT_TRUE(dialog.RB_RS232->isChecked());
    WriteFile(project / "pargen.xml", PargenWith(""));
    dialog.FormShow();
    EXPECT_TRUE(dialog.RB_RS485->isChecked());
    EXPECT_FALSE(dialog.RB_CAN_B->isEnabled());  // no CANType: no choice
}

TEST_F(CommSettings, OnlyAChosenCanRateIsStored) {
    dialog.FormShow();
    dialog.CB_BR_CAN->setCurrentIndex(2);
    dialog.CB_BR_CAN->setEditText("250");  // names an item: chooses it
    dialog.BitBtn1->click();
    EXPECT_EQ(Written(project.dir).at(0), "5");
    EXPECT_EQ(dialog.CB_BR_CAN->currentText(), "250");

    dialog.FormShow();
    dialog.CB_BR_CAN->setEditText("300");  // names none: the choice stays
    dialog.BitBtn1->click();
    EXPECT_EQ(Written(project.dir).at(0), "5");
    EXPECT_EQ(dialog.CB_BR_CAN->currentText(), "250");
}

TEST_F(CommSettings, AFailedWriteIsShownAndTheDialogStaysOpen) {
    dialog.FormShow();
    std::filesystem::remove_all(project.dir);
    dialog.BitBtn1->click();
    ASSERT_EQ(project.dialogs.shown.size(), 1u);
    EXPECT_EQ(project.dialogs.shown[0].kind, Shown::Error);
    EXPECT_NE(project.dialogs.shown[0].text.find("pargen.xml"), std::string::npos);
    EXPECT_EQ(dialog.result(), 0);
}

}  // namespace
}  // namespace vestrel
