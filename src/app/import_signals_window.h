#pragma once

#include "signaldb/project_tables.h"
#include "signaldb/register_plan.h"
#include "signaldb/signal_database.h"
#include "signaldb/signal_import.h"

#include <QDialog>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QSpinBox;
class QStandardItem;
class QStandardItemModel;
class QTreeView;

namespace vestrel {

class UserDialogs;

// "Import signals...": a CAN database's messages and signals, what the
// gateway's registers make of each, and the registers the import would
// assign to what is ticked. Import writes the project's frames, mappings and
// signals.xml as one set, as `vestrel-cli import-signals` does, and says what
// it wrote; "Remove ticked" takes ticked signals that were imported out
// again, as `vestrel-cli remove-signals` does. The window belongs to one
// project at a time: its title names it, and another project starts it
// empty. No button is the default, so that Return imports nothing.
class TFImportSignals : public QDialog {
    Q_OBJECT

public:
    // Tree columns.
    enum Column { ColName, ColBits, ColScaling, ColUnit, ColFit, ColDirection, ColRegister, ColumnCount };
    // A message's or signal's name cell holds its index in the database in
    // this role, a message's direction cell its FrameDirection in the next.
    static constexpr int IndexRole = Qt::UserRole + 1;
    static constexpr int DirectionRole = Qt::UserRole + 2;

    TFImportSignals(UserDialogs& dialogs, QWidget* parent = nullptr);

    // The project the import goes into; reads its tables again. Another
    // project than the last clears the database, the ticks and the typed
    // registers.
    void SetProjectDir(const std::filesystem::path& projectDir);
    // Reads the database file (as the file field and node id say).
    void LoadDatabase(const std::filesystem::path& file);

    // What the ticks, directions, typed registers and options ask for.
    signaldb::ImportRequest CurrentRequest() const;
    // The imported messages and signals ticked, as remove-signals names them.
    std::vector<std::string> TickedImported() const;
    // True when something was written.
    bool Imported() const { return imported_; }

    // Handlers.
    void BtBrowseClick();
    void BtImportClick();
    void BtRemoveClick();
    void E_SearchChange(const QString& text);
    void CB_WordOrderChange();
    void SE_NodeChange();
    void SE_FirstRegisterChange();
    void CB_NodeCobIdsChange();
    void ModelItemChange(QStandardItem* item);
    void TV_SignalsClick(const QModelIndex& index);

    QStandardItemModel* Model() const { return model_; }
    QSortFilterProxyModel* Proxy() const { return proxy_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void LayOut();
    void Connect();
    void BuildTree();
    void FillTree();
    void FillPlanTexts();
    // Works the import out on the project as read (nothing written) and
    // shows the registers it would assign, or why it refuses.
    void DryRun();
    void ShowStatus(const std::string& text);
    void Clear();
    // "RCobDef.xml, RInfoCob.xml and signals.xml": what a write of `tables` puts in place.
    static std::string WrittenFiles(const signaldb::ProjectTables& tables);

    UserDialogs& dialogs_;
    std::filesystem::path projectDir_;
    std::filesystem::path file_;
    std::string bytes_;
    std::optional<signaldb::Database> database_;
    std::optional<signaldb::ProjectTables> tables_;
    signaldb::DatabasePlan plan_;
    bool filling_ = false;
    bool imported_ = false;

    QLineEdit* E_File;
    QPushButton* BtBrowse;
    QSpinBox* SE_Node;
    QComboBox* CB_WordOrder;
    QSpinBox* SE_FirstRegister;
    QSpinBox* SE_FirstTransmitRegister;
    QCheckBox* CB_NodeCobIds;
    QLineEdit* E_Search;
    QTreeView* TV_Signals;
    QLabel* LbStatus;
    QPushButton* BtImport;
    QPushButton* BtRemove;
    QPushButton* BtCancel;
    QStandardItemModel* model_;
    QSortFilterProxyModel* proxy_;
};

}  // namespace vestrel
