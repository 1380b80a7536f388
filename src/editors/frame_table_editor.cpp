#include "editors/frame_table_editor.h"

#include "editors/frame_table_csv.h"
#include "editors/unsaved_changes.h"
#include "platform/error.h"
#include "platform/printable_text.h"
#include "platform/qt/qt_paths.h"
#include "platform/qt/window_util.h"
#include "project/comm_parameters.h"
#include "platform/text.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace vestrel {

namespace {

constexpr const char* kYes = "Y";
constexpr const char* kNo = "N";


// Ascending row numbers as "4-7, 9, 12".
std::string RowRanges(const std::vector<int>& rows) {
    std::string out;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t last = i;
        while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1) ++last;
        if (!out.empty()) out += ", ";
        out += std::to_string(rows[i]);
        if (last > i) out += "-" + std::to_string(rows[last]);
        i = last + 1;
    }
    return out;
}

// The "RTR Bit" cells: a centred check box over the cell's text. Ticking
// stores "Y", clearing "N"; any text but "Y" shows a clear box, and a cell
// nobody touched keeps its text.
class RtrCheckDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        cell.text.clear();
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

        QStyleOptionButton box;
        box.state = (option.state & QStyle::State_Enabled) ? QStyle::State_Enabled : QStyle::State_None;
        box.state |= index.data().toString() == kYes ? QStyle::State_On : QStyle::State_Off;
        const QSize size(style->pixelMetric(QStyle::PM_IndicatorWidth, &box, widget),
                         style->pixelMetric(QStyle::PM_IndicatorHeight, &box, widget));
        box.rect = QStyle::alignedRect(option.direction, Qt::AlignCenter, size, option.rect);
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, widget);
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        if (!(index.flags() & Qt::ItemIsEnabled)) return false;
        switch (event->type()) {
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton || !option.rect.contains(mouse->position().toPoint()))
                return false;
            break;
        }
        case QEvent::MouseButtonDblClick:
            return true;  // one click toggles; a double click must not toggle back
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key != Qt::Key_Space && key != Qt::Key_Select) return false;
            break;
        }
        default:
            return false;
        }
        const bool ticked = index.data().toString() == kYes;
        return model->setData(index, QString::fromLatin1(ticked ? kNo : kYes), Qt::EditRole);
    }
};

// The text cells; remembers its open editor so that an edit in progress can
// be finished before the cells are read.
class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        editor_ = editor;
        return editor;
    }

    QWidget* OpenEditor() const { return editor_; }

private:
    mutable QPointer<QWidget> editor_;
};

class FrameGrid : public QTableWidget {
public:
    FrameGrid(int rows, int columns, QWidget* parent)
        : QTableWidget(rows, columns, parent), cells_(new CellDelegate(this)) {
        setItemDelegate(cells_);
    }

    // Takes the text of a cell being edited into the cell.
    void CommitEdit() {
        QWidget* editor = cells_->OpenEditor();
        if (state() != EditingState || !editor) return;
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }

    // Typed text always goes into the current cell, never into a cell found
    // by matching its text.
    void keyboardSearch(const QString&) override {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        // Delete empties the selected text cells.
        if (event->key() == Qt::Key_Delete && state() != EditingState) {
            for (QTableWidgetItem* cell : selectedItems())
                if (cell->flags() & Qt::ItemIsEditable) cell->setText(QString());
            return;
        }
        QTableWidget::keyPressEvent(event);
    }

