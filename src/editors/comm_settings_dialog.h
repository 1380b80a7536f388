#pragma once

#include "platform/workspace_paths.h"
#include "platform/user_dialogs.h"
#include "project/comm_parameters.h"

#include <QDialog>

#include <QString>

#include <filesystem>
#include <utility>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace vestrel {

// "SET COMMUNICATION": shows pargen.xml and writes it back on OK. The one
// dialog object is reused for every showing; its controls keep what they
// hold until a readable file replaces it.
class TFpargen : public QDialog {
    Q_OBJECT

public:
    // The folders to work in; the main window sets them right before each
    // showing, so that they are always those of the open project.
    void SetPaths(const WorkspacePaths& paths) { paths_ = paths; }
    TFpargen(UserDialogs& dialogs, QWidget* parent = nullptr);

    // Loads the controls from the project's pargen.xml; runs on each showing.
    void FormShow();
    // The time-out and register checks; false after showing the error.
    bool Controllo_Dati();
    // "OK": check, write, close.
    void BitBtn1Click();

    // " CAN Bus "
    QComboBox* CB_BR_CAN;
    QRadioButton* RB_CAN_A;
    QRadioButton* RB_CAN_B;
    QLineEdit* E_TO_Data;
    QLineEdit* E_TO_MR;
    // " Serial "
    QRadioButton* RB_RS232;
    QRadioButton* RB_RS485;
    QComboBox* CB_BR_RTU;
    QComboBox* CB_PAR_RTU;
    QLineEdit* E_ID_RTU;
    QLineEdit* E_TIME_RTU;  // never shown; carries TimeOut_Ser through
    QCheckBox* CB_Can_Data;
    QCheckBox* CB_C_D_Inp_Reg;
    // "OK" and "Cancel"
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QGroupBox* BuildCanGroup();
    QGroupBox* BuildSerialGroup();
    QLayout* BuildButtons();
    // What the controls show, to tell whether the user changed anything.
    std::pair<CommParameters, QString> ShownSettings() const;
    void LoadControls(const CommParameters& parameters);
    CommParameters ParametersFromControls() const;
    void SyncTypedCanRate();

    WorkspacePaths paths_;
    UserDialogs& dialogs_;
    std::filesystem::path projectDir_;
    // Asked before OK replaces a pargen.xml that could not be read; empty
    // when there is nothing to lose.
    std::string replaceQuestion_;
    std::pair<CommParameters, QString> shownSettings_;
};

}  // namespace vestrel
