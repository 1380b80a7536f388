#pragma once

#include "plot/live_plot.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

class QLabel;
class QListWidget;
class QScrollArea;
class QSpinBox;
class QTimer;

namespace vestrel::plot {
class ChartView;
}

namespace vestrel::live {

class BenchSession;
struct TimedFrame;

// "Plot": the ticked signals' physical values (registers' raw values where
// the project imported none) over the last seconds, from every frame the
// bench session hears and sends. One more listener of the session: it takes
// the frames as they come into a table of its own and draws a few times a
// second while shown, so the monitor keeps its pace.
class TFBenchPlotPage : public QWidget {
    Q_OBJECT

public:
    explicit TFBenchPlotPage(QWidget* parent = nullptr);
    ~TFBenchPlotPage() override;

    void SetSession(BenchSession* session);
    // Frames the session has fed.
    void OnFrames(const std::vector<TimedFrame>& frames);
    // Draws the window up to `now` (microseconds since the epoch); a timer
    // does it four times a second while the page is shown.
    void Refresh(std::int64_t now);
    // The project's charts listed again (another project, or none).
    void ProjectChanged();
    // Ticks or the length of the window changed: the plot starts afresh.
    void Restart();

    QListWidget* Charts() const { return LB_Charts; }
    QSpinBox* Seconds() const { return SE_Seconds; }
    plot::ChartView* View() const { return view_; }
    const plot::LivePlot* Live() const { return live_.get(); }

private:
    BenchSession* session_ = nullptr;
    std::vector<plot::ChartSource> sources_;  // per row of the list
    std::unique_ptr<plot::LivePlot> live_;

    QListWidget* LB_Charts;
    QSpinBox* SE_Seconds;
    QScrollArea* SA_Charts;
    plot::ChartView* view_;
    QLabel* LbStatus;
    QTimer* refresh_;
};

}  // namespace vestrel::live
