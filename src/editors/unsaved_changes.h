#pragma once

#include "platform/user_dialogs.h"

#include <QDialog>
#include <QKeyEvent>
#include <QKeySequence>
#include <QString>

#include <string>

namespace vestrel {

// Escape in an editor is Cancel; when the user has changed what the editor
// shows, Cancel by Escape asks first, with No the default, so that a stray
// key never throws typed values away. This is that question.
inline std::string DiscardQuestion(const QString& windowTitle) {
    return "Close \"" + windowTitle.toStdString() +
           "\" without saving? What was changed since it opened would be lost.";
}

inline bool IsCancelKey(const QKeyEvent* event) {
    return event->key() == Qt::Key_Escape || event->matches(QKeySequence::Cancel);
}

// An editor's keyPressEvent starts here: Escape cancels `dialog`, after the
// question above when `changed` says the user changed something. True when
// the key was Escape and is dealt with.
template <typename Changed>
bool CancelOnEscape(QDialog* dialog, QKeyEvent* event, UserDialogs& dialogs, Changed changed) {
    if (!IsCancelKey(event)) return false;
    event->accept();
    if (changed() && dialogs.ConfirmDefaultNo(DiscardQuestion(dialog->windowTitle())) != Answer::Yes) return true;
    dialog->reject();
    return true;
}

}  // namespace vestrel
