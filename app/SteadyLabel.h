// A label in a layout whose new texts repaint the label and nothing else. A plain label asks
// its window to lay out again at every new text; the status line and the bus monitor's
// counters change every second. This one keeps the box the layout gave it, and asks again
// only when a text no longer fits there.
#pragma once

#include <QFont>
#include <QList>
#include <QStringList>
#include <QWidget>

class QLabel;

class SteadyLabel final : public QWidget {
public:
    explicit SteadyLabel(QWidget* parent = nullptr);

    QLabel* Label() const { return label_; }
    QString text() const;
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QSize LinesSize(const QString& text) const;

    QLabel* label_;
    // The last text's lines and their widths: most new texts change a line or two.
    mutable QStringList lines_;
    mutable QList<int> widths_;
    mutable QFont measured_;
    mutable QSize margins_; // what the label adds around its lines, from its last size hint
};
