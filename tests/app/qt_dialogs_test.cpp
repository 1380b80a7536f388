// The Qt message boxes behind UserDialogs, answered through their own keys
// and buttons.
#include "platform/qt/qt_user_dialogs.h"

#include "modal_answer.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace vestrel {
namespace {

using test::ModalAnswer;

// A question before something is lost: Return and Escape both keep things
// as they are; only an explicit Yes agrees.
TEST(QtUserDialogs, AQuestionBeforeALossDefaultsToNo) {
    QtUserDialogs dialogs;
    const std::string text = "Replace RCobDef.xml with the rows shown?";
    struct Case {
        const char* name;
        std::function<void(QMessageBox*)> answer;
        Answer expected;
    };
    const Case cases[] = {
        {"Return", [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }, Answer::No},
        {"Escape", [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }, Answer::No},
        {"Yes", [](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); }, Answer::Yes},
    };
    for (const Case& c : cases) {
        ModalAnswer<QMessageBox> answer([&](QMessageBox* box) {
            EXPECT_EQ(box->text().toStdString(), text);
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No)) << c.name;
            c.answer(box);
        });
        EXPECT_EQ(dialogs.ConfirmDefaultNo(text), c.expected) << c.name;
        EXPECT_TRUE(answer.Answered()) << c.name;
    }
}

}  // namespace
}  // namespace vestrel
