#include "platform/qt/window_util.h"

#include "platform/user_dialogs.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLayout>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
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

void FitToScreen(QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    // The window manager's frame: known once the window has been shown with
    // one, else a title bar and borders of a usual size.
    QSize frame = window->frameGeometry().size() - window->geometry().size();
    if (frame.width() <= 0 && frame.height() <= 0) frame = QSize(8, 32);
    const QSize room = (area.size() - frame).expandedTo(QSize(1, 1));
    const QSize size = window->size().boundedTo(room);
    if (size != window->size()) window->resize(size);
    QRect placed(window->frameGeometry().topLeft(), size + frame);
    if (!area.contains(placed)) {
        placed.moveLeft(std::clamp(placed.left(), area.left(), std::max(area.left(), area.right() + 1 - placed.width())));
        placed.moveTop(std::clamp(placed.top(), area.top(), std::max(area.top(), area.bottom() + 1 - placed.height())));
        window->move(placed.topLeft());
    }
}

namespace {

void ApplyFixedSize(QWidget* window, QSize designed) {
    QSize size = designed;
    if (QLayout* layout = window->layout()) {
        layout->invalidate();
        size = size.expandedTo(layout->totalSizeHint());
    }
    window->setFixedSize(size);
}

// Sizes its window again after a change of font or style, once the layout
// has taken the new text sizes.
class TextSizeWatcher : public QObject {
public:
    TextSizeWatcher(QWidget* window, QSize designed) : QObject(window), window_(window), designed_(designed) {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
            QTimer::singleShot(0, this, [this] { ApplyFixedSize(window_, designed_); });
        return false;
    }

private:
    QWidget* window_;
    QSize designed_;
};

}  // namespace

void FixSizeForText(QWidget* window, QSize designed) {
    ApplyFixedSize(window, designed);
    new TextSizeWatcher(window, designed);
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

void LayOutEditor(QWidget* window, QWidget* page, QWidget* ok, QWidget* cancel, QWidget* exportButton,
                  QWidget* importButton, QWidget* status) {
    auto* bar = new QHBoxLayout;
    bar->addWidget(ok);
    bar->addWidget(cancel);
    bar->addSpacing(24);
    bar->addWidget(exportButton);
    bar->addWidget(importButton);
    bar->addStretch();
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(page);
    layout->addLayout(bar);
    if (status) layout->addWidget(status);
}

}  // namespace vestrel
