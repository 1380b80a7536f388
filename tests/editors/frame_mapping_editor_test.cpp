#include "editors/frame_mapping_editor.h"

#include "editor_test_support.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ProjectFixture;
using test::ReadFile;
using test::WriteFile;
using Shown = test::FakeDialogs::Shown;

QStringList Entries(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

QString ItemText(const TRadioGroup* group) { return group->Item(group->ItemIndex())->text(); }

class FrameMappingEditor : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(project / "RCobDef.xml",
                  R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic=""/><row CobID="385" Dimensin="2" Mnemonic=""/>)"
                  R"(<row CobID="$7FF" Dimensin="8" Mnemonic=""/></COBID>)");
        WriteFile(project / "RInfoCob.xml",
                  R"(<RInfoCob><row Index="5" NrPdo="2" PosComp="0"/><row Index="6" NrPdo="2" PosComp="153"/>)"
                  R"(<row Index="7" NrPdo="2" PosComp="1"/><row Index="0x10" NrPdo="1" PosComp="18"/></RInfoCob>)");
        WriteFile(project / "TCobDef.xml",
                  R"(<COBID><row CobID="1" Dimensin="8" RTR="N" Mnemonic=""/><row CobID="2" Dimensin="8" RTR="N" Mnemonic=""/></COBID>)");
        WriteFile(project / "TInfoCob.xml", R"(<TInfoCob><row Index="100" NrPdo="1" PosComp="34"/></TInfoCob>)");
    }

    void Show(int mode) {
        dialog.SetEditorMode(mode);
        dialog.FormShow();
    }
    void SelectFrame(int row) { dialog.LB_Cob->setCurrentRow(row); }
    void SelectRegister(int row) { dialog.LB_IndMB->setCurrentRow(row); }
    std::vector<TClIndMB> Registers(int frame) const { return dialog.Frames().at(static_cast<std::size_t>(frame)).Registers; }

    // Each window is given the project's folders, as the main window does before a showing.
    FrameMappingEditor() { dialog.SetPaths(project.paths); }

    ProjectFixture project;
    TFInfopdoMB dialog{project.dialogs};
};

TEST_F(FrameMappingEditor, EachShowingListsTheFramesOfItsDirection) {
    Show(1);
    EXPECT_EQ(dialog.windowTitle(), "Receive CAN Frame Info");
    EXPECT_EQ(Entries(dialog.LB_Cob), (QStringList{"0x181", "385", "$7FF"}));
    EXPECT_EQ(dialog.LB_IndMB->count(), 0);
    SelectFrame(1);
    EXPECT_EQ(Entries(dialog.LB_IndMB), (QStringList{"Ind MB 0", "Ind MB 1", "Ind MB 2"}));
    EXPECT_EQ(dialog.LB_IndMB->currentRow(), -1);

    Show(2);
    EXPECT_EQ(dialog.windowTitle(), "Transmit CAN Frame Info");
    EXPECT_EQ(Entries(dialog.LB_Cob), (QStringList{"1", "2"}));
    EXPECT_EQ(dialog.LB_IndMB->count(), 0);
    EXPECT_EQ(dialog.E_Index->text(), "");

    // Without TCobDef.xml both lists stay empty and OK writes no rows, once
    // the user agrees to lose the register of the frame that is gone.
    std::filesystem::remove(project / "TCobDef.xml");
    Show(2);
    EXPECT_EQ(dialog.LB_Cob->count(), 0);
    EXPECT_TRUE(project.dialogs.shown.empty());
    project.dialogs.answers = {Answer::Yes};
    dialog.BitBtn1->click();
    EXPECT_EQ(project.dialogs.shown,
              (std::vector<Shown>{{Shown::QuestionDefaultNo,
                                   "There is no TCobDef.xml, so these registers of TInfoCob.xml belong to frames that "
                                   "are gone and would not be saved: 100 (frame 1).\n\nSave TInfoCob.xml without them?"}}));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ReadFile(project / "TInfoCob.xml").substr(0, 11), "<TInfoCob/>");
}

