#include "plot/ui/chart_view.h"

#include "plot/ui/figure_painter.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace vestrel::plot {

namespace {

constexpr std::int64_t kNarrowest = 10;  // microseconds across the view at the most
constexpr double kZoomStep = 0.8;

}  // namespace

ChartView::ChartView(QWidget* parent) : QWidget(parent) {
    setObjectName("ChartView");
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Relayout();
}

void ChartView::SetPlot(Plot plot, bool keepView) {
    plot_ = std::move(plot);
    if (!keepView) {
        from_ = first_ = plot_.time.from;
        to_ = last_ = std::max(plot_.time.to, from_ + 1);
    }
    Relayout();
}

void ChartView::SetView(std::int64_t from, std::int64_t to) {
    const std::int64_t first = first_, last = last_;
    std::int64_t span = std::clamp<std::int64_t>(to - from, std::min(kNarrowest, last - first), last - first);
    from = std::clamp(from, first, last - span);
    if (from == from_ && from + span == to_) return;
    from_ = from;
    to_ = from + span;
    Relayout();
    emit viewChanged();
}

void ChartView::ZoomAt(double x, double factor) {
    const std::int64_t at = TimeAt(x);
    const double span = static_cast<double>(to_ - from_) * factor;
    const double share = static_cast<double>(at - from_) / static_cast<double>(std::max<std::int64_t>(to_ - from_, 1));
    const auto from = static_cast<std::int64_t>(std::llround(static_cast<double>(at) - share * span));
    SetView(from, from + std::max<std::int64_t>(static_cast<std::int64_t>(std::llround(span)), 1));
}

void ChartView::PanBy(double pixels) {
    if (picture_.areas.empty()) return;
    const double perPixel = static_cast<double>(to_ - from_) / std::max(picture_.areas[0].w, 1.0);
    const auto by = static_cast<std::int64_t>(std::llround(pixels * perPixel));
    SetView(from_ + by, to_ + by);
}

void ChartView::ShowAll() { SetView(first_, last_); }

void ChartView::SetCursor(std::optional<std::int64_t> time) {
    cursor_ = time;
    update();
}

std::vector<std::string> ChartView::CursorReadings() const {
    std::vector<std::string> readings;
    if (!cursor_) return readings;
    readings.push_back("t = " + TimeText(plot_.time, *cursor_));
    for (const Chart& chart : plot_.charts) {
        const std::optional<double> value = ValueAt(chart, *cursor_);
        readings.push_back(chart.name + " = " + (value ? ValueText(chart, *value) : std::string("not known")));
    }
    return readings;
}

PlotPicture ChartView::Picture() const { return picture_; }

QSize ChartView::sizeHint() const {
    return QSize(900, static_cast<int>(std::ceil(picture_.figure.height)));
}

void ChartView::Relayout() {
    FigureOptions options;
    options.width = static_cast<double>(std::max(width(), 200));
    options.from = from_;
    options.to = to_;
    picture_ = DrawPlot(plot_, options);
    setMinimumHeight(static_cast<int>(std::ceil(picture_.figure.height)));
    updateGeometry();
    update();
}

std::int64_t ChartView::TimeAt(double x) const {
    if (picture_.areas.empty()) return from_;
    return TimeOfX(picture_, picture_.areas[0], x);
}

void ChartView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    PaintFigure(painter, picture_.figure);
    PaintCursor(painter);
}

void ChartView::PaintCursor(QPainter& p) const {
    if (!cursor_ || *cursor_ < from_ || *cursor_ > to_) return;
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    p.setFont(font);
    const QFontMetrics metrics(font);
    for (std::size_t i = 0; i < picture_.areas.size() && i < plot_.charts.size(); ++i) {
        const ChartArea& area = picture_.areas[i];
        const double x = XOfTime(picture_, area, *cursor_);
        p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1, Qt::DashLine));
        p.drawLine(QPointF(x, area.y), QPointF(x, area.y + area.h));
        const std::optional<double> value = ValueAt(plot_.charts[i], *cursor_);
        const QString text = QString::fromStdString(
            TimeText(plot_.time, *cursor_) + ": " + (value ? ValueText(plot_.charts[i], *value) : "not known"));
        const int w = metrics.horizontalAdvance(text) + 8;
        const double left = x + w + 4 <= area.x + area.w ? x + 4 : x - w - 4;
        const QRectF box(left, area.y + 4, w, metrics.height() + 4);
        p.fillRect(box, QColor(255, 255, 230, 235));
        p.setPen(QColor(0x20, 0x20, 0x20));
        p.drawRect(box);
        p.drawText(box, Qt::AlignCenter, text);
    }
}

void ChartView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

void ChartView::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0) ZoomAt(event->position().x(), std::pow(kZoomStep, steps));
    event->accept();
}

void ChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragX_ = event->position().x();
    setFocus();
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
    const double x = event->position().x();
    if (dragX_ && (event->buttons() & Qt::LeftButton)) {
        PanBy(*dragX_ - x);
        dragX_ = x;
    }
    SetCursor(TimeAt(x));
}

void ChartView::mouseReleaseEvent(QMouseEvent*) { dragX_.reset(); }

void ChartView::mouseDoubleClickEvent(QMouseEvent*) { ShowAll(); }

void ChartView::leaveEvent(QEvent*) { SetCursor(std::nullopt); }

void ChartView::keyPressEvent(QKeyEvent* event) {
    const double middle = picture_.areas.empty() ? width() / 2.0 : picture_.areas[0].x + picture_.areas[0].w / 2;
    const double step = picture_.areas.empty() ? 50 : picture_.areas[0].w / 10;
    switch (event->key()) {
        case Qt::Key_Plus: case Qt::Key_Equal: ZoomAt(middle, kZoomStep); break;
        case Qt::Key_Minus: ZoomAt(middle, 1 / kZoomStep); break;
        case Qt::Key_Left: PanBy(-step); break;
        case Qt::Key_Right: PanBy(step); break;
        case Qt::Key_Home: ShowAll(); break;
        default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

}  // namespace vestrel::plot
