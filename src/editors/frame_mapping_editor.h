#pragma once

#include "platform/workspace_paths.h"
#include "platform/user_dialogs.h"
#include "project/frame_mapping.h"

#include <QDialog>
#include <QGroupBox>
#include <QString>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

class QButtonGroup;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace vestrel {

// "Selected Frame Byte": nine exclusive items, "none" and "B1" to "B8"; the
// selected item's position is one nibble of PosComp.
class TRadioGroup : public QGroupBox {
public:
    TRadioGroup(const QString& byteLabel, QWidget* parent);

    int ItemIndex() const;
    // Positions past the last item select the last one, "B8".
    void SetItemIndex(int index);
    QRadioButton* Item(int index) const;

    static constexpr int kItems = 9;

private:
    void TakeTabFocus(int chosen);

    QButtonGroup* group_;
};

// Correlates Modbus registers with the data bytes of the direction's frames
// and writes RInfoCob.xml or TInfoCob.xml on OK.
class TFInfopdoMB : public QDialog {
    Q_OBJECT

public:
    // The folders to work in; the main window sets them right before each
    // showing, so that they are always those of the open project.
    void SetPaths(const WorkspacePaths& paths) { paths_ = paths; }
    TFInfopdoMB(UserDialogs& dialogs, QWidget* parent = nullptr);

    // 1 receive, anything else transmit; set before each showing.
    int EditorMode = 1;
    void SetEditorMode(int mode) { EditorMode = mode; }

    // Reloads the frames and their registers; runs on each showing.
    void FormShow();
    // A frame or a register chosen in its list.
    void LB_CobClick();
    void LB_IndMBClick();
    // Whether `text` may become a register number: integer text, and no
    // other register (but `excluded`) has the same value. Shows why not.
    bool CheckRegisterIndex(const std::string& text, const TClIndMB* excluded);
    void BtnNewClick();
    void BtnModifyClick();
    void BtnDeleteClick();
    void BtnCopyClick();
    void BtnPasteClick();
    // "OK": write the mapping file, close.
    void BitBtn1Click();
    // "Export" and "Import": the direction's mapping CSV.
    void BtnExportClick();
    void BtnImportClick();

    const FrameList& Frames() const { return frames_; }

    // Survives between showings and across both modes.
    std::string CopiedIndex;
    std::string CopiedPosComp;

    QTabWidget* PageControl;
    QListWidget* LB_IndMB;  // "MODBUS": the selected frame's registers
    QListWidget* LB_Cob;    // "COB-ID Frame": the frames
    QLineEdit* E_Index;     // "Index MODBUS"
    TRadioGroup* RG_High;
    TRadioGroup* RG_Low;
    QPushButton* BtnDelete;
    QPushButton* BtnNew;
    QPushButton* BtnModify;
    QPushButton* BtnCopy;
    QPushButton* BtnPaste;
    QPushButton* BitBtn1;  // "OK"
    QPushButton* BitBtn2;  // "Cancel"
    QPushButton* BtnExport;
    QPushButton* BtnImport;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls(QWidget* page);
    void LayOutPage(QWidget* page);
    void ConnectLists();
    void ConnectButtons();
    // The frame or register list's current entry chosen once more.
    void ChooseCurrentAgain(QListWidget* list);
    // The registers of each frame; and whether they differ from the showing's
    // start, or an Index or byte is chosen that New or Modify has not taken.
    std::vector<std::vector<TClIndMB>> RegisterSets() const;
    bool HasChanges() const;
    // The Index field and the groups as the window last set them or a
    // register took them: what is not typed or chosen since.
    void TakeEditFields();
    TClPdo* SelectedFrame();
    TClIndMB* SelectedRegister();
    std::string PosCompFromGroups() const;
    // Lists the selected frame's registers as "Ind MB 0", "Ind MB 1", ...
    void FillRegisterList();
    void SelectRegisterEntry(int row);
    // The questions OK asks before it replaces a mapping file that was not
    // read whole or whose registers name frames no longer listed.
    void PrepareReplaceQuestions(bool framesIncomplete, bool mappingsIncomplete);

    WorkspacePaths paths_;
    UserDialogs& dialogs_;
    std::filesystem::path projectDir_;
    FrameDirection direction_ = FrameDirection::Receive;
    FrameList frames_;
    std::vector<std::string> replaceQuestions_;
    std::vector<std::vector<TClIndMB>> shownRegisters_;
    std::pair<QString, std::string> takenFields_;  // the Index field's text and PosComp
    // The current row of the list clicked last, when the button went down.
    int rowAtPress_ = -1;
};

}  // namespace vestrel
