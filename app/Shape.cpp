#include "app/Shape.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

// A pressable shape is a button with a press action; another one a text that says its state.
class ShapeAccessible : public QAccessibleWidget {
public:
    explicit ShapeAccessible(Shape* shape) : QAccessibleWidget(shape) {}

    QAccessible::Role role() const override {
        return Target()->Pressable() ? QAccessible::Button : QAccessible::StaticText;
    }
    QStringList actionNames() const override {
        return Target()->Pressable() ? QStringList{pressAction()}
                                     : QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override {
        if (name == pressAction() && Target()->Pressable())
            emit Target()->Pressed(Target());
        else
            QAccessibleWidget::doAction(name);
    }

private:
    Shape* Target() const { return static_cast<Shape*>(widget()); }
};

QAccessibleInterface* Factory(const QString& key, QObject* object) {
    if (key == QLatin1String("Shape"))
        if (auto* shape = qobject_cast<Shape*>(object))
            return new ShapeAccessible(shape);
    return nullptr;
}

} // namespace

Shape::Shape(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
    static const bool installed = (QAccessible::installFactory(Factory), true);
    (void)installed;
}

void Shape::SetBrushColor(const QColor& color) {
    if (color == brush_)
        return;
    brush_ = color;
    update();
}

void Shape::SetPressable(bool pressable) {
    pressable_ = pressable;
    setFocusPolicy(pressable ? Qt::TabFocus : Qt::NoFocus);
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
    if (hasFocus()) {
        // Dots in the corners the circle leaves free, round it.
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.drawRect(0, 0, width() - 1, height() - 1);
    }
}

void Shape::mousePressEvent(QMouseEvent* event) {
    emit MouseDown(this, event->button());
}

void Shape::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!event->isAutoRepeat())
            emit Pressed(this);
        return;
    case Qt::Key_Left:
    case Qt::Key_Up:
        emit Step(this, -1);
        return;
    case Qt::Key_Right:
    case Qt::Key_Down:
        emit Step(this, 1);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void Shape::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void Shape::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}