TEST_F(FrameMappingEditor, ReadErrorsAreShownAndWhatWasReadIsKept) {
    WriteFile(project / "RInfoCob.xml",
              R"(<RInfoCob><row Index="5" NrPdo="2" PosComp="0"/><row Index="6" NrPdo="0" PosComp="0"/></RInfoCob>)");
    Show(1);
    EXPECT_EQ(project.dialogs.shown, (std::vector<Shown>{{Shown::Message, "Error in reading file SDOPDO XML"}}));
    EXPECT_EQ(Registers(1), (std::vector<TClIndMB>{{"5", "0"}}));

    project.dialogs.shown.clear();
    WriteFile(project / "RCobDef.xml", R"(<COBID><row CobID="1"/><row Dimensin="1"/></COBID>)");
    Show(1);
    EXPECT_EQ(project.dialogs.Texts().at(0), "Error in reading file PDO XML");
    EXPECT_EQ(Entries(dialog.LB_Cob), (QStringList{"1"}));
}

// After "Error in reading file SDOPDO XML" the dialog shows part of the
// file; OK replaces it only on Yes, and the question says which file and why.
TEST_F(FrameMappingEditor, AMappingFileReadInPartIsReplacedOnlyWhenTheUserAgrees) {
    const std::string file = R"(<RInfoCob><row Index="5" NrPdo="2" PosComp="0"/><row Index="6" NrPdo="0" PosComp="0"/>)"
                             R"(<row Index="7" NrPdo="1" PosComp="0"/></RInfoCob>)";
    WriteFile(project / "RInfoCob.xml", file);
    Show(1);
    EXPECT_EQ(project.dialogs.shown, (std::vector<Shown>{{Shown::Message, "Error in reading file SDOPDO XML"}}));
    project.dialogs.shown.clear();
    project.dialogs.answers = {Answer::No};
    dialog.BitBtn1->click();
    EXPECT_EQ(project.dialogs.shown,
              (std::vector<Shown>{{Shown::QuestionDefaultNo,
                                   "RInfoCob.xml could not be read completely, so the registers shown are not all "
                                   "it holds:\nrow 2: NrPdo 0 is not a frame number\n\n"
                                   "Replace RInfoCob.xml with the registers shown?"}}));
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(ReadFile(project / "RInfoCob.xml"), file);

    project.dialogs.answers = {Answer::Yes};
    dialog.BitBtn1->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ReadFile(project / "RInfoCob.xml").rfind(R"(<RInfoCob><row Index="5" NrPdo="2" PosComp="0"/></RInfoCob>)", 0),
              0u);

    // A file that does not parse: the parser's own reason.
    WriteFile(project / "RInfoCob.xml", "<RInfoCob><row Index=\"5\"");
    Show(1);
    project.dialogs.shown.clear();
    project.dialogs.answers = {Answer::No};
    dialog.BitBtn1->click();
    ASSERT_EQ(project.dialogs.shown.size(), 1u);
    const std::string& question = project.dialogs.shown[0].text;
    EXPECT_EQ(question.rfind("RInfoCob.xml could not be read completely", 0), 0u) << question;
    EXPECT_NE(question.find("\nLine: 1, column 25\n<RInfoCob><row"), std::string::npos) << question;
    EXPECT_EQ(ReadFile(project / "RInfoCob.xml"), "<RInfoCob><row Index=\"5\"");

    // A complete file asks nothing.
    WriteFile(project / "RInfoCob.xml", R"(<RInfoCob><row Index="5" NrPdo="2" PosComp="0"/></RInfoCob>)");
    Show(1);
    project.dialogs.shown.clear();
    dialog.BitBtn1->click();
    EXPECT_TRUE(project.dialogs.shown.empty()) << project.dialogs.Texts().at(0);
}

