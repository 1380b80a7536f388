#include "platform/user_dialogs.h"

#include "support/fake_dialogs.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::FakeDialogs;
using test::TempDir;

TEST(FolderChooser, AVanishedFolderIsEmptiedBeforeThePickerOpens) {
    TempDir root;
    FakeDialogs dialogs;
    std::string folder = (root / "deleted").string();
    dialogs.folders.push_back(std::nullopt);
    EXPECT_FALSE(FolderChooser(dialogs, "Select directory of project", root.path().string(), folder));
    EXPECT_EQ(folder, "");
    ASSERT_EQ(dialogs.folderRequests.size(), 1u);
    EXPECT_EQ(dialogs.folderRequests[0].preselected, "");
    EXPECT_EQ(dialogs.folderRequests[0].root, root.path().string());
    EXPECT_EQ(dialogs.folderRequests[0].title, "Select directory of project");
}

TEST(FolderChooser, CancelKeepsAnExistingFolderAndConfirmationTakesTheChoice) {
    TempDir root;
    std::filesystem::create_directories(root / "Site" / "Line2");
    FakeDialogs dialogs;
    std::string folder = (root / "Site").string();
    dialogs.folders.push_back(std::nullopt);
    EXPECT_FALSE(FolderChooser(dialogs, "t", root.path().string(), folder));
    EXPECT_EQ(folder, (root / "Site").string());
    EXPECT_EQ(dialogs.folderRequests[0].preselected, (root / "Site").string());

    dialogs.folders.push_back((root / "Site" / "Line2").string() + "/");
    EXPECT_TRUE(FolderChooser(dialogs, "t", root.path().string(), folder));
    EXPECT_EQ(folder, (root / "Site" / "Line2").string()) << "no trailing separator";
}

// PROJECTS itself is gone: that is said, and no picker opens on nothing.
TEST(FolderChooser, ARootThatIsGoneIsReported) {
    TempDir dir;
    FakeDialogs dialogs;
    const std::string root = (dir / "PROJECTS").string();
    std::string folder = root + "/Plant1";
    EXPECT_FALSE(FolderChooser(dialogs, "Select directory of project", root, folder));
    EXPECT_EQ(folder, "");
    EXPECT_TRUE(dialogs.folderRequests.empty());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0],
              (FakeDialogs::Shown{FakeDialogs::Shown::Error,
                                  "The folder \"" + root + "\" does not exist, so no folder can be chosen in it."}));
}

}  // namespace
}  // namespace vestrel
