#pragma once

#include "plot/chart.h"
#include "plot/plot_figure.h"

#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The charts of a plot, painted from the figure the SVG is written from,
// with a stretch of time to look at: the wheel (or + and -) zooms around
// the pointer, dragging (or the arrow keys) pans, a double click (or Home)
// shows the whole plot again. The pointer is a cursor that reads every
// chart's value at its time.
namespace vestrel::plot {

class ChartView : public QWidget {
    Q_OBJECT

public:
    explicit ChartView(QWidget* parent = nullptr);

    // The plot to show. The stretch shown, and the one it may be moved in,
    // become the plot's own, unless `keepView`: then a plot of more detail
    // (of a part) takes the place of the one shown, and both stay.
    void SetPlot(Plot plot, bool keepView = false);
    const Plot& Shown() const { return plot_; }

    // The stretch shown, within the limits and at least a few microseconds.
    std::int64_t From() const { return from_; }
    std::int64_t To() const { return to_; }
    void SetView(std::int64_t from, std::int64_t to);
    // Zooms by `factor` (below 1: in) keeping the time at `x` where it is.
    void ZoomAt(double x, double factor);
    void PanBy(double pixels);
    void ShowAll();

    void SetCursor(std::optional<std::int64_t> time);
    std::optional<std::int64_t> Cursor() const { return cursor_; }
    // "t = 1.250 s" and per chart "ActualSpeed = -500 rpm", "... = not known".
    std::vector<std::string> CursorReadings() const;

    // The figure as painted at the view's width.
    PlotPicture Picture() const;
    QSize sizeHint() const override;

signals:
    void viewChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void Relayout();
    std::int64_t TimeAt(double x) const;
    void PaintCursor(QPainter& painter) const;

    Plot plot_;
    std::int64_t first_ = 0;  // the limits
    std::int64_t last_ = 1;
    std::int64_t from_ = 0;
    std::int64_t to_ = 1;
    std::optional<std::int64_t> cursor_;
    std::optional<double> dragX_;
    PlotPicture picture_;
};

}  // namespace vestrel::plot
