// The windows are laid out in pixels for "MS Sans Serif" at 8 points. Where the system lacks
// that face, "Liberation Sans" at 8 points takes its place: of the faces our packages install,
// its text widths come closest to it (about 4 % wider on the windows' texts; DejaVu Sans is 17 %
// wider and runs into the neighbouring controls). The face is chosen here by name, never left
// to the system's fallback.
#pragma once

#include <QFont>
#include <QFontDatabase>
#include <QWidget>

inline constexpr const char* FormFaces[] = {"MS Sans Serif", "Liberation Sans"};

inline QFont FormFont() {
    static const QString face = [] {
        const QStringList installed = QFontDatabase::families();
        for (const char* name : FormFaces) {
            if (installed.contains(QLatin1String(name)))
                return QString::fromLatin1(name);
        }
        return QString(); // neither: the default face
    }();
    QFont font = face.isEmpty() ? QFont() : QFont(face);
    font.setPointSize(8);
    return font;
}

inline void UseFormFont(QWidget* form) {
    form->setFont(FormFont());
}
