#include "app/new_project_dialog.h"

#include "platform/qt/window_util.h"
#include "workspace/workspace.h"
#include "platform/file_util.h"
#include "platform/user_dialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

namespace vestrel {

namespace fs = std::filesystem;

TFsaveproj::TFsaveproj(Workspace& workspace, UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), workspace_(workspace), dialogs_(dialogs) {
    setObjectName("TFsaveproj");
    setWindowTitle("New project");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    Label1 = new QLabel("Project name", this);
    Label1->setObjectName("Label1");
    E_ProjectName = new QLineEdit(this);
    E_ProjectName->setObjectName("E_ProjectName");
    Label1->setBuddy(E_ProjectName);
    BtOK = new QPushButton("OK", this);
    BtOK->setObjectName("BtOK");
    BtOK->setDefault(true);
    BtCancel = new QPushButton("Cancel", this);
    BtCancel->setObjectName("BtCancel");
    BtCancel->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(E_ProjectName);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtOK);
    buttons->addWidget(BtCancel);
    layout->addLayout(buttons);
    FixSizeForText(this, QSize(319, 91));

    connect(BtOK, &QPushButton::clicked, this, [this] { BtOKClick(); });
    connect(BtCancel, &QPushButton::clicked, this, [this] { BtCancelClick(); });
}

void TFsaveproj::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TFsaveproj::FormShow() {
    setWindowTitle("New project");
    E_ProjectName->clear();
    projectName_.clear();
    Label1->setVisible(true);
    CenterOnScreen(this);
    E_ProjectName->setFocus();
}

void TFsaveproj::BtOKClick() {
    closePermission_ = true;
    projectName_ = E_ProjectName->text().toStdString();
    if (destination_.empty()) {
        dialogs_.ShowMessage("directory destination not valid");
        closePermission_ = false;
    }
    // An absolute name or one that climbs with ".." would put the project
    // outside PROJECTS, where "Open project" cannot reach it; a control
    // character could not be remembered for the next start.
    if (!IsProjectNameUsable(projectName_)) {
        dialogs_.ShowMessage("Name project not valid");
        closePermission_ = false;
    }
    if (closePermission_) {
        std::string dir = destination_ + kPathSeparator + projectName_;
        std::error_code ec;
        if (fs::exists(fs::symlink_status(dir, ec))) {
            dialogs_.ShowMessage("Name project not valid because directory already exists");
            closePermission_ = false;
        } else if (!fs::create_directory(dir, ec) || ec) {
            // A name the file system refuses stays in the field to be corrected.
            closePermission_ = false;
        } else {
            fs::create_directories(fs::path(dir) / "bin", ec);
            workspace_.SetProject(std::string(1, kPathSeparator) + projectName_);
            closePermission_ = true;
        }
    }
    if (closePermission_) accept();
}

void TFsaveproj::BtCancelClick() {
    closePermission_ = true;
    reject();
}

}  // namespace vestrel