// After the frame table shrank, registers of frames that are gone are
// listed before OK leaves them out of the mapping file.
TEST_F(FrameMappingEditor, RegistersOfFramesThatAreGoneAreListedBeforeOkDropsThem) {
    WriteFile(project / "RCobDef.xml", R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic=""/></COBID>)");
    const std::string file = ReadFile(project / "RInfoCob.xml");
    Show(1);
    EXPECT_TRUE(project.dialogs.shown.empty());
    project.dialogs.answers = {Answer::No};
    dialog.BitBtn1->click();
    EXPECT_EQ(project.dialogs.shown,
              (std::vector<Shown>{{Shown::QuestionDefaultNo,
                                   "RCobDef.xml has 1 frame, so these registers of RInfoCob.xml belong to frames "
                                   "that are gone and would not be saved: 5 (frame 2), 6 (frame 2), 7 (frame 2)."
                                   "\n\nSave RInfoCob.xml without them?"}}));
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(ReadFile(project / "RInfoCob.xml"), file);

    project.dialogs.answers = {Answer::Yes};
    dialog.BitBtn1->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    Show(1);
    EXPECT_EQ(Registers(0), (std::vector<TClIndMB>{{"0x10", "18"}}));
    project.dialogs.shown.clear();
    dialog.BitBtn1->click();
    EXPECT_TRUE(project.dialogs.shown.empty());

    // A frame file read in part: the frames are not gone but not listed.
    WriteFile(project / "RCobDef.xml", R"(<COBID><row CobID="1"/><row Dimensin="1"/></COBID>)");
    WriteFile(project / "RInfoCob.xml", R"(<RInfoCob><row Index="9" NrPdo="2" PosComp="0"/></RInfoCob>)");
    Show(1);
    project.dialogs.shown.clear();
    project.dialogs.answers = {Answer::No};
    dialog.BitBtn1->click();
    EXPECT_EQ(project.dialogs.shown,
              (std::vector<Shown>{{Shown::QuestionDefaultNo,
                                   "RCobDef.xml could not be read completely, so only 1 frame is listed:\n"
                                   "row 2 has no \"CobID\"\n\nThese registers of RInfoCob.xml belong to frames that "
                                   "are not listed and would not be saved: 9 (frame 2).\n\n"
                                   "Save RInfoCob.xml without them?"}}));

    // An import replaces every register anyway: nothing left to ask.
    WriteFile(project / "in.csv", "header\r\n1;1;0;0;\r\n");
    project.dialogs.answers = {Answer::Yes};
    project.dialogs.files = {(project / "in.csv").string()};
    dialog.BtnImport->click();
    project.dialogs.shown.clear();
    dialog.BitBtn1->click();
    EXPECT_TRUE(project.dialogs.shown.empty()) << project.dialogs.Texts().at(0);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(FrameMappingEditor, ARegisterShowsItsIndexAndBothBytes) {
    Show(1);
    SelectFrame(0);
    SelectRegister(0);
    EXPECT_EQ(dialog.E_Index->text(), "0x10");
    EXPECT_EQ(ItemText(dialog.RG_High), "B1");  // PosComp 18
    EXPECT_EQ(ItemText(dialog.RG_Low), "B2");
    SelectFrame(1);
    EXPECT_EQ(dialog.E_Index->text(), "");
    EXPECT_EQ(ItemText(dialog.RG_High), "none");
    SelectRegister(1);
    EXPECT_EQ(ItemText(dialog.RG_High), "B8");  // PosComp 153: nibbles of 9
    EXPECT_EQ(ItemText(dialog.RG_Low), "B8");
}

TEST_F(FrameMappingEditor, NewRefusesANumberThatAnyFrameOfTheDirectionHas) {
    Show(1);
    dialog.E_Index->setText("20");
    dialog.BtnNew->click();  // no frame selected: nothing
    EXPECT_TRUE(project.dialogs.shown.empty());

    SelectFrame(2);
    dialog.E_Index->setText("16");  // frame 1 has 0x10
    dialog.BtnNew->click();
    EXPECT_EQ(project.dialogs.shown, (std::vector<Shown>{{Shown::Message, "Index or Subindex Not Valid"}}));
    dialog.E_Index->setText("abc");
    dialog.BtnNew->click();
    EXPECT_EQ(project.dialogs.shown.back(), (Shown{Shown::Error, "'abc' is not a valid integer value"}));
    EXPECT_TRUE(Registers(2).empty());

    // 100 belongs to the transmit direction only. The byte of a two-byte
    // frame may still be B8.
    project.dialogs.shown.clear();
    dialog.E_Index->setText("$64");
    dialog.RG_High->Item(8)->click();
    dialog.RG_Low->Item(3)->click();
    dialog.BtnNew->click();
    EXPECT_TRUE(project.dialogs.shown.empty());
    EXPECT_EQ(Registers(2), (std::vector<TClIndMB>{{"$64", "131"}}));
    EXPECT_EQ(Entries(dialog.LB_IndMB), (QStringList{"Ind Mb 0"}));
    EXPECT_EQ(dialog.LB_IndMB->currentRow(), 0);
}

TEST_F(FrameMappingEditor, ModifyMayKeepTheNumberButNotTakeAnothers) {
    Show(1);
    SelectFrame(0);
    dialog.BtnModify->click();  // no register selected: nothing
    SelectRegister(0);
    dialog.E_Index->setText("16");  // its own number in another form
    dialog.RG_Low->Item(0)->click();
    dialog.BtnModify->click();
    EXPECT_TRUE(project.dialogs.shown.empty());
    EXPECT_EQ(Registers(0), (std::vector<TClIndMB>{{"16", "16"}}));
    EXPECT_EQ(Entries(dialog.LB_IndMB), (QStringList{"Ind MB 0"}));

    dialog.E_Index->setText("7");
    dialog.BtnModify->click();
    EXPECT_EQ(project.dialogs.Texts(), (std::vector<std::string>{"Index or Subindex Not Valid"}));
    EXPECT_EQ(Registers(0), (std::vector<TClIndMB>{{"16", "16"}}));
}

TEST_F(FrameMappingEditor, DeleteLeavesAGapInTheLabelsUntilTheFrameIsChosenAgain) {
    Show(1);
    SelectFrame(1);
    dialog.BtnDelete->click();  // no register selected: nothing
    EXPECT_EQ(Registers(1).size(), 3u);
    SelectRegister(1);
    dialog.BtnDelete->click();
    EXPECT_EQ(Entries(dialog.LB_IndMB), (QStringList{"Ind MB 0", "Ind MB 2"}));
    EXPECT_EQ(Registers(1), (std::vector<TClIndMB>{{"5", "0"}, {"7", "1"}}));
    EXPECT_EQ(dialog.LB_IndMB->currentRow(), -1);
    EXPECT_EQ(dialog.E_Index->text(), "6");  // the field keeps its text

    dialog.E_Index->setText("9");
    dialog.BtnNew->click();
    EXPECT_EQ(Entries(dialog.LB_IndMB), (QStringList{"Ind MB 0", "Ind MB 2", "Ind Mb 2"}));
    SelectRegister(1);
    EXPECT_EQ(dialog.E_Index->text(), "7");

    SelectFrame(0);
    SelectFrame(1);
    EXPECT_EQ(Entries(dialog.LB_IndMB), (QStringList{"Ind MB 0", "Ind MB 1", "Ind MB 2"}));
}

// Choosing the frame or register that is already chosen, by mouse or key,
// builds its entries again like any other choice.
TEST_F(FrameMappingEditor, ChoosingTheChosenFrameOrRegisterAgainRefreshesTheList) {
    dialog.SetEditorMode(1);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    auto click = [](QListWidget* list, int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    };
    click(dialog.LB_Cob, 1);
    SelectRegister(1);
    dialog.BtnDelete->click();
    dialog.E_Index->setText("9");
    dialog.BtnNew->click();
    ASSERT_EQ(Entries(dialog.LB_IndMB), (QStringList{"Ind MB 0", "Ind MB 2", "Ind Mb 2"}));

    click(dialog.LB_Cob, 1);
    EXPECT_EQ(Entries(dialog.LB_IndMB), (QStringList{"Ind MB 0", "Ind MB 1", "Ind MB 2"}));
    EXPECT_EQ(dialog.LB_IndMB->currentRow(), -1);
    EXPECT_EQ(dialog.E_Index->text(), "");

    // The chosen register again: its own values come back.
    click(dialog.LB_IndMB, 2);
    EXPECT_EQ(dialog.E_Index->text(), "9");
    dialog.E_Index->setText("typed");
    click(dialog.LB_IndMB, 2);
    EXPECT_EQ(dialog.E_Index->text(), "9");

    // The same by keyboard: Space on the current frame.
    dialog.E_Index->setText("typed");
    dialog.LB_Cob->setFocus();
    QTest::keyClick(dialog.LB_Cob, Qt::Key_Space);
    EXPECT_EQ(dialog.E_Index->text(), "");
    EXPECT_EQ(dialog.LB_IndMB->currentRow(), -1);
}

// Tab into a byte group lands on the item that is chosen there, so the
// arrow keys move on from it.
TEST_F(FrameMappingEditor, TabIntoAByteGroupLandsOnItsChosenItem) {
    dialog.SetEditorMode(1);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    SelectFrame(0);
    SelectRegister(0);  // PosComp 18: B1 high, B2 low
    dialog.E_Index->setFocus();
    QTest::keyClick(dialog.E_Index, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog.RG_High->Item(1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog.RG_Low->Item(2));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), dialog.RG_High->Item(1));
    // An arrow key chooses the next item; Tab then leaves from there.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    EXPECT_EQ(QApplication::focusWidget(), dialog.RG_High->Item(2));
    EXPECT_EQ(ItemText(dialog.RG_High), "B2");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog.RG_Low->Item(2));

    // Another register moves the chosen item, and Tab follows it.
    SelectFrame(1);
    SelectRegister(1);  // PosComp 153: B8 in both
    dialog.E_Index->setFocus();
    QTest::keyClick(dialog.E_Index, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog.RG_High->Item(8));
    SelectRegister(0);  // PosComp 0: none
    dialog.E_Index->setFocus();
    QTest::keyClick(dialog.E_Index, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog.RG_High->Item(0));
}

