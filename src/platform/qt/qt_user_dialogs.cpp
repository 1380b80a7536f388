#include "platform/qt/qt_user_dialogs.h"

#include "platform/qt/folder_picker_dialog.h"
#include "platform/printable_text.h"
#include "platform/qt/qt_paths.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace vestrel {

QWidget* DialogOwner() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return QApplication::activeWindow();
}

namespace {

// What a box shows: nothing a file holds (a control character, a byte that
// is not UTF-8) reaches the user unescaped; line breaks stay.
QString BoxText(const std::string& text) { return ToQText(PrintableText(text, LineBreaks::Keep)); }

void ShowBox(QMessageBox::Icon icon, const std::string& text) {
    QMessageBox box(icon, QApplication::applicationName(), BoxText(text), QMessageBox::Ok, DialogOwner());
    box.exec();
}

}  // namespace

void QtUserDialogs::ShowMessage(const std::string& text) { ShowBox(QMessageBox::NoIcon, text); }

void QtUserDialogs::ShowError(const std::string& text) { ShowBox(QMessageBox::Critical, text); }

Answer QtUserDialogs::Confirm(const std::string& text, bool withCancel) {
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (withCancel) buttons |= QMessageBox::Cancel;
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), BoxText(text), buttons, DialogOwner());
    box.setEscapeButton(withCancel ? QMessageBox::Cancel : QMessageBox::No);
    switch (box.exec()) {
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        default: return withCancel ? Answer::Cancel : Answer::No;
    }
}

Answer QtUserDialogs::ConfirmDefaultNo(const std::string& text) {
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), BoxText(text),
                    QMessageBox::Yes | QMessageBox::No, DialogOwner());
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

bool QtUserDialogs::ShowReport(const std::string& heading, const std::string& text, bool offerContinue) {
    QDialog box(DialogOwner());
    box.setObjectName("ReportBox");
    box.setWindowTitle(QApplication::applicationName());
    auto* label = new QLabel(BoxText(heading), &box);
    label->setWordWrap(true);
    auto* lines = new QPlainTextEdit(BoxText(text), &box);
    lines->setObjectName("ReportText");
    lines->setReadOnly(true);
    // Long lines wrap at the box's width: the user reads each one whole
    // without scrolling sideways.
    lines->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    lines->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    auto* buttons = new QDialogButtonBox(&box);
    if (offerContinue) {
        buttons->addButton("Continue", QDialogButtonBox::AcceptRole);
        // Cancel is the default: going on with a doubtful project takes a deliberate click.
        buttons->addButton(QDialogButtonBox::Cancel)->setDefault(true);
    } else {
        buttons->addButton(QDialogButtonBox::Ok);
    }
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(label);
    layout->addWidget(lines, 1);
    layout->addWidget(buttons);
    box.resize(720, 320);
    const bool accepted = box.exec() == QDialog::Accepted;
    return offerContinue && accepted;
}

std::optional<std::string> QtUserDialogs::OpenFile(const std::string& title, const std::vector<std::string>& filters,
                                                   const std::string& initialDir) {
    QStringList filterList;
    for (const std::string& f : filters) filterList << ToQText(f);
    QString chosen =
        QFileDialog::getOpenFileName(DialogOwner(), ToQText(title), ToQPath(initialDir), filterList.join(";;"));
    if (chosen.isEmpty()) return std::nullopt;
    return FromQPath(chosen);
}

std::optional<std::string> QtUserDialogs::PickFolder(const std::string& title, const std::string& root,
                                                     const std::string& preselected) {
    FolderPickerDialog picker(ToQText(title), root, preselected, DialogOwner());
    if (picker.exec() != QDialog::Accepted) return std::nullopt;
    std::string folder = picker.SelectedFolder();
    if (folder.empty()) return std::nullopt;
    return folder;
}

bool QtProcessLauncher::StartDetached(const std::string& program, const std::vector<std::string>& arguments,
                                      const std::string& workingDir) {
    QProcess process;
    process.setProgram(ToQPath(program));
    QStringList args;
    for (const std::string& a : arguments) args << QString::fromLocal8Bit(a.c_str());
    process.setArguments(args);
    if (!workingDir.empty()) process.setWorkingDirectory(ToQPath(workingDir));
    return process.startDetached();
}

void QtProcessLauncher::OpenUrl(const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

}  // namespace vestrel
