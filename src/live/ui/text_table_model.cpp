#include "live/ui/text_table_model.h"

#include "live/ui/bench_widgets.h"
#include "platform/printable_text.h"

#include <QBrush>
#include <QHeaderView>
#include <QTableView>

#include <algorithm>

namespace vestrel::live {

void TextTableModel::SetTable(TextTable table) {
    const int before = static_cast<int>(table_.rows.size());
    const int after = static_cast<int>(table.rows.size());
    if (table.headings != table_.headings) {
        beginResetModel();
        table_ = std::move(table);
        endResetModel();
        return;
    }
    if (after < before) {
        beginRemoveRows({}, after, before - 1);
        table_.rows.resize(static_cast<std::size_t>(after));
        endRemoveRows();
    }
    // The rows both tables have: only the span that differs is redrawn.
    int first = -1;
    int last = -1;
    for (int row = 0; row < std::min(before, after); ++row) {
        const TextRow& fresh = table.rows[static_cast<std::size_t>(row)];
        TextRow& shown = table_.rows[static_cast<std::size_t>(row)];
        const bool same = std::equal(shown.begin(), shown.end(), fresh.begin(), fresh.end(),
                                     [](const TextCell& a, const TextCell& b) {
                                         return a.text == b.text && a.standsOut == b.standsOut;
                                     });
        if (same) continue;
        shown = fresh;
        if (first < 0) first = row;
        last = row;
    }
    if (first >= 0) emit dataChanged(index(first, 0), index(last, columnCount() - 1));
    if (after > before) {
        beginInsertRows({}, before, after - 1);
        for (int row = before; row < after; ++row) table_.rows.push_back(std::move(table.rows[static_cast<std::size_t>(row)]));
        endInsertRows();
    }
}

int TextTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.rows.size());
}

int TextTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.headings.size());
}

QVariant TextTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const TextRow& row = table_.rows[static_cast<std::size_t>(index.row())];
    if (static_cast<std::size_t>(index.column()) >= row.size()) return {};
    const TextCell& cell = row[static_cast<std::size_t>(index.column())];
    if (role == Qt::DisplayRole) return QString::fromStdString(PrintableText(cell.text, LineBreaks::OneLine));
    if (role == Qt::BackgroundRole && cell.standsOut) return QBrush(kStandOut);
    return {};
}

QVariant TextTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return {};
    return QString::fromStdString(table_.headings[static_cast<std::size_t>(section)]);
}

QTableView* TextTableView(QWidget* parent, const char* name, std::vector<std::string> headings) {
    auto* view = new QTableView(parent);
    view->setObjectName(name);
    auto* model = new TextTableModel(view);
    model->SetTable(TextTable{std::move(headings), {}});
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->setVisible(false);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 8);
    view->setWordWrap(false);
    // Every column as wide as its longest text, the last one too: a long
    // cell scrolls instead of being cut ("1=0x1122 2=0x3344 3=0x…").
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view->horizontalHeader()->setStretchLastSection(false);
    // The header sizes its sections by contents only when it lays itself out
    // again; new texts must widen their column at once.
    const auto fit = [view] { view->resizeColumnsToContents(); };
    QObject::connect(model, &QAbstractItemModel::dataChanged, view, fit);
    QObject::connect(model, &QAbstractItemModel::rowsInserted, view, fit);
    QObject::connect(model, &QAbstractItemModel::modelReset, view, fit);
    return view;
}

TextTableModel& ModelOf(QTableView* view) { return *static_cast<TextTableModel*>(view->model()); }

}  // namespace vestrel::live
