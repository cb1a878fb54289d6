// The windows are laid out in pixels for "MS Sans Serif" at 8 points; where the system lacks
// that face, its default face at 8 points takes its place.
#pragma once

#include <QFont>
#include <QFontDatabase>
#include <QWidget>

inline QFont FormFont() {
    const QString face = "MS Sans Serif";
    QFont font = QFontDatabase::families().contains(face) ? QFont(face) : QFont();
    font.setPointSize(8);
    return font;
}

inline void UseFormFont(QWidget* form) { form->setFont(FormFont()); }
