// A filled circle or rectangle with a black outline, as the node and fault indicators use.
#pragma once

#include <QColor>
#include <QWidget>

class Shape : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Rectangle, Circle };

    Shape(Kind kind, QWidget* parent);

    QColor BrushColor() const { return brush_; }
    void SetBrushColor(const QColor& color);
    int Tag = 0;

signals:
    // Any mouse button.
    void MouseDown(Shape* sender, Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    Kind kind_;
    QColor brush_ = Qt::white;
};
