// The Qt message boxes behind UserDialogs, answered through their own keys
// and buttons.
#include "platform/qt/qt_user_dialogs.h"

#include "support/modal_answer.h"

#include <QAbstractButton>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
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

// The project check's report: every line is read whole in the box, long
// ones wrapped, without a sideways scroll bar.
TEST(QtUserDialogs, TheReportWrapsItsLines) {
    QtUserDialogs dialogs;
    const std::string longLine =
        "RCobDef.xml, row 12: the CobID 0x181 is also the CobID of row 3; the gateway answers the first of them "
        "only, so the registers mapped to row 12 in RInfoCob.xml are never updated from the bus";
    ModalAnswer<QDialog> answer([&](QDialog* box) {
        auto* text = box->findChild<QPlainTextEdit*>("ReportText");
        ASSERT_TRUE(text);
        QApplication::processEvents();
        EXPECT_EQ(text->toPlainText().toStdString(), longLine + "\nsecond line");
        EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        EXPECT_EQ(text->horizontalScrollBar()->maximum(), 0) << "the user would scroll sideways";
        // The long line takes more than one line on the screen.
        const QTextBlock first = text->document()->firstBlock();
        EXPECT_GT(first.layout()->lineCount(), 1);
        box->reject();
    });
    EXPECT_FALSE(dialogs.ShowReport("The project cannot be compiled as it stands:", longLine + "\nsecond line\n",
                                    false));
    EXPECT_TRUE(answer.Answered());
}

// What a file holds reaches a box escaped: a control character or a byte
// that is not UTF-8 shows as \xHH; line breaks stay.
TEST(QtUserDialogs, BoxesShowControlCharactersEscaped) {
    QtUserDialogs dialogs;
    ModalAnswer<QMessageBox> answer([](QMessageBox* box) {
        EXPECT_EQ(box->text(), QString("row 2 has no \"CobID\"\n<row Cob\\x1B[2J\\xE9>"));
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(dialogs.ConfirmDefaultNo("row 2 has no \"CobID\"\r\n<row Cob\x1b[2J\xe9>"), Answer::No);
    EXPECT_TRUE(answer.Answered());
}

}  // namespace
}  // namespace vestrel
