#pragma once

#include "platform/workspace_paths.h"
#include "platform/user_dialogs.h"
#include "project/frame_table.h"

#include <QDialog>
#include <QString>

#include <filesystem>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;
class QTabWidget;

namespace vestrel {

// The frame table editor: RCobDef.xml (EditorMode 1) or TCobDef.xml (any
// other mode) as a table of MaxFrameRows rows, checked against the project's
// CAN mode and written on OK. TFpdoMB_2 and TFpdoMB are its two windows.
class TFrameTableEditor : public QDialog {
    Q_OBJECT

public:
    // The folders to work in; the main window sets them right before each
    // showing, so that they are always those of the open project.
    void SetPaths(const WorkspacePaths& paths) { paths_ = paths; }
    // 1 receive, anything else transmit; the main window sets it before
    // each showing.
    int EditorMode;
    void SetEditorMode(int mode) { EditorMode = mode; }

    // Reloads the whole table; runs on each showing.
    void FormShow();
    // "OK": check, write, close.
    void BitBtn1Click();
    // Every column the same width after a maximize or restore.
    void FormResize();
    // "Export": rpdodef.csv in the project folder; the bar says which file.
    void BtnExportClick();
    // "Import": the table from the rpdodef sheet of an .xls, .xlsx or .ods
    // workbook, or from an rpdodef CSV. Those give CobID and Dimension only:
    // before names or RTR bits the table holds are cleared, it asks.
    void BtnImportClick();

    // The text of a cell; rows count from 1, column 0 is "N".
    QString Cell(int row, int column) const;
    void SetCell(int row, int column, const QString& text);
    // The columns of the current showing.
    int CobIdColumn() const { return 1; }
    int DimensionColumn() const { return 2; }
    int RtrColumn() const;  // -1 for the receive table
    int MnemonicColumn() const;

    QTabWidget* PageControl;
    QTableWidget* sgA;
    QPushButton* BitBtn1;    // "OK"
    QPushButton* BitBtn2;    // "Cancel"
    QPushButton* BtnExport;  // "Export"
    QPushButton* BtnImport;  // "Import"
    QLabel* LbExported;      // the file Export wrote

protected:
    TFrameTableEditor(UserDialogs& dialogs, int editorMode,
                      QWidget* parent);

    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetUpColumns(FrameDirection direction);
    // Widens the columns whose heading the current font does not fit.
    void FitHeadings();
    void ClearCells();
    void FillRows(const std::vector<FrameRow>& rows);
    void CommitEdit();
    // The frames from row 1 down to the row before the first empty CobID.
    FrameTable TableFromGrid() const;
    // True when no row below `table`'s frames holds anything, or the user
    // agrees to lose those rows; otherwise the table's end is selected.
    bool ConfirmRowsLeftOut(const FrameTable& table);
    // What an import would clear that the table holds: "the Mnemonic of 3
    // frames and the RTR Bit of 1 frame"; empty when nothing.
    std::string ClearedByImport() const;
    // Every text cell, row by row; and whether any differs from the showing's start.
    std::vector<QString> CellTexts() const;
    bool HasChanges() const;

    WorkspacePaths paths_;
    UserDialogs& dialogs_;
    std::filesystem::path projectDir_;
    FrameDirection direction_;
    CanMode canMode_ = CanMode::Can20A;
    // Asked before OK replaces a frame file that the table does not hold
    // whole; empty when it holds all of it.
    std::string replaceQuestion_;
    std::vector<QString> shownCells_;
    bool resizePending_ = false;
};

// The transmit frames, TCobDef.xml.
class TFpdoMB : public TFrameTableEditor {
    Q_OBJECT

public:
    TFpdoMB(UserDialogs& dialogs, QWidget* parent = nullptr);
};

// The receive frames, RCobDef.xml.
class TFpdoMB_2 : public TFrameTableEditor {
    Q_OBJECT

public:
    TFpdoMB_2(UserDialogs& dialogs, QWidget* parent = nullptr);
};

}  // namespace vestrel
