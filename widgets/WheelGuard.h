// Keeps the mouse wheel from changing a control that does not have the focus: a pointer that
// merely passes over a box while the user scrolls must not change what the box sends. Such a
// control takes the focus by a click or Tab, never by the wheel; once it has the focus the
// wheel works as usual. Ignored wheel events go on to the parent.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QWidget>

class WheelGuard : public QObject {
public:
    static void Install(QWidget* control) {
        control->setFocusPolicy(Qt::StrongFocus);
        control->installEventFilter(new WheelGuard(control));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::Wheel)
            return false;
        // The focus may sit on a part of the control, such as a combo box's text field.
        const auto* control = static_cast<QWidget*>(watched);
        const QWidget* focus = QApplication::focusWidget();
        if (focus && (focus == control || control->isAncestorOf(focus)))
            return false;
        e->ignore();
        return true;
    }

private:
    explicit WheelGuard(QObject* parent) : QObject(parent) {}
};
