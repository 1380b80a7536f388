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

}  // namespace
}  // namespace vestrel
