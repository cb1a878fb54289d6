// Where the program's other windows open: beside the main window, where the screen has room.
#pragma once

#include <QScreen>
#include <QWidget>

// Moves `window` to the right of `main` when it fits there on the screen, narrowed to no less
// than `minimumWidth` if it must be.
inline void PlaceBeside(QWidget* window, QWidget* main, int minimumWidth) {
    if (!main || !main->screen())
        return;
    const QPoint at = main->frameGeometry().topRight() + QPoint(8, 0);
    const int room = main->screen()->availableGeometry().right() - at.x();
    if (room >= minimumWidth) {
        if (window->width() > room)
            window->resize(room, window->height());
        window->move(at);
    }
}
