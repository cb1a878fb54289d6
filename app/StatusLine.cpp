#include "app/StatusLine.h"

#include "app/SteadyLabel.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>

using namespace orvik;

QString FitStatusText(const QString& text, const QString& part, const QFontMetrics& metrics,
                      int width) {
    const int over = metrics.horizontalAdvance(text) - width;
    if (over <= 0)
        return text;
    const int at = part.isEmpty() ? -1 : text.indexOf(part);
    if (at >= 0) {
        const int room = metrics.horizontalAdvance(part) - over;
        const QString shorter = metrics.elidedText(part, Qt::ElideMiddle, room);
        const QString fitted = text.left(at) + shorter + text.mid(at + part.size());
        if (!shorter.isEmpty() && metrics.horizontalAdvance(fitted) <= width)
            return fitted;
    }
    return metrics.elidedText(text, Qt::ElideMiddle, width);
}

// The window keeps its size and every control its place.
StatusLine::StatusLine(QStatusBar* bar, std::function<void()> reconnect)
    : bar_(bar), text_(new SteadyLabel(bar)), recordingMark_(new QLabel("Not recording", bar)),
      reconnect_(new QPushButton("&Reconnect", bar)) {
    bar->setObjectName("StatusBar1");
    bar->setSizeGripEnabled(false);
    text_->Label()->setObjectName("LineStatus");
    bar->addWidget(text_, 1);
    // Beside the text, never over it; it stays until a recording runs or is no longer wanted.
    recordingMark_->setObjectName("RecordingMark");
    recordingMark_->setStyleSheet("color: #b00000");
    recordingMark_->hide();
    bar->addPermanentWidget(recordingMark_);
    reconnect_->setObjectName("Reconnect1");
    reconnect_->setAutoDefault(false);
    reconnect_->setFlat(true);
    bar->addPermanentWidget(reconnect_);
    QObject::connect(reconnect_, &QPushButton::clicked, bar,
                     [reconnect = std::move(reconnect)] { reconnect(); });
}

void StatusLine::Show(const LineConnection& line, std::int64_t nowMs) {
    const LineStatus state = line.Supervisor().State();
    if (state == shownState_ && nowMs - shownAt_ < 1000)
        return;
    shownState_ = state;
    shownAt_ = nowMs;
    const QString whole = QString::fromStdString(line.StatusText(nowMs));
    QLabel* label = text_->Label();
    // Until the bar is laid out on screen it has no width of its own to fit.
    const QString text = bar_->isVisible()
                             ? FitStatusText(whole, QString::fromStdString(line.DeviceName()),
                                             label->fontMetrics(), label->contentsRect().width())
                             : whole;
    if (text_->text() != text)
        text_->setText(text);
    // Cut short, the whole text is in the tooltip and what a screen reader hears.
    const QString hidden = text == whole ? QString() : whole;
    if (label->toolTip() != hidden) {
        label->setToolTip(hidden);
        label->setAccessibleName(hidden);
    }
}

void StatusLine::ShowRecordingProblem(const QString& reason) {
    recordingMark_->setToolTip(reason);
    recordingMark_->setAccessibleDescription(reason);
    recordingMark_->setVisible(!reason.isEmpty());
}

void StatusLine::Notice(const QString& text, int ms) {
    bar_->showMessage(text, ms);
}

QString StatusLine::Text() const {
    const QString notice = bar_->currentMessage();
    return notice.isEmpty() ? text_->text() : notice;
}
