#pragma once

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

}  // namespace vestrel
