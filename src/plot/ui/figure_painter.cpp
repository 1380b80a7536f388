#include "plot/ui/figure_painter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>

#include <cmath>

namespace vestrel::plot {

namespace {

QColor ColourOf(const Colour& c, double opacity = 1) {
    return QColor(c.r, c.g, c.b, static_cast<int>(std::lround(opacity * 255)));
}

void PaintText(QPainter& p, const Shape& s) {
    QFont font("DejaVu Sans");
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(s.size))));
    font.setBold(s.bold);
    p.setFont(font);
    p.setPen(ColourOf(s.fill.value_or(Colour{})));
    const QString text = QString::fromStdString(s.text);
    const double width = QFontMetricsF(font).horizontalAdvance(text);
    const double x = s.anchor == Anchor::Start ? s.x : s.anchor == Anchor::Middle ? s.x - width / 2 : s.x - width;
    p.drawText(QPointF(x, s.y), text);
}

}  // namespace

void PaintFigure(QPainter& p, const Figure& figure) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (const Shape& s : figure.shapes) {
        switch (s.kind) {
            case Shape::Kind::Rect:
                if (s.fill) p.fillRect(QRectF(s.x, s.y, s.w, s.h), ColourOf(*s.fill, s.opacity));
                if (s.stroke) {
                    p.setPen(QPen(ColourOf(*s.stroke), s.strokeWidth));
                    p.setBrush(Qt::NoBrush);
                    p.drawRect(QRectF(s.x, s.y, s.w, s.h));
                }
                break;
            case Shape::Kind::Polyline: {
                QPolygonF line;
                line.reserve(static_cast<qsizetype>(s.points.size()));
                for (const Point& point : s.points) line << QPointF(point.x, point.y);
                QPen pen(ColourOf(s.stroke.value_or(Colour{})), s.strokeWidth);
                pen.setJoinStyle(Qt::RoundJoin);
                p.setPen(pen);
                p.drawPolyline(line);
                break;
            }
            case Shape::Kind::Text:
                PaintText(p, s);
                break;
        }
    }
    p.restore();
}

QImage FigureImage(const Figure& figure) {
    QImage image(static_cast<int>(std::ceil(figure.width)), static_cast<int>(std::ceil(figure.height)),
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintFigure(painter, figure);
    return image;
}

}  // namespace vestrel::plot
