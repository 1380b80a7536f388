// Firmware Vestrel: sets the application name, creates the main window (which
// starts the workspace and creates every dialog once) and runs the event loop
// until the window's "X" button closes it.
#include "app/main_window.h"
#include "platform/printable_text.h"
#include "platform/stop_signals.h"
#include "platform/qt/qt_user_dialogs.h"
#include "workspace/workspace.h"

#include <QApplication>

#include <cstdlib>
#include <iostream>

namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Qt ends the program with a hint to reinstall it when its platform finds no
// display; say what is missing instead, and what works without one. A
// platform named in QT_QPA_PLATFORM (offscreen, say) is left to Qt.
bool NoDisplay() { return !IsSet("QT_QPA_PLATFORM") && !IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY"); }

}  // namespace

int main(int argc, char** argv) {
    if (NoDisplay()) {
        std::cerr << "vestrel: no display found (DISPLAY and WAYLAND_DISPLAY are not set), so there is no window to "
                     "open.\nvestrel-cli does the same work without windows: \"vestrel-cli update PROJECT_DIR "
                     "BASE_IMAGE\" is Update Device, \"vestrel-cli workspace\" names the workspace, and "
                     "\"vestrel-cli --help\" has the rest.\n";
        return 1;
    }
    const std::string appDir = vestrel::ExecutableDir();
    const vestrel::Result<std::string> userRoot = vestrel::UserWorkspaceRoot();
    if (vestrel::Result<std::string> root = vestrel::WorkspaceRootFor(appDir, userRoot); !root) {
        std::cerr << vestrel::PrintableText("vestrel: " + root.Why(), vestrel::LineBreaks::OneLine) << '\n';
        return 1;
    }
    // A save beyond the file-size limit then fails with a message, as on a
    // full disk, instead of ending the application.
    vestrel::IgnoreFileSizeLimitSignal();
    QApplication app(argc, argv);
    QApplication::setApplicationName(vestrel::kProduct.applicationName);

    vestrel::QtUserDialogs dialogs;
    vestrel::QtProcessLauncher launcher;
    vestrel::TFVestreleFirmWare window(dialogs, launcher, appDir, userRoot);
    window.show();
    return app.exec();
}
