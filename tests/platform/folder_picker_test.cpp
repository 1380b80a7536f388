#include "platform/qt/folder_picker_dialog.h"
#include "platform/qt/qt_user_dialogs.h"

#include "support/modal_answer.h"
#include "support/temp_dir.h"

#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::ModalAnswer;
using test::TempDir;

std::string S(const fs::path& path) { return path.string(); }

class FolderPickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root / "Site" / "Line2");
        fs::create_directories(root / "Plant1");
        fs::create_directories(tmp / "Outside");
    }
    TempDir tmp;
    fs::path root = tmp / "PROJECTS";
};

TEST_F(FolderPickerTest, ShowsOnlyTheRootAndWhatIsBelowIt) {
    FolderPickerDialog picker("Select directory of project", S(root), "");
    QTreeWidget* tree = picker.Tree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* top = tree->topLevelItem(0);
    EXPECT_TRUE(top->isExpanded());
    ASSERT_EQ(top->childCount(), 2);
    EXPECT_EQ(top->child(0)->text(0), "Plant1");
    EXPECT_EQ(top->child(1)->text(0), "Site");
    // Without a folder to preselect nothing is chosen, and OK waits.
    EXPECT_EQ(picker.SelectedFolder(), "");
    EXPECT_FALSE(picker.OkButton()->isEnabled());

    // A folder outside the root cannot be selected.
    EXPECT_FALSE(picker.SelectFolder(S(tmp / "Outside")));
    EXPECT_FALSE(picker.SelectFolder(S(tmp.path())));
    EXPECT_EQ(picker.SelectedFolder(), "");
    EXPECT_TRUE(picker.SelectFolder(S(root)));
    EXPECT_EQ(picker.SelectedFolder(), S(root));
    EXPECT_TRUE(picker.OkButton()->isEnabled());
}

TEST_F(FolderPickerTest, PreselectsANestedFolderAndOpensTheWayToIt) {
    FolderPickerDialog picker("t", S(root), S(root / "Site" / "Line2") + "/");
    EXPECT_EQ(picker.SelectedFolder(), S(root / "Site" / "Line2"));
    QTreeWidgetItem* site = picker.Tree()->topLevelItem(0)->child(1);
    EXPECT_TRUE(site->isExpanded());
    EXPECT_EQ(site->child(0)->text(0), "Line2");

    // A preselection outside the root selects nothing.
    FolderPickerDialog outside("t", S(root), S(tmp / "Outside"));
    EXPECT_EQ(outside.SelectedFolder(), "");
}

TEST_F(FolderPickerTest, WithoutRootTheWholeFileSystemIsOffered) {
    FolderPickerDialog picker("t", "", S(root / "Plant1"));
    ASSERT_GE(picker.Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(picker.SelectedFolder(), S(root / "Plant1"));
}

TEST_F(FolderPickerTest, TheQtPickerAnswersFolderChooser) {
    QtUserDialogs dialogs;
    std::string folder = (root / "Plant1").string();
    {
        ModalAnswer<FolderPickerDialog> answer([&](FolderPickerDialog* picker) {
            EXPECT_EQ(picker->windowTitle(), "Select directory of project");
            EXPECT_EQ(picker->SelectedFolder(), S(root / "Plant1"));
            EXPECT_TRUE(picker->SelectFolder(S(root / "Site" / "Line2")));
            picker->accept();
        });
        EXPECT_TRUE(FolderChooser(dialogs, "Select directory of project", root.string(), folder));
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_EQ(folder, (root / "Site" / "Line2").string());

    {
        ModalAnswer<FolderPickerDialog> answer([&](FolderPickerDialog* picker) {
            picker->SelectFolder(S(root / "Plant1"));
            picker->reject();
        });
        EXPECT_FALSE(FolderChooser(dialogs, "Select directory of project", root.string(), folder));
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_EQ(folder, (root / "Site" / "Line2").string()) << "Cancel keeps the folder";
}

// "Open project" after the open project's folder was deleted: the picker
// opens with nothing chosen and OK waits; a choice is then taken.
TEST_F(FolderPickerTest, AVanishedProjectFolderPreselectsNothing) {
    QtUserDialogs dialogs;
    std::string folder = S(root / "Deleted");
    ModalAnswer<FolderPickerDialog> answer([&](FolderPickerDialog* picker) {
        EXPECT_EQ(picker->SelectedFolder(), "");
        EXPECT_TRUE(picker->Tree()->selectedItems().isEmpty());
        EXPECT_FALSE(picker->OkButton()->isEnabled());
        QTest::keyClick(picker, Qt::Key_Return);  // OK waits for a choice
        EXPECT_TRUE(picker->isVisible());
        picker->Tree()->setCurrentItem(picker->Tree()->topLevelItem(0)->child(0));
        EXPECT_TRUE(picker->OkButton()->isEnabled());
        picker->OkButton()->click();
    });
    EXPECT_TRUE(FolderChooser(dialogs, "Select directory of project", S(root), folder));
    EXPECT_TRUE(answer.Answered());
    EXPECT_EQ(folder, S(root / "Plant1"));
}

// A folder whose name is not valid UTF-8 is listed, can be chosen and comes
// back byte for byte.
TEST_F(FolderPickerTest, FoldersWhoseNamesAreNotUtf8AreListedAndCanBeChosen) {
    const fs::path odd = root / "Caf\xe9";
    const fs::path nested = odd / "Line\xff" "2";
    fs::create_directories(nested);

    FolderPickerDialog picker("t", S(root), S(nested));
    EXPECT_EQ(picker.SelectedFolder(), S(nested));
    QTreeWidgetItem* top = picker.Tree()->topLevelItem(0);
    ASSERT_EQ(top->childCount(), 3);
    EXPECT_EQ(top->child(0)->text(0), QString("Caf") + QChar(QChar::ReplacementCharacter));
    ASSERT_EQ(top->child(0)->childCount(), 1);
    EXPECT_TRUE(top->child(0)->child(0)->isSelected());

    QtUserDialogs dialogs;
    std::string folder = S(root);
    ModalAnswer<FolderPickerDialog> answer([&](FolderPickerDialog* shown) {
        shown->Tree()->setCurrentItem(shown->Tree()->topLevelItem(0)->child(0));
        shown->OkButton()->click();
    });
    EXPECT_TRUE(FolderChooser(dialogs, "Select directory of project", S(root), folder));
    EXPECT_TRUE(answer.Answered());
    EXPECT_EQ(folder, S(odd));
}

}  // namespace
}  // namespace vestrel