TEST_F(FrameMappingEditor, ACopyInReceiveCanBePastedInTransmit) {
    Show(1);
    dialog.BtnPaste->click();  // nothing copied yet
    EXPECT_EQ(project.dialogs.shown, (std::vector<Shown>{{Shown::Error, "'' is not a valid integer value"}}));
    EXPECT_EQ(dialog.E_Index->text(), "");

    SelectFrame(0);
    SelectRegister(0);
    dialog.BtnCopy->click();
    dialog.BitBtn2->click();

    Show(2);
    SelectFrame(1);
    dialog.BtnPaste->click();
    EXPECT_EQ(dialog.E_Index->text(), "0x10");
    EXPECT_EQ(ItemText(dialog.RG_High), "B1");
    EXPECT_EQ(ItemText(dialog.RG_Low), "B2");
    EXPECT_TRUE(Registers(1).empty());  // Paste makes no register
    dialog.BtnNew->click();
    EXPECT_EQ(Registers(1), (std::vector<TClIndMB>{{"0x10", "18"}}));
}

TEST_F(FrameMappingEditor, OkWritesTheFileInRegisterOrder) {
    Show(1);
    SelectFrame(2);
    dialog.E_Index->setText("$1");
    dialog.BtnNew->click();
    dialog.BitBtn1->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const std::string expected =
        R"(<RInfoCob><row Index="$1" NrPdo="3" PosComp="0"/><row Index="5" NrPdo="2" PosComp="0"/>)"
        R"(<row Index="6" NrPdo="2" PosComp="153"/><row Index="7" NrPdo="2" PosComp="1"/>)"
        R"(<row Index="0x10" NrPdo="1" PosComp="18"/></RInfoCob>)";
    EXPECT_EQ(ReadFile(project / "RInfoCob.xml").substr(0, expected.size()), expected);
}

