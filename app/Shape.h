// A filled circle or rectangle with a black outline, as the node and fault indicators use.
#pragma once

#include <QColor>
#include <QWidget>

class TShape : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Rectangle, Circle };

    TShape(Kind kind, QWidget* parent);

    QColor BrushColor() const { return brush_; }
    void SetBrushColor(const QColor& color);
    int Tag = 0;

signals:
    // Any mouse button.
    void MouseDown(TShape* sender, Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    Kind kind_;
    QColor brush_ = Qt::white;
};
