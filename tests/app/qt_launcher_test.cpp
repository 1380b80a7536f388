#include "platform/qt/qt_user_dialogs.h"

#include "support/temp_dir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

const fs::path kExamples = VESTREL_EXAMPLES_DIR;

// Waits up to five seconds for a file that a detached program writes.
std::string WaitForFile(const fs::path& path, const std::string& ending) {
    QElapsedTimer clock;
    clock.start();
    std::string text;
    while (clock.elapsed() < 5000) {
        text = test::ReadFile(path);
        if (text.size() >= ending.size() && text.compare(text.size() - ending.size(), ending.size(), ending) == 0)
            return text;
        QThread::msleep(10);
    }
    return text;
}

TEST(QtProcessLauncher, StartsTheProgramWithItsArgumentsInTheGivenFolder) {
    TempDir dir;
    fs::create_directory(dir / "MASTER");
    const fs::path script = dir / "probe";
    test::WriteFile(script, "#!/bin/sh\nprintf '%s|%s|%s|%s\\n' \"$PWD\" \"$#\" \"$1\" \"$2\" > \"$(dirname \"$0\")/out.txt\"\n");
    fs::permissions(script, fs::perms::owner_all);

    QtProcessLauncher launcher;
    const std::string image = (dir / "PROJECTS" / "My Plant" / "New_SX58316.sx").string();
    ASSERT_TRUE(launcher.StartDetached(script.string(), {image, "7"}, (dir / "MASTER").string()));
    EXPECT_EQ(WaitForFile(dir / "out.txt", "\n"), (dir / "MASTER").string() + "|2|" + image + "|7\n");

    EXPECT_FALSE(launcher.StartDetached((dir / "missing").string(), {}, dir.path().string()));
}

TEST(QtProcessLauncher, TheDemoFlasherReportsWhatItWasAskedToFlash) {
    TempDir dir;
    fs::copy_file(kExamples / "workspace" / "FwLoader", dir / "FwLoader");
    const fs::path image = kExamples / "workspace" / "MASTER" / "SX58316.sx";
    QtProcessLauncher launcher;
    ASSERT_TRUE(launcher.StartDetached((dir / "FwLoader").string(), {image.string(), "7"}, dir.path().string()));
    const std::string log = WaitForFile(dir / "FwLoader.log", "ends with an S9 record\n");
    EXPECT_NE(log.find("COM8 (index 7)"), std::string::npos) << log;
    EXPECT_NE(log.find("bank 1: 512 records, 0 holding configuration"), std::string::npos) << log;
}

}  // namespace
}  // namespace vestrel
