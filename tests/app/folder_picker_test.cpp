#include "platform/qt/folder_picker_dialog.h"
#include "platform/qt/qt_user_dialogs.h"

#include "modal_answer.h"
#include "support/temp_dir.h"

#include <QTreeWidget>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::ModalAnswer;
using test::TempDir;

QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }

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
    FolderPickerDialog picker("Select directory of project", Q(root), "");
    QTreeWidget* tree = picker.Tree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* top = tree->topLevelItem(0);
    EXPECT_TRUE(top->isExpanded());
    ASSERT_EQ(top->childCount(), 2);
    EXPECT_EQ(top->child(0)->text(0), "Plant1");
    EXPECT_EQ(top->child(1)->text(0), "Site");
    // Without a folder to preselect the root is chosen.
    EXPECT_EQ(picker.SelectedFolder(), Q(root));

    // A folder outside the root cannot be selected.
    EXPECT_FALSE(picker.SelectFolder(Q(tmp / "Outside")));
    EXPECT_FALSE(picker.SelectFolder(Q(tmp.path())));
    EXPECT_EQ(picker.SelectedFolder(), Q(root));
}

TEST_F(FolderPickerTest, PreselectsANestedFolderAndOpensTheWayToIt) {
    FolderPickerDialog picker("t", Q(root), Q(root / "Site" / "Line2") + "/");
    EXPECT_EQ(picker.SelectedFolder(), Q(root / "Site" / "Line2"));
    QTreeWidgetItem* site = picker.Tree()->topLevelItem(0)->child(1);
    EXPECT_TRUE(site->isExpanded());
    EXPECT_EQ(site->child(0)->text(0), "Line2");

    // A preselection outside the root falls back to the root.
    FolderPickerDialog outside("t", Q(root), Q(tmp / "Outside"));
    EXPECT_EQ(outside.SelectedFolder(), Q(root));
}

TEST_F(FolderPickerTest, WithoutRootTheWholeFileSystemIsOffered) {
    FolderPickerDialog picker("t", "", Q(root / "Plant1"));
    ASSERT_GE(picker.Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(picker.SelectedFolder(), Q(root / "Plant1"));
}

TEST_F(FolderPickerTest, TheQtPickerAnswersFolderChooser) {
    QtUserDialogs dialogs;
    std::string folder = (root / "Plant1").string();
    {
        ModalAnswer<FolderPickerDialog> answer([&](FolderPickerDialog* picker) {
            EXPECT_EQ(picker->windowTitle(), "Select directory of project");
            EXPECT_EQ(picker->SelectedFolder(), Q(root / "Plant1"));
            EXPECT_TRUE(picker->SelectFolder(Q(root / "Site" / "Line2")));
            picker->accept();
        });
        EXPECT_TRUE(FolderChooser(dialogs, "Select directory of project", root.string(), folder));
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_EQ(folder, (root / "Site" / "Line2").string());

    {
        ModalAnswer<FolderPickerDialog> answer([&](FolderPickerDialog* picker) {
            picker->SelectFolder(Q(root / "Plant1"));
            picker->reject();
        });
        EXPECT_FALSE(FolderChooser(dialogs, "Select directory of project", root.string(), folder));
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_EQ(folder, (root / "Site" / "Line2").string()) << "Cancel keeps the folder";
}

}  // namespace
}  // namespace vestrel
