// What a screen reader finds in a switch array: one check box per switch, named by its
// designation, checked when on, neither checked nor unchecked while undefined, with a press
// action that does what a left press on it does. Installed by the widget itself.
#pragma once

#include <QAccessibleWidget>

#include <vector>

class TSwitchArray;

class SwitchArrayAccessible : public QAccessibleWidget {
public:
    explicit SwitchArrayAccessible(TSwitchArray* array);
    ~SwitchArrayAccessible() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

private:
    TSwitchArray* Array() const;
    // One child per switch, made when first asked for and again after the list changed.
    void Sync() const;
    void Release() const;

    mutable std::vector<QAccessible::Id> children_;
};

// Registers the factory that gives a switch array its interface; once is enough.
void InstallSwitchAccessibility();
// Tells a screen reader that switch k changed its state, or that the keyboard moved to it.
void AnnounceSwitchState(TSwitchArray* array, int k);
void AnnounceSwitchFocus(TSwitchArray* array, int k);
