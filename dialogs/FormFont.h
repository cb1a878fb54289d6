// The dialogs are laid out in pixels for a small 8-point face (11 pixels high); their texts
// use that size whatever the desktop's default, so that they fit their places.
#pragma once

#include <QFont>
#include <QWidget>

inline void UseFormFont(QWidget* form) {
    QFont f = form->font();
    f.setPixelSize(11);
    form->setFont(f);
}
