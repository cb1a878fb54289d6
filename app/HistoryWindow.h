// The History window: one node's history as a plot, the events of the bus in a table under it,
// and the files of a history: recordings opened, CSV and events exported, the plot saved as a
// picture. It shows either the live history of the run (with the controls of the recording)
// or one read from a recording, which it then owns.
#pragma once

#include "link/history/BusHistory.h"

#include <QElapsedTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class EventsModel;
class HistoryPlot;
class QAction;
class QComboBox;
class QLabel;
class QLayout;
class QMenuBar;
class QPushButton;
class QTableView;
class QTimer;

// A span as the span box says it: "8 minutes", "6 min 24 s", "1 h 15 min".
QString SpanText(std::int64_t spanMs);

class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    // The live history of the run; `now` is its clock (ms since 1970).
    HistoryWindow(const orvik::BusHistory& history, std::function<std::int64_t()> now,
                  QWidget* parent);
    // A history read from a recording; `note` says where the recording broke, if it did.
    HistoryWindow(std::unique_ptr<orvik::BusHistory> history, const QString& file,
                  const QString& note, QWidget* parent);
    ~HistoryWindow() override;

    // Opens a recording in a History window of its own; false with a message when the file is
    // not a capture. `parent` owns the new window. A recording longer than the history holds
    // asks which 24 hours to show (the last offered first), unless `day` names them: 0 the
    // first, -1 the last. Its progress, questions and errors show over `asker` (the window the
    // user worked in), else over `parent`.
    static HistoryWindow* OpenRecording(const QString& path, QWidget* parent,
                                        std::optional<int> day = std::nullopt,
                                        QWidget* asker = nullptr);

    void SetNode(int node);
    HistoryPlot* Plot() const { return plot_; }
    EventsModel* Events() const { return events_; }
    QLabel* Note() const { return note_; }
    const orvik::BusHistory& History() const { return history_; }

    // The recording controls of the live window: what they show, and what a click asks.
    void SetRecordingState(bool recording, bool everyRun, const QString& note);
    std::function<void(bool record)> OnRecord;
    std::function<void(bool everyRun)> OnRecordEveryRun;

    // The files, also for tests and scripts: false (with a message shown) when one failed.
    bool ExportCsv(const QString& path);
    bool ExportEvents(const QString& path);
    bool SavePicture(const QString& path);
    // "Orvik node 3, 2026-12-10 07:30:00 to 07:40:00 (10 minutes)": what a saved picture shows.
    QString PictureTitle() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Build(bool live);
    QMenuBar* BuildMenus(bool live);
    QLayout* BuildBar();
    QWidget* BuildEvents();
    void ShowNote(const QString& note);
    void Refresh();
    void ApplyFilter();
    void SpanChosen(int index);
    void ShowSpanOf(std::int64_t spanMs);
    void CopyRows();

    std::unique_ptr<orvik::BusHistory> owned_;
    const orvik::BusHistory& history_;
    std::function<std::int64_t()> now_;
    HistoryPlot* plot_ = nullptr;
    EventsModel* events_ = nullptr;
    QTableView* table_ = nullptr;
    QComboBox* node_ = nullptr;
    QComboBox* span_ = nullptr;
    QPushButton* liveButton_ = nullptr;
    QComboBox* nodeFilter_ = nullptr;
    QComboBox* kindFilter_ = nullptr;
    QLabel* note_ = nullptr;
    QAction* record_ = nullptr;
    QAction* everyRun_ = nullptr;
    QTimer* timer_ = nullptr;
    std::uint64_t framesSeen_ = 0;
    std::uint64_t eventsSeen_ = 0;
    QElapsedTimer paintClock_;
    std::int64_t paintedAt_ = 0;
};
