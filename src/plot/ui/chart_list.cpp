#include "plot/ui/chart_list.h"

#include "platform/printable_text.h"

#include <QListWidget>

namespace vestrel::plot {

void ListCharts(QListWidget& list, const gateway::GatewayModel& model, const gateway::SignalValues* meanings,
                const std::vector<ChartSource>& sources, std::size_t ticked) {
    list.clear();
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const Chart head = ChartHead(model, meanings, sources[i]);
        const std::string name = head.name + (head.unit.empty() ? "" : " (" + head.unit + ")");
        auto* item = new QListWidgetItem(QString::fromStdString(PrintableText(name, LineBreaks::OneLine)), &list);
        item->setToolTip(QString::fromStdString(PrintableText(head.origin, LineBreaks::OneLine)));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(i < ticked ? Qt::Checked : Qt::Unchecked);
    }
}

std::vector<ChartSource> TickedCharts(const QListWidget& list, const std::vector<ChartSource>& sources) {
    std::vector<ChartSource> ticked;
    for (int row = 0; row < list.count() && ticked.size() < kMaxCharts; ++row)
        if (list.item(row)->checkState() == Qt::Checked && static_cast<std::size_t>(row) < sources.size())
            ticked.push_back(sources[static_cast<std::size_t>(row)]);
    return ticked;
}

}  // namespace vestrel::plot