    // A click on the cell that is already the only one selected edits it at
    // once. The view's own "selected clicked" trigger waits a double-click
    // interval first, and keys typed in that time did not reach the cell.
    void mousePressEvent(QMouseEvent* event) override {
        const QModelIndex index = indexAt(event->position().toPoint());
        pressedOnSelected_ = event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier &&
                             index.isValid() && index == currentIndex() &&
                             selectionModel()->selectedIndexes() == QModelIndexList{index};
        pressed_ = index;
        QTableWidget::mousePressEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        QTableWidget::mouseReleaseEvent(event);
        const bool edit = pressedOnSelected_ && indexAt(event->position().toPoint()) == pressed_ &&
                          state() != EditingState && (pressed_.flags() & Qt::ItemIsEditable);
        pressedOnSelected_ = false;
        if (edit) this->edit(pressed_);
    }

private:
    CellDelegate* cells_;
    QPersistentModelIndex pressed_;
    bool pressedOnSelected_ = false;
};

}  // namespace

TFrameTableEditor::TFrameTableEditor(UserDialogs& dialogs, int editorMode,
                                     QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowTitleHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint),
      EditorMode(editorMode), 
      dialogs_(dialogs),
      direction_(DirectionFromMode(editorMode)) {
    setWindowTitle("RPDO");
    setModal(true);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName("PageControl");
    auto* page = new QWidget(PageControl);
    PageControl->addTab(page, "Can0-ModBus");

    sgA = new FrameGrid(MaxFrameRows, 0, page);
    sgA->setObjectName("sgA");
    sgA->verticalHeader()->setVisible(false);
    sgA->verticalHeader()->setDefaultSectionSize(sgA->fontMetrics().height() + 8);
    sgA->horizontalHeader()->setHighlightSections(false);
    // A click on the selected cell edits it too (FrameGrid does that without
    // the view's delay).
    sgA->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
    sgA->setSelectionMode(QAbstractItemView::ContiguousSelection);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(2, 2, 2, 2);
    pageLayout->addWidget(sgA);

    auto makeButton = [this](const char* name, const char* caption) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(name);
        // Return belongs to the table's cells, never to a button.
        button->setAutoDefault(false);
        return button;
    };
    BitBtn1 = makeButton("BitBtn1", "OK");
    BitBtn2 = makeButton("BitBtn2", "Cancel");
    BtnExport = makeButton("BtnExport", "Export");
    BtnImport = makeButton("BtnImport", "Import");
    LbExported = new QLabel(this);
    LbExported->setObjectName("LbExported");
    LbExported->setWordWrap(true);
    LayOutEditor(this, PageControl, BitBtn1, BitBtn2, BtnExport, BtnImport, LbExported);

    SetUpColumns(direction_);
    ClearCells();
    resize(560, 520);

    connect(BitBtn1, &QPushButton::clicked, this, &TFrameTableEditor::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(BtnExport, &QPushButton::clicked, this, &TFrameTableEditor::BtnExportClick);
    connect(BtnImport, &QPushButton::clicked, this, &TFrameTableEditor::BtnImportClick);
}

TFpdoMB::TFpdoMB(UserDialogs& dialogs, QWidget* parent)
    : TFrameTableEditor(dialogs, 2, parent) {
    setObjectName("FpdoMB");
}

TFpdoMB_2::TFpdoMB_2(UserDialogs& dialogs, QWidget* parent)
    : TFrameTableEditor(dialogs, 1, parent) {
    setObjectName("FpdoMB_2");
}

int TFrameTableEditor::RtrColumn() const { return direction_ == FrameDirection::Transmit ? 3 : -1; }

int TFrameTableEditor::MnemonicColumn() const { return direction_ == FrameDirection::Transmit ? 4 : 3; }

