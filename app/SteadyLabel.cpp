#include "app/SteadyLabel.h"

#include <QFontMetrics>
#include <QLabel>
#include <QResizeEvent>

#include <algorithm>

SteadyLabel::SteadyLabel(QWidget* parent) : QWidget(parent), label_(new QLabel(this)) {
    setSizePolicy(label_->sizePolicy());
    // A label whose least and greatest sizes are equal does not disturb its parent's layout.
    label_->setFixedSize(0, 0);
}

QString SteadyLabel::text() const {
    return label_->text();
}

// The lines' extent alone: a label's own size hint lays the text out in full, which for a
// selectable label means a whole text document, at every new text.
QSize SteadyLabel::LinesSize(const QString& text) const {
    const QFontMetrics metrics = label_->fontMetrics();
    if (label_->font() != measured_) {
        measured_ = label_->font();
        lines_.clear();
    }
    const QStringList lines = text.split('\n');
    QList<int> widths(lines.size());
    int width = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        widths[i] = i < lines_.size() && lines[i] == lines_[i]
                        ? widths_[i]
                        : metrics.horizontalAdvance(lines[i]);
        width = std::max(width, widths[i]);
    }
    lines_ = lines;
    widths_ = std::move(widths);
    return {width, int(lines.size()) * metrics.lineSpacing()};
}

void SteadyLabel::setText(const QString& text) {
    if (text == label_->text())
        return;
    label_->setText(text);
    const QSize wanted = LinesSize(text) + margins_;
    if (wanted.width() > width() || wanted.height() > height())
        updateGeometry();
}

QSize SteadyLabel::sizeHint() const {
    const QSize hint = label_->sizeHint();
    margins_ = (hint - LinesSize(label_->text())).expandedTo({0, 0});
    return hint;
}

QSize SteadyLabel::minimumSizeHint() const {
    return label_->minimumSizeHint();
}

void SteadyLabel::resizeEvent(QResizeEvent* event) {
    label_->setFixedSize(event->size());
}
