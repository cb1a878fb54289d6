// The main window's status line, in the strip below the Close button: the line's state with its
// figures, a notice for a while over it, a lasting "Not recording" mark while a recording that
// was asked for cannot be written, and "Reconnect" at its right end.
#pragma once

#include "link/line/LineConnection.h"

#include <QString>

#include <cstdint>
#include <functional>

class QFontMetrics;
class QLabel;
class QPushButton;
class QStatusBar;
class SteadyLabel;

// `text` as it fits in `width` pixels: whole when it fits, else with the middle of `part` (the
// port's device or address, where it is in the text) left out, so that the reason and the
// countdown stay; failing that, with the middle of the whole text left out.
QString FitStatusText(const QString& text, const QString& part, const QFontMetrics& metrics,
                      int width);

class StatusLine {
public:
    // How long a notice shows, in ms.
    static constexpr int NOTICE_MS = 4000;

    // Fills `bar`; a click on "Reconnect" calls `reconnect`.
    StatusLine(QStatusBar* bar, std::function<void()> reconnect);

    // The line's state: a new one at once, its figures (frames a second, seconds silent) once a
    // second, so that the bar is not laid out and painted anew at every tick.
    void Show(const orvik::LineConnection& line, std::int64_t nowMs);
    // Shows `text` over the state for `ms`.
    void Notice(const QString& text, int ms = NOTICE_MS);
    // The mark, with the whole reason as its tooltip; an empty reason takes it away.
    void ShowRecordingProblem(const QString& reason);
    // What it shows now: the notice, else the state.
    QString Text() const;
    QPushButton* ReconnectButton() const { return reconnect_; }

private:
    QStatusBar* bar_;
    SteadyLabel* text_;
    QLabel* recordingMark_;
    QPushButton* reconnect_;
    orvik::LineStatus shownState_ = orvik::LineStatus::Closed;
    std::int64_t shownAt_ = -1'000'000;
};
