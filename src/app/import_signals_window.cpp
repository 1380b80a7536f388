#include "app/import_signals_window.h"

#include "platform/error.h"
#include "platform/folder_lock.h"
#include "platform/printable_text.h"
#include "platform/qt/qt_paths.h"
#include "platform/qt/window_util.h"
#include "platform/user_dialogs.h"
#include "project/integer_text.h"
#include "signaldb/database_file.h"
#include "signaldb/physical_value.h"
#include "signaldb/signal_file.h"
#include "signaldb/signal_listing.h"
#include "signaldb/signal_removal.h"
#include "platform/text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace vestrel {

namespace {

using namespace signaldb;

constexpr int kIndexRole = TFImportSignals::IndexRole;
constexpr int kDirectionRole = TFImportSignals::DirectionRole;
constexpr int kTypedRole = Qt::UserRole + 3;      // register cell: the register the user typed

QString Shown(const std::string& text) { return QString::fromStdString(PrintableText(text, LineBreaks::OneLine)); }

QStandardItem* Cell(const std::string& text) {
    auto* item = new QStandardItem(Shown(text));
    item->setEditable(false);
    return item;
}

// Receive or transmit, picked from a list.
class DirectionDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
        auto* box = new QComboBox(parent);
        for (FrameDirection d : {FrameDirection::Receive, FrameDirection::Transmit})
            box->addItem(DirectionWord(d), static_cast<int>(d));
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* box = static_cast<QComboBox*>(editor);
        box->setCurrentIndex(box->findData(index.data(kDirectionRole)));
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        auto* box = static_cast<QComboBox*>(editor);
        model->setData(index, box->currentData(), kDirectionRole);
        model->setData(index, box->currentText(), Qt::DisplayRole);
    }
};

FrameDirection DirectionOf(const QStandardItem* directionCell) {
    return static_cast<FrameDirection>(directionCell->data(kDirectionRole).toInt());
}

std::string RegistersText(const std::vector<std::int32_t>& registers) {
    std::string text;
    for (std::int32_t r : registers) text += (text.empty() ? "" : ", ") + std::to_string(r);
    return text;
}

}  // namespace

TFImportSignals::TFImportSignals(UserDialogs& dialogs, QWidget* parent) : QDialog(parent), dialogs_(dialogs) {
    setObjectName("TFImportSignals");
    setWindowTitle("Import signals");
    BuildControls();
    resize(1100, 640);
}

// The tree of messages and signals behind the search box's filter.
void TFImportSignals::BuildTree() {
    model_ = new QStandardItemModel(0, ColumnCount, this);
    model_->setHorizontalHeaderLabels(
        {"Message / signal", "Id / bits", "Scaling", "Unit", "Import makes", "Direction", "Register"});
    proxy_ = new QSortFilterProxyModel(this);
    proxy_->setSourceModel(model_);
    proxy_->setRecursiveFilteringEnabled(true);
    proxy_->setAutoAcceptChildRows(true);
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy_->setFilterKeyColumn(ColName);
    TV_Signals = new QTreeView(this);
    TV_Signals->setObjectName("TV_Signals");
    TV_Signals->setModel(proxy_);
    TV_Signals->setItemDelegateForColumn(ColDirection, new DirectionDelegate(TV_Signals));
    TV_Signals->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                                QAbstractItemView::EditKeyPressed);
    TV_Signals->setUniformRowHeights(true);
    TV_Signals->header()->setStretchLastSection(false);
    TV_Signals->setColumnWidth(ColName, 230);
    TV_Signals->setColumnWidth(ColBits, 150);
    TV_Signals->setColumnWidth(ColScaling, 110);
    TV_Signals->setColumnWidth(ColUnit, 50);
    TV_Signals->setColumnWidth(ColFit, 330);
    TV_Signals->setColumnWidth(ColDirection, 80);
    TV_Signals->setColumnWidth(ColRegister, 80);
}