TEST_F(FrameMappingEditor, AFailingSaveIsShownAndTheDialogStaysOpen) {
    const std::string file = R"(<RInfoCob><row Index="abc" NrPdo="1" PosComp="0"/></RInfoCob>)";
    WriteFile(project / "RInfoCob.xml", file);
    Show(1);
    dialog.BitBtn1->click();
    EXPECT_EQ(project.dialogs.shown, (std::vector<Shown>{{Shown::Error, "'abc' is not a valid integer value"}}));
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(ReadFile(project / "RInfoCob.xml"), file);
}

TEST_F(FrameMappingEditor, ImportReplacesTheRegistersAfterConfirmation) {
    const std::string question =
        "The import Function cancel all Modbus regicters created, are you sure to import the file?";
    WriteFile(project / "in.csv", "Index MODBUS;Index CAN Frame;High Byte;Low Byte;\r\n"
                                  "100;2;1;3;\r\n40;2;0;0;\r\n5;1;20;3\r\n");
    Show(1);
    SelectFrame(1);
    SelectRegister(2);

    project.dialogs.answers = {Answer::No};
    dialog.BtnImport->click();
    EXPECT_TRUE(project.dialogs.fileRequests.empty());
    project.dialogs.answers = {Answer::Yes};
    project.dialogs.files = {std::nullopt};
    dialog.BtnImport->click();
    EXPECT_EQ(project.dialogs.fileRequests.at(0).filters, (std::vector<std::string>{"CSV File (*.csv)"}));
    EXPECT_EQ(project.dialogs.fileRequests.at(0).initialDir, project.dir.string());
    EXPECT_EQ(Registers(1).size(), 3u);

    // A file that cannot be read keeps every register.
    project.dialogs.answers = {Answer::Yes};
    project.dialogs.files = {(project / "missing.csv").string()};
    dialog.BtnImport->click();
    EXPECT_EQ(project.dialogs.shown.back().kind, Shown::Error);
    EXPECT_EQ(Registers(1).size(), 3u);
    EXPECT_EQ(Registers(0).size(), 1u);

    project.dialogs.shown.clear();
    project.dialogs.answers = {Answer::Yes};
    project.dialogs.files = {(project / "in.csv").string()};
    dialog.BtnImport->click();
    EXPECT_EQ(project.dialogs.shown, (std::vector<Shown>{{Shown::Question, question}}));
    EXPECT_EQ(Registers(0), (std::vector<TClIndMB>{{"5", "67"}}));
    EXPECT_EQ(Registers(1), (std::vector<TClIndMB>{{"100", "19"}, {"40", "0"}}));
    // The register list now names the imported registers.
    EXPECT_EQ(Entries(dialog.LB_IndMB), (QStringList{"Ind MB 0", "Ind MB 1"}));
    SelectRegister(1);
    EXPECT_EQ(dialog.E_Index->text(), "40");
}

TEST_F(FrameMappingEditor, ExportWritesTheDirectionsCsv) {
    Show(2);
    dialog.BtnExport->click();
    EXPECT_TRUE(project.dialogs.shown.empty());
    EXPECT_EQ(ReadFile(project / "TInfoCob.csv"),
              "Index MODBUS;Index CAN Frame;High Byte;Low Byte;\r\n100;1;2;2;\r\n");
    EXPECT_FALSE(std::filesystem::exists(project / "RInfoCob.csv"));
}

}  // namespace
}  // namespace vestrel
