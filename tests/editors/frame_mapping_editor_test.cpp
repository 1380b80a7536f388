#include "editors/frame_mapping_editor.h"

#include "editor_test_support.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

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

    ProjectFixture project;
    TFInfopdoMB dialog{project.workspace, project.dialogs};
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

    // Without TCobDef.xml both lists stay empty and OK writes no rows.
    std::filesystem::remove(project / "TCobDef.xml");
    Show(2);
    EXPECT_EQ(dialog.LB_Cob->count(), 0);
    EXPECT_TRUE(project.dialogs.shown.empty());
    dialog.BitBtn1->click();
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
