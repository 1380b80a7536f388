#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace vestrel::test {

// Closes every modal window that is open, innermost first.
inline void CloseAllModals() {
    for (int guard = 0; guard < 20; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        QApplication::processEvents();
    }
}

// Answers the next modal dialog of type T that a command opens with exec():
// polls the event loop every few milliseconds and runs `action` on the dialog
// once. Any modal window still open after `timeoutMs` is closed and the test
// fails, so a broken test fails instead of hanging.
template <class T>
class ModalAnswer {
public:
    explicit ModalAnswer(std::function<void(T*)> action, int timeoutMs = 10000)
        : action_(std::move(action)), timeoutMs_(timeoutMs) {
        clock_.start();
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    ~ModalAnswer() { timer_.stop(); }
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;

    bool Answered() const { return answered_; }

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!answered_) {
            if (auto* dialog = qobject_cast<T*>(modal); dialog && dialog->isVisible()) {
                answered_ = true;
                action_(dialog);
                return;
            }
        }
        if (modal && clock_.elapsed() > timeoutMs_) {
            ADD_FAILURE() << "a modal window stayed open: " << modal->objectName().toStdString();
            CloseAllModals();
        }
    }

    std::function<void(T*)> action_;
    int timeoutMs_;
    bool answered_ = false;
    QTimer timer_;
    QElapsedTimer clock_;
};

// Fails the test when any modal dialog opens while it exists, and closes it.
class NoModalExpected {
public:
    NoModalExpected()
        : answer_([](QDialog* dialog) {
              ADD_FAILURE() << "unexpected modal window: " << dialog->objectName().toStdString();
              dialog->reject();
          }) {}

private:
    ModalAnswer<QDialog> answer_;
};

}  // namespace vestrel::test
