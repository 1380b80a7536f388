#pragma once

#include <QLabel>

namespace vestrel {

// A label that reports a left click: the vendor's logo and web links.
class ClickLabel : public QLabel {
    Q_OBJECT

public:
    explicit ClickLabel(QWidget* parent = nullptr);
    // Underlined, in the link colour, with a pointing-hand cursor.
    void SetLinkStyle();

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace vestrel
