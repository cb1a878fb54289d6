// What the screen-reader side asks of a switch array, and the press it may make: the switches,
// their names, states and cells, the keyboard's switch, and a press. The widget answers; the
// accessible interfaces (SwitchAccessible.h) know the array only through this.
#pragma once

#include <QRect>
#include <QString>

#include <optional>

class SwitchAccess {
public:
    virtual int SwitchCount() const = 0;
    virtual QString SwitchName(int k) const = 0;
    // STATE_UNDEFINED, STATE_OFF or STATE_ON.
    virtual quint8 SwitchState(int k) const = 0;
    // False while the switches stand for no data (drawn off, but neither on nor off).
    virtual bool ShowsData() const = 0;
    // Switch k's cell, in the widget.
    virtual QRect SwitchCell(int k) const = 0;
    virtual int KeyboardSwitch() const = 0;
    // The switch at `at` in the widget, if any.
    virtual std::optional<int> SwitchAt(QPoint at) const = 0;
    // What a left press on switch k does.
    virtual void PressFor(int k) = 0;

protected:
    ~SwitchAccess() = default;
};
