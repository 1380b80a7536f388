#pragma once

#include <QSize>

#include <functional>

class QWidget;

namespace vestrel {

class UserDialogs;

// Holds the wait cursor while a command keeps the thread busy.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Places a window in the middle of its screen.
void CenterOnScreen(QWidget* window);

// Keeps a resizable window within the available area of its screen: a
// window larger than that area shrinks to it, frame included, and moves
// inside it. Its layout must allow that (a scroll area around content that
// would not fit). Windows call it when they are shown.
void FitToScreen(QWidget* window);

// Gives a window with a layout the fixed size it was designed with, or more
// where its layout needs more room to show every caption whole (large text
// sizes); again whenever its font or style changes.
void FixSizeForText(QWidget* window, QSize designed);

// Lays out an editor window: its tab page above a bottom bar holding OK and
// Cancel, and, a little apart, Export and Import, and under it a status
// line if given (what Export wrote). The editors of frames and of mappings share
// it, so that both bars stand alike.
void LayOutEditor(QWidget* window, QWidget* page, QWidget* ok, QWidget* cancel, QWidget* exportButton,
                  QWidget* importButton, QWidget* status = nullptr);

// Runs a command behind a button. A failure it did not expect (a file the
// platform refused, an exception from below) ends the command with its text
// in an error box; the application carries on. Returns false then.
bool RunCommand(UserDialogs& dialogs, const std::function<void()>& command);

}  // namespace vestrel
