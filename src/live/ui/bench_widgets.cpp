#include "live/ui/bench_widgets.h"

#include "platform/printable_text.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

#include <chrono>

namespace vestrel::live {

void SetCell(QTableWidget* table, int row, int column, const std::string& text, bool standOut) {
    auto* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        table->setItem(row, column, item);
    }
    item->setText(QString::fromStdString(PrintableText(text, LineBreaks::OneLine)));
    item->setBackground(standOut ? QBrush(kStandOut) : QBrush());
}

void ShowStatus(QLabel* label, const std::string& text, bool failure) {
    label->setText(QString::fromStdString(PrintableText(text, LineBreaks::OneLine)));
    label->setStyleSheet(failure ? "color: #B00020;" : "");
}

void SetUpTable(QTableWidget* table, const QStringList& headings) {
    table->setColumnCount(static_cast<int>(headings.size()));
    table->setHorizontalHeaderLabels(headings);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->setWordWrap(false);
    // Every column as wide as its longest text, the last one too: a long
    // cell scrolls instead of being cut ("1=0x1122 2=0x3344 3=0x…").
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(false);
}

std::int64_t NowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace vestrel::live
