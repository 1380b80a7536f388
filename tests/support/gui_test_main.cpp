// main() of the GUI test programs: widgets need a QApplication, and without
// a display it must use the offscreen platform. Without a login session (CI,
// the build listing the tests) Qt gets a private runtime folder of its own.
#include <QApplication>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        const std::string dir =
            (std::filesystem::temp_directory_path() / ("vestrel-runtime-" + std::to_string(::getuid()))).string();
        ::mkdir(dir.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
