// Where the program's other windows open: beside the main window, where the screen has room;
// and how the main window opens them again.
#pragma once

#include <QScreen>
#include <QWidget>

#include <memory>

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

// Shows `window`, made by `make` the first time, in front of the others and active: a window
// opened again comes back where it was.
template <class Window, class Make>
Window& ShowOrRaise(std::unique_ptr<Window>& window, Make&& make) {
    if (!window)
        window = make();
    window->show();
    window->raise();
    window->activateWindow();
    return *window;
}
