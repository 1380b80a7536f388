#pragma once

#include "workspace/workspace.h"
#include "compiler/bank_builder.h"
#include "platform/file_set.h"

#include <QWidget>

#include <string>

class QLabel;
class QLayout;
class QPushButton;
class QToolButton;

namespace vestrel {

class ClickLabel;
class ProcessLauncher;
class TFAbout;
class TFImportSignals;
class TFInfopdoMB;
class TFModifyFileSx;
class TFPreview;
class TFRegisterMap;
class TFpargen;
class TFpdoMB;
class TFpdoMB_2;
class TFsaveproj;
class UserDialogs;
namespace live {
class TFBench;
}

// The main window: five steps from creating or opening a project to "Update
// Device". It owns the workspace and the configuration compiler for the whole
// run, and the dialogs it opens. Closing it, by its "X" button or any other
// way, writes the open project to the INI file and ends the application.
inline constexpr const char* kProjectHasErrors = "The project cannot be compiled as it stands:";
inline constexpr const char* kProjectHasWarnings =
    "The project compiles, but these points are probably not what you meant. Continue with the update?";

class TFVestreleFirmWare : public QWidget {
    Q_OBJECT

public:
    // Starts the workspace of `appDir` (see Workspace::StartWorkspace; Error
    // when there is none), then creates the dialogs once each.
    TFVestreleFirmWare(UserDialogs& dialogs, ProcessLauncher& launcher, const std::string& appDir,
                       const Result<std::string>& userRoot, QWidget* parent = nullptr);
    ~TFVestreleFirmWare() override;

    // Step 1.
    void BtNewProjectClick();
    void BtOpenProjectClick();
    // Steps 2 to 4: each checks the project guard, then shows its editor.
    void BtSetCommunicationClick();
    void BtReceiveCobClick();
    void BtDefineRxCobClick();
    void BtTransmitCobClick();
    void BtDefineTxCobClick();
    // Step 5.
    void BtUpdateDeviceClick();
    // Beside step 5: what the gateway does with the open project.
    void BtPreviewClick();
    void BtRegisterMapClick();
    // A flashed gateway on the bench, live against the open project.
    void BtBenchClick();
    // A CAN database's signals into the open project's frames and mappings.
    void BtImportSignalsClick();
    void BtAboutClick();
    void BtCloseClick();
    void LbWebClick();

    // Checks the open project (errors stop it; warnings ask whether to go
    // on), compiles it into its bin folder, then shows the firmware dialog; a
    // compile error ends it with its message.
    void UpdateDevice();

    const Workspace& GetWorkspace() const { return workspace_; }
    Workspace& GetWorkspace() { return workspace_; }
    TFsaveproj* NewProjectDialog() const { return saveproj_; }
    TFAbout* AboutBox() const { return about_; }
    TFModifyFileSx* FirmwareDialog() const { return modifyFileSx_; }
    TFpargen* CommunicationDialog() const { return pargen_; }
    TFpdoMB_2* ReceiveFramesEditor() const { return pdoMB_2_; }
    TFPreview* PreviewWindow() const { return preview_; }
    TFRegisterMap* RegisterMapWindow() const { return registerMap_; }
    live::TFBench* BenchWindow() const { return bench_; }
    TFImportSignals* ImportSignalsWindow() const { return importSignals_; }
    TFpdoMB* TransmitFramesEditor() const { return pdoMB_; }
    TFInfopdoMB* MappingEditor() const { return infopdoMB_; }
    // True once the window has been closed (and the INI file written).
    bool IsClosed() const { return closed_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildHeading();
    void BuildStepButtons();
    QLayout* LayOutHeading();
    QLayout* LayOutSteps();
    void ConnectButtons();
    // The project guard, then the window on the open project's folders; an
    // editor in the mode its step edits.
    template <typename Window>
    void ShowOnProject(Window* window);
    template <typename Editor>
    void ShowEditor(Editor* editor, int mode);
    // The project guard of the step commands: "Project not valid" when no
    // project folder is set; then the folder is settled (a set of project
    // files that a killed run left half in place is finished, saying so, or
    // the command stops with the reason).
    bool PassesProjectGuard();
    // The project check of "Update Device": true when the update may go on.
    bool CheckBeforeUpdate();
    void ShowTitle();

    UserDialogs& dialogs_;
    ProcessLauncher& launcher_;
    ScopedSetNotices setNotices_;  // what settling a project folder did, in a message
    Workspace workspace_;
    BankCompiler compiler_;
    bool closed_ = false;

    TFsaveproj* saveproj_ = nullptr;
    TFAbout* about_ = nullptr;
    TFModifyFileSx* modifyFileSx_ = nullptr;
    TFpargen* pargen_ = nullptr;
    TFpdoMB* pdoMB_ = nullptr;
    TFInfopdoMB* infopdoMB_ = nullptr;
    TFpdoMB_2* pdoMB_2_ = nullptr;
    TFPreview* preview_ = nullptr;
    TFRegisterMap* registerMap_ = nullptr;
    live::TFBench* bench_ = nullptr;
    TFImportSignals* importSignals_ = nullptr;

    QLabel* LbLogo;
    QLabel* LbTitle;
    QLabel* LbProject;
    QPushButton* BtAbout;
    QToolButton* BtClose;
    QPushButton* BtNewProject;
    QPushButton* BtOpenProject;
    QPushButton* BtSetCommunication;
    QPushButton* BtReceiveCob;
    QPushButton* BtDefineRxCob;
    QPushButton* BtTransmitCob;
    QPushButton* BtDefineTxCob;
    QPushButton* BtUpdateDevice;
    QPushButton* BtPreview;
    QPushButton* BtRegisterMap;
    QPushButton* BtBench;
    QPushButton* BtImportSignals;
    // Service editor buttons: present, hidden, without effect.
    QPushButton* BtSetTransmitPdo;
    QPushButton* BtSetSdoAccess;
    QPushButton* BtDefineEmcyWord;
    QPushButton* BtSetTranslateEmcy;
    ClickLabel* LbWeb;
};

}  // namespace vestrel