void TFImportSignals::BuildControls() {
    E_File = new QLineEdit(this);
    E_File->setObjectName("E_File");
    E_File->setReadOnly(true);
    BtBrowse = new QPushButton("Open...", this);
    BtBrowse->setObjectName("BtBrowse");
    BtBrowse->setAutoDefault(false);
    SE_Node = new QSpinBox(this);
    SE_Node->setObjectName("SE_Node");
    SE_Node->setRange(0, 127);
    SE_Node->setSpecialValueText("none");  // 0: no node id given
    SE_Node->setEnabled(false);
    CB_WordOrder = new QComboBox(this);
    CB_WordOrder->setObjectName("CB_WordOrder");
    for (WordOrder order : {WordOrder::HighFirst, WordOrder::LowFirst})
        CB_WordOrder->addItem(WordOrderText(order), static_cast<int>(order));
    SE_FirstRegister = new QSpinBox(this);
    SE_FirstRegister->setObjectName("SE_FirstRegister");
    SE_FirstRegister->setRange(-1, 65535);
    SE_FirstRegister->setSpecialValueText("after the last one used");  // -1
    SE_FirstRegister->setValue(-1);
    SE_FirstTransmitRegister = new QSpinBox(this);
    SE_FirstTransmitRegister->setObjectName("SE_FirstTransmitRegister");
    SE_FirstTransmitRegister->setRange(-1, 65535);
    SE_FirstTransmitRegister->setSpecialValueText("as the first register");  // -1
    SE_FirstTransmitRegister->setValue(-1);
    SE_FirstTransmitRegister->setToolTip("Where transmit registers are numbered from. A project without any "
                                         "numbers them from above its receive registers, so that no address is "
                                         "both read and written.");
    CB_NodeCobIds = new QCheckBox("COB-IDs from the node id", this);
    CB_NodeCobIds->setObjectName("CB_NodeCobIds");
    CB_NodeCobIds->setEnabled(false);
    CB_NodeCobIds->setToolTip("Take each PDO's COB-ID from its DefaultValue with the node id, over a "
                              "ParameterValue the file holds");
    E_Search = new QLineEdit(this);
    E_Search->setObjectName("E_Search");
    E_Search->setPlaceholderText("Search messages and signals");
    E_Search->setClearButtonEnabled(true);

    BuildTree();

    LbStatus = new QLabel(this);
    LbStatus->setObjectName("LbStatus");
    LbStatus->setWordWrap(true);
    LbStatus->setTextFormat(Qt::PlainText);
    BtImport = new QPushButton("Import", this);
    BtImport->setObjectName("BtImport");
    BtImport->setEnabled(false);
    BtRemove = new QPushButton("Remove ticked", this);
    BtRemove->setObjectName("BtRemove");
    BtRemove->setEnabled(false);
    BtRemove->setToolTip("Take the ticked signals that were imported out of the project again");
    BtCancel = new QPushButton("Close", this);
    BtCancel->setObjectName("BtCancel");
    // Return in the tree or a field must import nothing: no button is the default.
    for (QPushButton* b : {BtBrowse, BtImport, BtRemove, BtCancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    LayOut();
    Connect();
}

void TFImportSignals::LayOut() {
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(E_File, 1);
    fileRow->addWidget(BtBrowse);
    auto* options = new QHBoxLayout;
    options->addWidget(new QLabel("Node id (EDS/DCF):", this));
    options->addWidget(SE_Node);
    options->addWidget(CB_NodeCobIds);
    options->addSpacing(16);
    options->addWidget(new QLabel("Word order:", this));
    options->addWidget(CB_WordOrder);
    options->addSpacing(16);
    options->addWidget(new QLabel("First register:", this));
    options->addWidget(SE_FirstRegister);
    options->addWidget(new QLabel("transmit:", this));
    options->addWidget(SE_FirstTransmitRegister);
    options->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(LbStatus, 1);
    buttons->addWidget(BtImport, 0, Qt::AlignBottom);
    buttons->addWidget(BtRemove, 0, Qt::AlignBottom);
    buttons->addWidget(BtCancel, 0, Qt::AlignBottom);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow("Database:", fileRow);
    layout->addLayout(form);
    layout->addLayout(options);
    layout->addWidget(E_Search);
    layout->addWidget(TV_Signals, 1);
    layout->addLayout(buttons);
}

void TFImportSignals::Connect() {
    connect(BtBrowse, &QPushButton::clicked, this, [this] { BtBrowseClick(); });
    connect(BtImport, &QPushButton::clicked, this, [this] { BtImportClick(); });
    connect(BtRemove, &QPushButton::clicked, this, [this] { BtRemoveClick(); });
    connect(CB_NodeCobIds, &QCheckBox::toggled, this, [this] { CB_NodeCobIdsChange(); });
    connect(SE_FirstTransmitRegister, &QSpinBox::valueChanged, this, [this] { SE_FirstRegisterChange(); });
    connect(BtCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(E_Search, &QLineEdit::textChanged, this, [this](const QString& t) { E_SearchChange(t); });
    connect(CB_WordOrder, &QComboBox::currentIndexChanged, this, [this] { CB_WordOrderChange(); });
    connect(SE_Node, &QSpinBox::valueChanged, this, [this] { SE_NodeChange(); });
    connect(SE_FirstRegister, &QSpinBox::valueChanged, this, [this] { SE_FirstRegisterChange(); });
    connect(TV_Signals, &QTreeView::clicked, this, [this](const QModelIndex& i) { TV_SignalsClick(i); });
    connect(model_, &QStandardItemModel::itemChanged, this, [this](QStandardItem* i) { ModelItemChange(i); });
}

void TFImportSignals::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FitToScreen(this);
}

void TFImportSignals::SetProjectDir(const std::filesystem::path& projectDir) {
    // Another project starts from nothing: no database, no ticks, no typed
    // registers of the last one.
    if (projectDir != projectDir_) Clear();
    projectDir_ = projectDir;
    setWindowTitle(QString::fromStdString("Import signals into " +
                                          PrintableText(projectDir.filename().string(), LineBreaks::OneLine)));
    tables_.reset();
    try {
        tables_ = ReadProjectTables(projectDir_);
    } catch (const Error& e) {
        ShowStatus(e.what());
    }
    if (database_) {
        FillPlanTexts();
        DryRun();
    }
}

void TFImportSignals::Clear() {
    imported_ = false;
    database_.reset();
    file_.clear();
    bytes_.clear();
    E_File->clear();
    E_Search->clear();
    SE_FirstRegister->setValue(-1);
    SE_FirstTransmitRegister->setValue(-1);
    filling_ = true;
    model_->removeRows(0, model_->rowCount());
    filling_ = false;
    BtImport->setEnabled(false);
    BtRemove->setEnabled(false);
    ShowStatus("");
}

void TFImportSignals::BtBrowseClick() {
    const auto file = dialogs_.OpenFile("Open CAN database",
                                        {"CAN databases (" + ExtensionPatterns() + ")", "All files (*)"},
                                        projectDir_.parent_path().string());
    if (file) LoadDatabase(*file);
}

void TFImportSignals::LoadDatabase(const std::filesystem::path& file) {
    file_ = file;
    E_File->setText(ToQDisplayPath(file.string()));
    const DatabaseFormatInfo* format = FormatOfFileName(file);
    SE_Node->setEnabled(format && format->takesNodeId);
    CB_NodeCobIds->setEnabled(SE_Node->isEnabled());
    database_.reset();
    ShowStatus("");
    try {
        bytes_ = ReadDatabaseBytes(file);
        ReadOptions options;
        if (SE_Node->isEnabled() && SE_Node->value() > 0) options.nodeId = SE_Node->value();
        options.nodeIdCobIds = CB_NodeCobIds->isEnabled() && CB_NodeCobIds->isChecked();
        database_ = ParseDatabase(bytes_, file, options);
    } catch (const NodeIdNeeded& e) {
        ShowStatus(std::string(e.what()) + "\nGive the node id.");
    } catch (const Error& e) {
        ShowStatus(e.what());
    }
    FillTree();
    DryRun();
}

void TFImportSignals::FillTree() {
    filling_ = true;
    model_->removeRows(0, model_->rowCount());
    if (database_) {
        plan_ = PlanDatabase(*database_, tables_ ? std::optional(tables_->mode) : std::nullopt,
                             static_cast<WordOrder>(CB_WordOrder->currentData().toInt()));
        for (std::size_t m = 0; m < database_->messages.size(); ++m) {
            const Message& message = database_->messages[m];
            const bool refused = plan_.messages[m].refusal != Refusal::None;
            QList<QStandardItem*> row;
            auto* name = Cell(message.name);
            name->setData(static_cast<int>(m), kIndexRole);
            if (!refused) {
                name->setCheckable(true);
                name->setCheckState(Qt::Unchecked);
            }
            const FrameDirection direction = message.direction.value_or(FrameDirection::Receive);
            auto* directionCell = Cell(DirectionWord(direction));
            directionCell->setData(static_cast<int>(direction), kDirectionRole);
            directionCell->setEditable(!message.direction && !refused);
            row << name << Cell(MessageIdText(message) + ", " + std::to_string(message.length) + " bytes")
                << Cell("") << Cell("") << Cell("") << directionCell << Cell("");
            for (std::size_t s = 0; s < message.signalList.size(); ++s) {
                const Signal& signal = message.signalList[s];
                auto* signalName = Cell(signal.name);
                signalName->setData(static_cast<int>(s), kIndexRole);
                auto* registerCell = Cell("");
                if (!plan_.messages[m].Refused(s)) {
                    signalName->setCheckable(true);
                    signalName->setCheckState(Qt::Unchecked);
                    registerCell->setEditable(true);
                }
                name->appendRow({signalName, Cell(SignalBitsText(signal)), Cell(ScalingText(signal)),
                                 Cell(signal.unit), Cell(""), Cell(""), registerCell});
            }
            model_->appendRow(row);
        }
    }
    filling_ = false;
    FillPlanTexts();
    // A small database is shown open; a large one is found through the search.
    if (model_->rowCount() <= 12) TV_Signals->expandAll();
}

// What the plan makes of each message and signal in the chosen word order.
void TFImportSignals::FillPlanTexts() {
    if (!database_) return;
    filling_ = true;
    plan_ = PlanDatabase(*database_, tables_ ? std::optional(tables_->mode) : std::nullopt,
                         static_cast<WordOrder>(CB_WordOrder->currentData().toInt()));
    for (int m = 0; m < model_->rowCount(); ++m) {
        const Message& message = database_->messages[static_cast<std::size_t>(m)];
        const MessagePlan& plan = plan_.messages[static_cast<std::size_t>(m)];
        QStandardItem* name = model_->item(m, ColName);
        const auto show = [](QStandardItem* cell, const std::string& text) {
            cell->setText(Shown(text));
            cell->setToolTip(cell->text());
        };
        const std::string refusal = MessageRefusalText(message, plan);
        const std::string origin = CobIdOriginText(message, database_->nodeId, "\"COB-IDs from the node id\"");
        show(model_->item(m, ColFit), !refusal.empty() ? refusal
                                      : origin.empty()  ? std::string()
                                                        : "COB-ID from " + origin);
        for (int s = 0; s < name->rowCount(); ++s)
            show(name->child(s, ColFit), SignalFitText(message, plan, static_cast<std::size_t>(s)));
    }
    filling_ = false;
}

ImportRequest TFImportSignals::CurrentRequest() const {
    ImportRequest request;
    request.order = static_cast<WordOrder>(CB_WordOrder->currentData().toInt());
    if (SE_FirstRegister->value() >= 0) request.firstRegister = SE_FirstRegister->value();
    if (SE_FirstTransmitRegister->value() >= 0) request.firstTransmitRegister = SE_FirstTransmitRegister->value();
    request.takeNodeIdCobIds = "\"COB-IDs from the node id\"";
    request.adoptRowsOption = "vestrel-cli import-signals --adopt-rows";
    for (FrameDirection direction : {FrameDirection::Receive, FrameDirection::Transmit}) {
        DirectionPicks picks;
        picks.direction = direction;
        for (int m = 0; m < model_->rowCount(); ++m) {
            QStandardItem* name = model_->item(m, ColName);
            if (DirectionOf(model_->item(m, ColDirection)) != direction) continue;
            MessagePick pick;
            pick.message = static_cast<std::size_t>(name->data(kIndexRole).toInt());
            bool all = true;
            for (int s = 0; s < name->rowCount(); ++s) {
                QStandardItem* signal = name->child(s, ColName);
                if (!signal->isCheckable()) continue;
                if (signal->checkState() != Qt::Checked) {
                    all = false;
                    continue;
                }
                const auto index = static_cast<std::size_t>(signal->data(kIndexRole).toInt());
                pick.signalList.push_back(index);
                const QVariant typed = name->child(s, ColRegister)->data(kTypedRole);
                if (typed.isValid()) pick.registers[index] = typed.toInt();
            }
            if (pick.signalList.empty()) continue;
            if (all && pick.registers.empty()) {
                pick.whole = true;
                pick.signalList.clear();
            }
            picks.messages.push_back(std::move(pick));
        }
        if (!picks.messages.empty()) request.picks.push_back(std::move(picks));
    }
    return request;
}

void TFImportSignals::DryRun() {
    filling_ = true;
    const ImportRequest request = database_ ? CurrentRequest() : ImportRequest{};
    std::optional<ImportOutcome> outcome;
    std::string status;
    if (database_ && tables_ && !request.picks.empty()) {
        try {
            outcome = PlanImport(*tables_, *database_, DescribeDatabase(projectDir_, file_, bytes_), request);
            const std::size_t count = outcome->assigned.size();
            status = "Would assign " + Plural(count, "register", "registers") + ", " +
                     WordOrderText(request.order) + ".";
            for (const std::string& note : outcome->notes) status += "\n" + note;
        } catch (const ImportRefused& refused) {
            for (const std::string& reason : refused.Reasons()) status += (status.empty() ? "" : "\n") + reason;
        }
    }
    for (int m = 0; m < model_->rowCount(); ++m) {
        QStandardItem* name = model_->item(m, ColName);
        const Message& message = database_->messages[static_cast<std::size_t>(name->data(kIndexRole).toInt())];
        const ImportedMessage* imported =
            outcome ? EntryOfMessage(outcome->tables, DirectionOf(model_->item(m, ColDirection)), message,
                                     DescribeDatabase(projectDir_, file_, bytes_).path)
                    : nullptr;
        for (int s = 0; s < name->rowCount(); ++s) {
            QStandardItem* cell = name->child(s, ColRegister);
            std::string text;
            if (name->child(s, ColName)->checkState() == Qt::Checked && imported)
                for (const ImportedSignal& i : imported->signalList)
                    if (i.signal.name == message.signalList[static_cast<std::size_t>(s)].name)
                        text = RegistersText(i.registers);
            if (text.empty() && cell->data(kTypedRole).isValid()) text = std::to_string(cell->data(kTypedRole).toInt());
            cell->setText(QString::fromStdString(text));
            QFont font = cell->font();
            font.setBold(cell->data(kTypedRole).isValid());
            cell->setFont(font);
        }
    }
    filling_ = false;
    BtImport->setEnabled(outcome.has_value());
    BtRemove->setEnabled(!TickedImported().empty());
    if (database_)
        for (const DatabaseNote& note : database_->notes) status += (status.empty() ? "" : "\n") + NoteText(*database_, note);
    if (database_ && tables_) ShowStatus(status);
}

void TFImportSignals::ShowStatus(const std::string& text) {
    LbStatus->setText(QString::fromStdString(PrintableText(text, LineBreaks::Keep)));
}

void TFImportSignals::ModelItemChange(QStandardItem* item) {
    if (filling_) return;
    filling_ = true;
    if (item->column() == ColName && item->isCheckable()) {
        if (!item->parent()) {
            // A message ticks or clears every signal it can take.
            const Qt::CheckState state = item->checkState() == Qt::Unchecked ? Qt::Unchecked : Qt::Checked;
            item->setCheckState(state);
            for (int s = 0; s < item->rowCount(); ++s)
                if (item->child(s)->isCheckable()) item->child(s)->setCheckState(state);
        } else {
            QStandardItem* message = item->parent();
            int checked = 0, checkable = 0;
            for (int s = 0; s < message->rowCount(); ++s)
                if (message->child(s)->isCheckable()) {
                    ++checkable;
                    checked += message->child(s)->checkState() == Qt::Checked ? 1 : 0;
                }
            message->setCheckState(checked == 0           ? Qt::Unchecked
                                   : checked == checkable ? Qt::Checked
                                                          : Qt::PartiallyChecked);
        }
    } else if (item->column() == ColRegister) {
        // A typed register: kept for the signal (and ticks it); cleared, numbered again.
        const std::string text = item->text().trimmed().toStdString();
        const auto value = ParseIntegerText(text);
        if (text.empty()) {
            item->setData(QVariant(), kTypedRole);
        } else if (value && *value >= 0 && *value <= 65535) {
            item->setData(static_cast<int>(*value), kTypedRole);
            QStandardItem* message = item->parent();
            message->child(item->row(), ColName)->setCheckState(Qt::Checked);
            filling_ = false;
            ModelItemChange(message->child(item->row(), ColName));
            return;
        } else {
            dialogs_.ShowError("'" + PrintableText(text, LineBreaks::OneLine) +
                               "' is no register number, 0 to 65535");
        }
    }
    filling_ = false;
    DryRun();
}

// A message's direction opens its list at one click.
void TFImportSignals::TV_SignalsClick(const QModelIndex& index) {
    if (index.column() == ColDirection && (index.flags() & Qt::ItemIsEditable)) TV_Signals->edit(index);
}

void TFImportSignals::E_SearchChange(const QString& text) {
    proxy_->setFilterFixedString(text);
    if (!text.isEmpty()) TV_Signals->expandAll();
}

void TFImportSignals::CB_WordOrderChange() {
    FillPlanTexts();
    DryRun();
}

void TFImportSignals::SE_NodeChange() {
    if (!file_.empty()) LoadDatabase(file_);
}

void TFImportSignals::SE_FirstRegisterChange() { DryRun(); }

void TFImportSignals::CB_NodeCobIdsChange() {
    if (!file_.empty()) LoadDatabase(file_);
}

// The import on the project as it is now on disk, written as one set; the
// window stays open and says what it wrote.
void TFImportSignals::BtImportClick() {
    if (!database_) return;
    const ImportRequest request = CurrentRequest();
    std::string wrote;
    const bool done = RunCommand(dialogs_, [&] {
        try {
            FolderLocks locks({projectDir_}, FolderLocks::Wait::No);
            const ImportOutcome outcome = PlanImport(ReadProjectTables(projectDir_), *database_,
                                                     DescribeDatabase(projectDir_, file_, bytes_), request);
            WriteProjectTables(projectDir_, outcome.tables);
            imported_ = true;
            wrote = "Wrote " + WrittenFiles(outcome.tables) + ": assigned " +
                    Plural(outcome.assigned.size(), "register", "registers") + ", " + WordOrderText(request.order) + ".";
            for (const AssignedRegister& r : outcome.assigned)
                wrote += "\n" + RegisterLine(outcome.tables.signalFile, r.direction, r.index);
        } catch (const ImportRefused& refused) {
            dialogs_.ShowError(PrintableText(refused.what(), LineBreaks::Keep));
        }
    });
    if (!done || wrote.empty()) return;
    SetProjectDir(projectDir_);
    ShowStatus(wrote);
}

}  // namespace vestrel
