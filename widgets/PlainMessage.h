// The program's plain message box: the text, any details below it, and an OK button,
// captioned with the program's name, as every window of the program shows it.
#pragma once

#include <QMessageBox>
#include <QString>

inline constexpr const char* PROGRAM_NAME = "Tarnwell Orvik interface";

inline void ShowPlainMessage(QWidget* parent, const QString& text, const QString& details = {}) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(PROGRAM_NAME), text, QMessageBox::Ok,
                    parent);
    if (!details.isEmpty())
        box.setInformativeText(details);
    box.exec();
}
