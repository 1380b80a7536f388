#pragma once

#include "live/bench_tables.h"

#include <QAbstractTableModel>

class QTableView;

namespace vestrel::live {

// A TextTable for a view: the texts on one line, printable, and the cells
// that stand out in the bench's colour. SetTable tells the view only what
// changed, so that a table refreshed four times a second keeps its
// selection and redraws what moved.
class TextTableModel : public QAbstractTableModel {
public:
    explicit TextTableModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void SetTable(TextTable table);
    const TextTable& Table() const { return table_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    TextTable table_;
};

// A read-only view of a new TextTableModel with `headings`: whole rows
// selected, every column as wide as its text.
QTableView* TextTableView(QWidget* parent, const char* name, std::vector<std::string> headings);
// The model of a view made by TextTableView.
TextTableModel& ModelOf(QTableView* view);

}  // namespace vestrel::live
