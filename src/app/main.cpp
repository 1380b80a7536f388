// Firmware Vestrel: sets the application name, creates the main window (which
// starts the workspace beside the executable and creates every dialog once)
// and runs the event loop until the window's "X" button closes it.
#include "app/main_window.h"
#include "app/workspace.h"
#include "platform/qt/qt_user_dialogs.h"

#include <QApplication>

#include <csignal>

int main(int argc, char** argv) {
    // A save beyond the file-size limit then fails with a message, as on a
    // full disk, instead of ending the application.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(vestrel::kProduct.applicationName);

    vestrel::QtUserDialogs dialogs;
    vestrel::QtProcessLauncher launcher;
    vestrel::TFVestreleFirmWare window(dialogs, launcher, vestrel::ExecutableDir(), vestrel::UserWorkspaceRoot());
    window.show();
    return app.exec();
}
