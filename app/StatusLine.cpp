#include "app/StatusLine.h"

#include "app/SteadyLabel.h"

#include <QLabel>
#include <QPushButton>
#include <QStatusBar>

using namespace orvik;

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
    const QString text = QString::fromStdString(line.StatusText(nowMs));
    if (text_->text() != text)
        text_->setText(text);
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
