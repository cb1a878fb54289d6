// A scroll bar that draws its picture again only when the picture changes. A view that follows
// the newest rows sets the bar's range at every refresh, and the bar repaints, yet once the
// handle is at its smallest and at the end nothing in it moves. The style's gradients over the
// bar's whole height are fills the toolkit splits across its thread pool: two pool threads and
// the window's thread woken several times per repaint. This bar keeps its last picture and
// copies it while nothing that shows has changed and no pointer is on it.
#pragma once

#include <QPixmap>
#include <QRect>
#include <QScrollBar>
#include <QStyle>

class SteadyScrollBar final : public QScrollBar {
public:
    explicit SteadyScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    // How many times the style drew the bar; for tests.
    int Drawn() const { return drawn_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // What decides the picture: the handle, the arrows that show an end is reached, the
    // bar's size and state, its colours and its style.
    struct Look {
        QRect handle;
        bool atMinimum = false;
        bool atMaximum = false;
        QSize size;
        qreal ratio = 1;
        QStyle::State state;
        qint64 palette = 0;
        const QStyle* style = nullptr;
        bool operator==(const Look&) const = default;
    };

    QPixmap picture_;
    Look drawnLook_;
    int drawn_ = 0;
};