void TFrameTableEditor::SetUpColumns(FrameDirection direction) {
    const bool transmit = direction == FrameDirection::Transmit;
    if (sgA->columnCount() > 0 && direction == direction_) return;
    direction_ = direction;
    const QStringList headings = transmit ? QStringList{"N", "CobID", "Dimension", "RTR Bit", "Mnemonic"}
                                          : QStringList{"N", "CobID", "Dimension", "Mnemonic"};
    const QList<int> widths = transmit ? QList<int>{64, 115, 91, 52, 166} : QList<int>{64, 115, 91, 236};
    sgA->clearContents();
    sgA->setColumnCount(static_cast<int>(headings.size()));
    sgA->setHorizontalHeaderLabels(headings);
    for (int c = 0; c < headings.size(); ++c) sgA->setColumnWidth(c, widths[c]);

    if (QAbstractItemDelegate* old = sgA->itemDelegateForColumn(3)) {
        sgA->setItemDelegateForColumn(3, nullptr);
        old->deleteLater();
    }
    if (transmit) sgA->setItemDelegateForColumn(RtrColumn(), new RtrCheckDelegate(sgA));

    // Every cell gets its item once: "N" is fixed, "RTR Bit" is toggled, the
    // rest take any text.
    const QBrush fixed = sgA->palette().button();
    for (int r = 0; r < MaxFrameRows; ++r) {
        auto* number = new QTableWidgetItem(QString::number(r + 1));
        number->setFlags(Qt::ItemIsEnabled);
        number->setBackground(fixed);
        number->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        sgA->setItem(r, 0, number);
        for (int c = 1; c < sgA->columnCount(); ++c) {
            auto* cell = new QTableWidgetItem;
            if (c == RtrColumn()) cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            sgA->setItem(r, c, cell);
        }
    }
}

void TFrameTableEditor::FitHeadings() {
    QHeaderView* header = sgA->horizontalHeader();
    header->ensurePolished();
    for (int c = 0; c < sgA->columnCount(); ++c)
        if (sgA->columnWidth(c) < header->sectionSizeHint(c)) sgA->setColumnWidth(c, header->sectionSizeHint(c));
}

void TFrameTableEditor::ClearCells() {
    for (int r = 0; r < MaxFrameRows; ++r) {
        sgA->item(r, 0)->setText(QString::number(r + 1));
        for (int c = 1; c < sgA->columnCount(); ++c) sgA->item(r, c)->setText(QString());
    }
}

QString TFrameTableEditor::Cell(int row, int column) const {
    const QTableWidgetItem* cell = sgA->item(row - 1, column);
    return cell ? cell->text() : QString();
}

void TFrameTableEditor::SetCell(int row, int column, const QString& text) {
    if (QTableWidgetItem* cell = sgA->item(row - 1, column)) cell->setText(text);
}

void TFrameTableEditor::FillRows(const std::vector<FrameRow>& rows) {
    int r = 1;
    for (const FrameRow& row : rows) {
        if (r > MaxFrameRows) break;
        SetCell(r, CobIdColumn(), ToQText(row.CobID));
        SetCell(r, DimensionColumn(), ToQText(row.Dimensin));
        if (RtrColumn() > 0) SetCell(r, RtrColumn(), ToQText(row.RTR));
        SetCell(r, MnemonicColumn(), ToQText(row.Mnemonic));
        ++r;
    }
}

void TFrameTableEditor::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
}

void TFrameTableEditor::FormShow() {
    projectDir_ = paths_.projectDir;
    SetUpColumns(DirectionFromMode(EditorMode));
    FitHeadings();
    ClearCells();
    LbExported->clear();
    sgA->scrollToTop();
    sgA->setCurrentCell(0, CobIdColumn());
    setWindowTitle(direction_ == FrameDirection::Receive ? "Receive CAN Frame" : "Transmit CAN Frame");
    replaceQuestion_.clear();

    // When the table does not hold the whole frame file, OK asks before it
    // replaces the file, naming the file that failed and why.
    const auto framesFile = FindProjectFile(projectDir_, FramesFileName(direction_));
    const std::string framesName = framesFile ? framesFile->filename().string() : std::string();
    const std::string replace = "\n\nReplace " + framesName + " with the rows shown?";
    try {
        canMode_ = ReadProjectCanMode(projectDir_);
    } catch (const Error& e) {
        if (framesFile) {
            const auto pargen = FindProjectFile(projectDir_, kPargenFile);
            const std::string pargenName = pargen ? pargen->filename().string() : std::string(kPargenFile);
            replaceQuestion_ = pargenName + " could not be read, so " + framesName +
                               " was not loaded and the table does not show it:\n" + e.what() + replace;
        }
        shownCells_ = CellTexts();
        dialogs_.ShowError(e.what());
        return;
    }

    FrameTableRead read = ReadFrameTable(projectDir_, direction_);
    FillRows(read.table.rows);
    shownCells_ = CellTexts();
    if (read.error) {
        replaceQuestion_ = framesName + " could not be read completely, so the table does not show all of it:\n" +
                           *read.error + replace;
        dialogs_.ShowError(*read.error);
        return;
    }
    BitBtn1->setFocus();
}

