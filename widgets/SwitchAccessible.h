// What a screen reader finds in a switch array: one check box per switch, named by its
// designation, checked when on, neither checked nor unchecked while undefined, with a press
// action that does what a left press on it does. Installed by the widget itself, for every
// widget that answers SwitchAccess.
#pragma once

class QWidget;

// Registers the factory that gives a switch array its interface; once is enough.
void InstallSwitchAccessibility();
// Tells a screen reader that switch k of `array` changed its state, or that the keyboard moved
// to it.
void AnnounceSwitchState(QWidget* array, int k);
void AnnounceSwitchFocus(QWidget* array, int k);
