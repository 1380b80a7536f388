#include "platform/qt/click_label.h"

#include <QMouseEvent>
#include <QPalette>

namespace vestrel {

ClickLabel::ClickLabel(QWidget* parent) : QLabel(parent) { setCursor(Qt::PointingHandCursor); }

void ClickLabel::SetLinkStyle() {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, p.color(QPalette::Link));
    setPalette(p);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

}  // namespace vestrel
