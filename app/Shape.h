// A filled circle or rectangle with a black outline, as the node and fault indicators use.
// A screen reader hears its accessible name (the owner sets it to what the colour means).
// One made pressable (the node indicators) takes the keyboard: Tab reaches it, Space or Enter
// press it, the arrow keys step to its neighbours, and a screen reader finds it as a button.
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

    void SetPressable(bool pressable);
    bool Pressable() const { return pressable_; }

signals:
    // Any mouse button.
    void MouseDown(Shape* sender, Qt::MouseButton button);
    // Space, Enter or a screen reader's press action, on a pressable shape.
    void Pressed(Shape* sender);
    // An arrow key: -1 left or up, +1 right or down.
    void Step(Shape* sender, int by);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    Kind kind_;
    QColor brush_ = Qt::white;
    bool pressable_ = false;
};
