#include "app/new_project_dialog.h"

#include "workspace/workspace.h"
#include "support/fake_dialogs.h"
#include "support/temp_dir.h"

#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::FakeDialogs;
using test::TempDir;
using Shown = FakeDialogs::Shown;

class NewProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(app / "ws");
        workspace.StartWorkspace((app / "ws").string(), Failure{"no per-user folder"});
        dialog.SetDestination(workspace.ProjectsDir());
    }
    void TearDown() override { dialog.hide(); }

    // Shows the dialog, types `name` and presses OK.
    void Submit(const std::string& name) {
        if (!dialog.isVisible()) dialog.show();
        dialog.ProjectNameEdit()->setText(QString::fromStdString(name));
        dialog.OkButton()->click();
    }

    TempDir app;
    Workspace workspace;
    FakeDialogs dialogs;
    TFsaveproj dialog{workspace, dialogs};
};

TEST_F(NewProjectTest, CreatesTheFolderWithBinAndOpensIt) {
    Submit("Plant1");
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.Texts().front();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const fs::path dir = fs::path(workspace.ProjectsDir()) / "Plant1";
    EXPECT_TRUE(fs::is_directory(dir / "bin"));
    EXPECT_EQ(workspace.ProjectName(), "/Plant1");
    EXPECT_EQ(workspace.ProjectDir(), dir.string());
    EXPECT_EQ(workspace.Files().pargen, (dir / "pargen.xml").string());
    // No project file is written: only bin is there.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // The next showing starts with an empty field.
    dialog.show();
    EXPECT_EQ(dialog.ProjectNameEdit()->text(), "");
    EXPECT_EQ(dialog.windowTitle(), "New project");
}

TEST_F(NewProjectTest, RefusalsKeepTheDialogOpenAndCancelChangesNothing) {
    fs::create_directory(fs::path(workspace.ProjectsDir()) / "Existing");
    const std::string projectDirBefore = workspace.ProjectDir();

    Submit("");
    Submit("Existing");
    EXPECT_EQ(dialogs.shown, (std::vector<Shown>{
                                 {Shown::Message, "Name project not valid"},
                                 {Shown::Message, "Name project not valid because directory already exists"},
                             }));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.ProjectNameEdit()->text(), "Existing") << "the typed name stays to be corrected";
    EXPECT_FALSE(fs::exists(fs::path(workspace.ProjectsDir()) / "Existing" / "bin"));

    dialog.CancelButton()->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(workspace.ProjectDir(), projectDirBefore);
    EXPECT_EQ(workspace.ProjectName(), "");
}

TEST_F(NewProjectTest, NamesThatLeaveProjectsAreRefused) {
    const fs::path outside = app / "ws" / "Outside";
    for (const std::string& name : {(app / "Abs").string(), std::string(".."), std::string("../Outside"),
                                   std::string("Site/../../Outside"), std::string("..\\Outside")}) {
        dialogs.shown.clear();
        Submit(name);
        EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Name project not valid"}) << name;
        EXPECT_TRUE(dialog.isVisible()) << name;
    }
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_FALSE(fs::exists(app / "Abs"));
    EXPECT_FALSE(fs::exists(app / "ws" / "..\\Outside"));
    EXPECT_EQ(workspace.ProjectName(), "");

    // A name that goes down and stays inside is a nested project.
    fs::create_directory(fs::path(workspace.ProjectsDir()) / "Site");
    dialogs.shown.clear();
    Submit("Site/Line2");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(workspace.ProjectName(), "/Site/Line2");
    EXPECT_TRUE(fs::is_directory(fs::path(workspace.ProjectsDir()) / "Site" / "Line2" / "bin"));
}

// A control character could not be remembered for the next start.
TEST_F(NewProjectTest, NamesWithControlCharactersAreRefused) {
    for (const std::string& name : {std::string("Plant\n1"), std::string("Plant\t1"), std::string("Plant\x7f")}) {
        dialogs.shown.clear();
        Submit(name);
        EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Name project not valid"});
        EXPECT_FALSE(fs::exists(fs::path(workspace.ProjectsDir()) / name));
    }
    // Blanks at the end are fine.
    dialogs.shown.clear();
    Submit("Plant1 ");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(workspace.ProjectName(), "/Plant1 ");
}

TEST_F(NewProjectTest, WithoutDestinationBothMessagesAppear) {
    dialog.SetDestination("");
    Submit("");
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"directory destination not valid", "Name project not valid"}));
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(NewProjectTest, AFolderThatCannotBeCreatedIsRefusedSilently) {
    // Its parent folder does not exist.
    Submit("Missing/Child");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(workspace.ProjectName(), "");
}

TEST(ProjectNameInside, AcceptsOnlyRelativeNamesWithoutParentSegments) {
    EXPECT_TRUE(IsProjectNameInside("Plant1"));
    EXPECT_TRUE(IsProjectNameInside("Plant..1"));
    EXPECT_TRUE(IsProjectNameInside("Site/Line2"));
    EXPECT_FALSE(IsProjectNameInside(""));
    EXPECT_FALSE(IsProjectNameInside("/etc"));
    EXPECT_FALSE(IsProjectNameInside("a/.."));
    EXPECT_FALSE(IsProjectNameInside("a\\..\\..\\b"));
}

}  // namespace
}  // namespace vestrel
