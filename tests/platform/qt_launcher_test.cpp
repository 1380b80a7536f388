#include "platform/qt/qt_user_dialogs.h"

#include "support/file_written.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

const fs::path kExamples = VESTREL_EXAMPLES_DIR;

TEST(QtProcessLauncher, StartsTheProgramWithItsArgumentsInTheGivenFolder) {
    TempDir dir;
    fs::create_directory(dir / "MASTER");
    const fs::path script = dir / "probe";
    test::WriteFile(script, "#!/bin/sh\nprintf '%s|%s|%s|%s\\n' \"$PWD\" \"$#\" \"$1\" \"$2\" > \"$(dirname \"$0\")/out.txt\"\n");
    fs::permissions(script, fs::perms::owner_all);

    QtProcessLauncher launcher;
    const std::string image = (dir / "PROJECTS" / "My Plant" / "New_SX58316.sx").string();
    test::FileWritten written(dir.path(), "out.txt");
    ASSERT_TRUE(launcher.StartDetached(script.string(), {image, "7"}, (dir / "MASTER").string()));
    ASSERT_TRUE(written.Wait()) << "the program wrote nothing";
    EXPECT_EQ(test::ReadFile(dir / "out.txt"), (dir / "MASTER").string() + "|2|" + image + "|7\n");

    EXPECT_FALSE(launcher.StartDetached((dir / "missing").string(), {}, dir.path().string()));
}

TEST(QtProcessLauncher, TheDemoFlasherReportsWhatItWasAskedToFlash) {
    TempDir dir;
    fs::copy_file(kExamples / "workspace" / "FwLoader", dir / "FwLoader");
    const fs::path image = kExamples / "workspace" / "MASTER" / "SX58316.sx";
    QtProcessLauncher launcher;
    test::FileWritten written(dir.path(), "FwLoader.log");
    ASSERT_TRUE(launcher.StartDetached((dir / "FwLoader").string(), {image.string(), "7"}, dir.path().string()));
    ASSERT_TRUE(written.Wait()) << "the flasher wrote no log";
    const std::string log = test::ReadFile(dir / "FwLoader.log");
    EXPECT_NE(log.find("COM8 (index 7)"), std::string::npos) << log;
    EXPECT_NE(log.find("bank 1: 512 records, 0 holding configuration"), std::string::npos) << log;
}

}  // namespace
}  // namespace vestrel
