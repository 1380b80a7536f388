#pragma once

#include "platform/workspace_paths.h"

#include "compare/update_changes.h"
#include "firmware/bank_merge.h"

#include <QDialog>

#include <array>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace vestrel {

class ProcessLauncher;
class UserDialogs;

// The base image in MASTER and the flasher beside the executable.
inline constexpr const char* kBaseFirmwareName = "SX58316.sx";
#ifdef _WIN32
inline constexpr const char* kFlasherFileName = "FwLoader.exe";
#else
inline constexpr const char* kFlasherFileName = "FwLoader";
#endif

// "Generate Firmware": splices the project's banks 1 and 2 into the base
// image (New_SX58316.sx in the project folder) and starts the flasher with
// that image and the chosen port. The flasher is started only when this run
// of the merge spliced in every selected bank and reached the end record, so
// a stale or unconfigured image is never flashed.
class TFModifyFileSx : public QDialog {
    Q_OBJECT

public:
    // The folders to work in; the main window sets them right before each
    // showing, so that they are always those of the open project.
    void SetPaths(const WorkspacePaths& paths) { paths_ = paths; }
    TFModifyFileSx(UserDialogs& dialogs, ProcessLauncher& launcher,
                   QWidget* parent = nullptr);

    // Prepares the dialog each time it is shown.
    void FormShow();
    // "Execute update firmware": the merge, then the flasher.
    void LbButton2Click();
    void LbButton1Click();
    // The merge run with the dialog's state.
    void ExeModFileSxClick();
    // The flasher launch.
    void ExeUpdateFirClick();
    // Handlers of the controls that are present but hidden.
    void OptionsClick();
    void OpenFileClick();
    void DirFileBinClick();
    void NewFileSxChange();
    // "Show changes...": the list of what the image about to be written
    // changes against the one in the project folder.
    void ShowChangesClick();

    QComboBox* Port() const { return cbport; }
    QPushButton* ExecuteButton() const { return LbButton2; }
    QToolButton* CloseButton() const { return LbButton1; }
    QProgressBar* Progress() const { return Avanzamento; }
    QLabel* ChangesLabel() const { return Label4; }
    QPushButton* ChangesButton() const { return ShowChanges; }
    const compare::UpdateChanges& Changes() const { return changes_; }
    QCheckBox* BankBox(int bank) const { return Cbbank[static_cast<std::size_t>(bank - 1)]; }
    // True when the last run found bank `bank`'s address range missing.
    bool BankNotFound(int bank) const;

    const std::string& FileSx() const { return fileSx_; }
    const std::string& DirBin() const { return dirBin_; }
    const std::string& DirOut() const { return dirOut_; }
    const std::string& NewFileName() const { return newFileName_; }
    std::array<bool, 5> BankSelection() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildShownControls();
    void BuildHiddenControls();
    void LayOutControls();
    void ConnectControls();
    void SetBankNotFound(int bank, bool notFound);
    void PlaceAboveMiddle();
    // Compares the image about to be written with the one in the project
    // folder and shows the count.
    void ShowUpdateChanges();
    void ClearUpdateChanges();

    WorkspacePaths paths_;
    UserDialogs& dialogs_;
    ProcessLauncher& launcher_;

    std::string fileSx_;
    std::string baseDir_;   // where FileSx is read from: MASTER, or the folder OpenFile chose
    std::string baseFile_;  // FileSx as it is spelled on disk
    std::string dirBin_;
    std::string dirOut_;
    std::string newFileName_;
    // Whether the last merge run of this showing may be flashed, and if not,
    // what to tell the user (empty when the merge has told already).
    bool lastRunComplete_ = false;
    std::string refusal_;
    compare::UpdateChanges changes_;

    QLabel* Label1;
    QComboBox* cbport;
    QPushButton* LbButton2;
    QProgressBar* Avanzamento;
    QToolButton* LbButton1;
    // What the update changes: the count, and the list a click away.
    QLabel* Label4;
    QPushButton* ShowChanges;
    // Present but hidden.
    QPushButton* OpenFile;
    QLabel* Label3;
    QLineEdit* NewFileSx;
    QPushButton* Options;
    QGroupBox* GbBank;
    std::array<QCheckBox*, 5> Cbbank{};
    QPushButton* DirFileBin;
    QPushButton* ExeModFileSx;
    QPushButton* ExeUpdateFir;
};

}  // namespace vestrel