FrameTable TFrameTableEditor::TableFromGrid() const {
    FrameTable table;
    table.direction = direction_;
    for (int r = 1; r <= MaxFrameRows; ++r) {
        FrameRow row;
        row.CobID = FromQText(Cell(r, CobIdColumn()));
        if (row.CobID.empty()) break;
        row.Dimensin = FromQText(Cell(r, DimensionColumn()));
        if (RtrColumn() > 0) row.RTR = FromQText(Cell(r, RtrColumn()));
        row.Mnemonic = FromQText(Cell(r, MnemonicColumn()));
        table.rows.push_back(std::move(row));
    }
    return table;
}

void TFrameTableEditor::CommitEdit() { static_cast<FrameGrid*>(sgA)->CommitEdit(); }

void TFrameTableEditor::BitBtn1Click() {
    CommitEdit();
    const FrameTable table = TableFromGrid();
    if (auto failure = CheckFrameTable(table, canMode_)) {
        dialogs_.ShowError(failure->Message());
        sgA->setCurrentCell(failure->row - 1, failure->column == kCobIdColumn ? CobIdColumn() : DimensionColumn());
        sgA->setFocus();
        return;
    }
    if (!ConfirmRowsLeftOut(table)) return;
    if (!replaceQuestion_.empty() && dialogs_.ConfirmDefaultNo(replaceQuestion_) != Answer::Yes) return;
    try {
        WriteFrameTable(projectDir_, table);
    } catch (const Error& e) {
        dialogs_.ShowError(e.what());
        return;
    }
    accept();
}

bool TFrameTableEditor::ConfirmRowsLeftOut(const FrameTable& table) {
    // The first row past the frames is the one whose CobID is empty.
    const int end = static_cast<int>(table.rows.size()) + 1;
    std::vector<int> leftOut;
    for (int r = end; r <= MaxFrameRows; ++r) {
        for (int c = 1; c < sgA->columnCount(); ++c) {
            if (!Cell(r, c).isEmpty()) {
                leftOut.push_back(r);
                break;
            }
        }
    }
    if (leftOut.empty()) return true;

    const std::string emptyRow = std::to_string(end);
    const std::string frames = end == 1 ? "The table holds no frames" : "The frames end at row " + std::to_string(end - 1);
    const std::string save = end == 1   ? "Save an empty table?"
                             : end == 2 ? "Save row 1 only?"
                                        : "Save rows 1 to " + std::to_string(end - 1) + " only?";
    const std::string question = frames + ", because row " + emptyRow + " has no CobID. These rows would not be saved: " +
                                 RowRanges(leftOut) + ".\n\n" + save;
    if (dialogs_.ConfirmDefaultNo(question) == Answer::Yes) return true;
    sgA->setCurrentCell(end - 1, CobIdColumn());
    sgA->setFocus();
    return false;
}

void TFrameTableEditor::BtnExportClick() {
    CommitEdit();
    LbExported->clear();
    LbExported->setToolTip(QString());
    try {
        const FrameTable table = TableFromGrid();
        const std::filesystem::path file = ExportFrameTableCsv(projectDir_, table);
        const std::size_t n = table.rows.size();
        LbExported->setText(ToQText(PrintableText("Exported " + Plural(n, "frame", "frames") + " to " +
                                                file.filename().string() + " in the project folder",
                                            LineBreaks::OneLine)));
        LbExported->setToolTip(ToQText(PrintableText(file.string(), LineBreaks::OneLine)));
    } catch (const Error& e) {
        dialogs_.ShowError(e.what());
    }
}

