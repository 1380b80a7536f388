#include "platform/qt/window_util.h"

#include "platform/user_dialogs.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <exception>

namespace vestrel {

WaitCursor::WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
WaitCursor::~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }

void CenterOnScreen(QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect area = screen->availableGeometry();
    QSize size = window->frameGeometry().size();
    window->move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

bool RunCommand(UserDialogs& dialogs, const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const std::exception& e) {
        dialogs.ShowError(e.what());
        return false;
    }
}

}  // namespace vestrel
