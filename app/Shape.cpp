#include "app/Shape.h"

#include <QMouseEvent>
#include <QPainter>

Shape::Shape(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {}

void Shape::SetBrushColor(const QColor& color) {
    if (color == brush_)
        return;
    brush_ = color;
    update();
}

void Shape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(brush_);
    if (kind_ == Kind::Circle) {
        const int d = std::min(width(), height()) - 1;
        p.setRenderHint(QPainter::Antialiasing);
        p.drawEllipse(QRectF((width() - 1 - d) / 2.0, (height() - 1 - d) / 2.0, d, d));
    } else {
        p.drawRect(0, 0, width() - 1, height() - 1);
    }
}

void Shape::mousePressEvent(QMouseEvent* event) {
    emit MouseDown(this, event->button());
}