std::string TFrameTableEditor::ClearedByImport() const {
    int names = 0, rtr = 0;
    for (int r = 1; r <= MaxFrameRows; ++r) {
        names += !Cell(r, MnemonicColumn()).isEmpty();
        if (RtrColumn() > 0) rtr += Cell(r, RtrColumn()) == kYes;
    }
    if (names == 0 && rtr == 0) return {};
    auto frames = [](int n) { return Plural(static_cast<std::uint64_t>(n), "frame", "frames"); };
    std::string cleared;
    if (names > 0) cleared = "the Mnemonic of " + frames(names);
    if (rtr > 0) cleared += (cleared.empty() ? "" : " and ") + std::string("the RTR Bit of ") + frames(rtr);
    return cleared;
}

void TFrameTableEditor::BtnImportClick() {
    CommitEdit();
    const auto file = dialogs_.OpenFile(
        "Open",
        {"Workbook or CSV (*.xls *.xlsx *.ods *.csv)", "File EXCEL (*.xls)", "Excel workbook (*.xlsx)",
         "OpenDocument spreadsheet (*.ods)", "CSV File (*.csv)"},
        paths_.spreadsheetFolder);
    if (!file) return;

    // Read everything first: a file that cannot be read leaves the table as
    // it was.
    FrameSheetRead read;
    try {
        read = ImportFrameTableSheet(*file);
    } catch (const Error& e) {
        dialogs_.ShowError(e.what());
        return;
    }
    // The file gives CobID and Dimension only; what else the table holds goes.
    if (const std::string cleared = ClearedByImport(); !cleared.empty()) {
        const std::string question = "The import replaces the whole table, and " +
                                     std::filesystem::path(*file).filename().string() +
                                     " gives only CobID and Dimension: " + cleared + " would be cleared.\n\n"
                                     "Import anyway?";
        if (dialogs_.ConfirmDefaultNo(question) != Answer::Yes) return;
    }
    ClearCells();
    FillRows(read.rows);
    if (read.leftOut > 0) {
        const std::string max = std::to_string(MaxFrameRows);
        dialogs_.ShowMessage("The table holds " + max + " frames: " +
                             (read.leftOut == 1 ? "1 record after the first " + max + " was left out."
                                                : std::to_string(read.leftOut) + " records after the first " + max +
                                                      " were left out."));
    }
}

void TFrameTableEditor::FormResize() {
    const int columns = sgA->columnCount();
    if (columns == 0) return;
    const int width = static_cast<int>(std::lround(static_cast<double>(sgA->width()) / columns)) - 10;
    for (int c = 0; c < columns; ++c) sgA->setColumnWidth(c, width);
}

void TFrameTableEditor::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) resizePending_ = true;
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) FitHeadings();
    QDialog::changeEvent(event);
}

void TFrameTableEditor::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (resizePending_) {
        resizePending_ = false;
        FormResize();
    }
}

void TFrameTableEditor::keyPressEvent(QKeyEvent* event) {
    // The Cancel button and the close box discard without asking.
    if (!CancelOnEscape(this, event, dialogs_, [this] { return HasChanges(); })) QDialog::keyPressEvent(event);
}

std::vector<QString> TFrameTableEditor::CellTexts() const {
    std::vector<QString> texts;
    texts.reserve(static_cast<std::size_t>(MaxFrameRows * sgA->columnCount()));
    for (int r = 1; r <= MaxFrameRows; ++r)
        for (int c = 1; c < sgA->columnCount(); ++c) texts.push_back(Cell(r, c));
    return texts;
}

bool TFrameTableEditor::HasChanges() const { return CellTexts() != shownCells_; }

}  // namespace vestrel
