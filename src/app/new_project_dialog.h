#pragma once

#include "workspace/workspace.h"

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vestrel {

class UserDialogs;

// "New project": creates an empty project folder with its bin folder under
// the destination (PROJECTS) and makes it the open project. It writes no
// project file.
class TFsaveproj : public QDialog {
    Q_OBJECT

public:
    TFsaveproj(Workspace& workspace, UserDialogs& dialogs, QWidget* parent = nullptr);

    // Set by the caller before each showing.
    void SetDestination(const std::string& dir) { destination_ = dir; }
    const std::string& Destination() const { return destination_; }

    void FormShow();
    void BtOKClick();
    void BtCancelClick();

    QLineEdit* ProjectNameEdit() const { return E_ProjectName; }
    QPushButton* OkButton() const { return BtOK; }
    QPushButton* CancelButton() const { return BtCancel; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    Workspace& workspace_;
    UserDialogs& dialogs_;
    std::string destination_;
    std::string projectName_;
    bool closePermission_ = true;

    QLabel* Label1;
    QLineEdit* E_ProjectName;
    QPushButton* BtOK;
    QPushButton* BtCancel;
};

}  // namespace vestrel
