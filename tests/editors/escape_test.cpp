// Escape in every editor: Cancel when nothing was changed; after a change it
// asks first, No being the default, and keeps what the user typed.
#include "editors/comm_settings_dialog.h"
#include "editors/frame_mapping_editor.h"
#include "editors/frame_table_editor.h"

#include "editor_test_support.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>

#include <functional>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::ProcessEvents;
using test::ProjectFixture;
using test::ReadFile;
using test::WriteFile;
using Shown = test::FakeDialogs::Shown;

class Escape : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(project / "RCobDef.xml", R"(<COBID><row CobID="0x181" Dimensin="8" Mnemonic=""/></COBID>)");
        WriteFile(project / "RInfoCob.xml", R"(<RInfoCob><row Index="5" NrPdo="1" PosComp="0"/></RInfoCob>)");
    }

    // Shows `dialog`, makes it active and presses Escape where the keyboard
    // focus is, as the user would.
    static void Open(QDialog* dialog) {
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    }
    static void PressEscape() {
        QWidget* target = QApplication::focusWidget();
        ASSERT_TRUE(target);
        QTest::keyClick(target, Qt::Key_Escape);
        ProcessEvents();
    }

    // Each window is given the project's folders, as the main window does before a showing.
    Escape() {
        pargen.SetPaths(project.paths);
        frames.SetPaths(project.paths);
        mapping.SetPaths(project.paths);
    }

    ProjectFixture project;
    TFpargen pargen{project.dialogs};
    TFpdoMB_2 frames{project.dialogs};
    TFInfopdoMB mapping{project.dialogs};
};

TEST_F(Escape, EveryEditorCancelsButAsksFirstWhenSomethingWasChanged) {
    struct Editor {
        QDialog* dialog;
        std::function<void()> change;
        std::function<bool()> stillChanged;
    };
    const Editor editors[] = {
        {&pargen, [&] { pargen.E_TO_Data->setText("42"); }, [&] { return pargen.E_TO_Data->text() == "42"; }},
        {&frames,
         [&] {
             // Typed into a cell and confirmed; the keyboard stays in the table.
             frames.sgA->setFocus();
             frames.sgA->setCurrentCell(0, 2);
             QTest::keyClicks(frames.sgA, "4");
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
             ProcessEvents();
         },
         [&] { return frames.Cell(1, 2) == "4"; }},
        {&mapping,
         [&] {
             mapping.LB_Cob->setCurrentRow(0);
             mapping.E_Index->setText("6");
             mapping.BtnNew->click();
             mapping.E_Index->setFocus();
         },
         [&] { return mapping.Frames().at(0).Registers.size() == 2; }},
        // An Index typed but not yet taken by New or Modify.
        {&mapping,
         [&] {
             mapping.LB_Cob->setCurrentRow(0);
             mapping.E_Index->setFocus();
             QTest::keyClicks(mapping.E_Index, "77");
         },
         [&] { return mapping.E_Index->text() == "77"; }},
    };
    const std::vector<std::string> filesBefore{ReadFile(project / "RCobDef.xml"), ReadFile(project / "RInfoCob.xml")};

    for (const Editor& editor : editors) {
        const std::string name = editor.dialog->objectName().toStdString();
        SCOPED_TRACE(name);
        project.dialogs.shown.clear();

        // Nothing changed: Escape is Cancel.
        Open(editor.dialog);
        PressEscape();
        EXPECT_FALSE(editor.dialog->isVisible());
        EXPECT_EQ(editor.dialog->result(), QDialog::Rejected);
        EXPECT_TRUE(project.dialogs.shown.empty());

        // Changed: No keeps the dialog and the change.
        Open(editor.dialog);
        editor.change();
        ASSERT_TRUE(editor.stillChanged());
        project.dialogs.answers = {Answer::No};
        PressEscape();
        const std::string question = "Close \"" + editor.dialog->windowTitle().toStdString() +
                                     "\" without saving? What was changed since it opened would be lost.";
        EXPECT_EQ(project.dialogs.shown, (std::vector<Shown>{{Shown::QuestionDefaultNo, question}}));
        EXPECT_TRUE(editor.dialog->isVisible());
        EXPECT_TRUE(editor.stillChanged());

        // Yes closes without writing anything.
        project.dialogs.answers = {Answer::Yes};
        PressEscape();
        EXPECT_FALSE(editor.dialog->isVisible());
        EXPECT_EQ(editor.dialog->result(), QDialog::Rejected);
    }
    EXPECT_FALSE(fs::exists(project / "pargen.xml"));
    EXPECT_EQ(ReadFile(project / "RCobDef.xml"), filesBefore[0]);
    EXPECT_EQ(ReadFile(project / "RInfoCob.xml"), filesBefore[1]);
}

}  // namespace
}  // namespace vestrel
