// The plot of one node's history: the eight load currents as curves with their trip currents
// as dashed lines, the input voltage in a pane of its own, on/off and fault as thin bands, and
// the events as marks on the time axis. Each pixel column shows the least and the greatest
// value of its time, as the history reduces them, so a day paints as fast as a minute.
//
// Live, the view ends at the clock's now; the wheel zooms about the cursor, dragging pans (and
// leaves live), a double click goes back to live; the crosshair shows the time and every value
// under the cursor. Without a mouse: the arrow keys pan, + and - zoom, End goes back to live.
#pragma once

#include "link/history/BusHistory.h"
#include "link/history/HistoryView.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <utility>
#include <vector>

class HistoryPlot : public QWidget {
    Q_OBJECT
public:
    // `now`: the clock of a live history (ms since 1970); empty for a recording, whose view
    // ends at its last frame.
    HistoryPlot(const orvik::BusHistory& history, std::function<std::int64_t()> now,
                QWidget* parent);

    void SetNode(int node);
    int Node() const { return node_; }
    // The span shown, in ms; 0: everything.
    void SetSpan(std::int64_t spanMs);
    std::int64_t Span() const { return view_.Span(); }
    bool Live() const { return view_.Live(); }
    // A time axis label: the time, with the date in front where it is not that of `previousMs`
    // (negative: none before).
    static QString AxisLabel(std::int64_t timeMs, std::int64_t previousMs, std::int64_t stepMs);
    // The plot in words, for a screen reader: the node, the span and the last values.
    QString TextAlternative() const;
    void GoLive();
    // Shows `timeMs` in the middle of the view (leaves live).
    void CentreOn(std::int64_t timeMs);
    void SetCurveShown(int breaker, bool shown);
    bool CurveShown(int breaker) const { return shown_[static_cast<std::size_t>(breaker - 1)]; }
    // The view now: [from, to) in ms since 1970.
    std::int64_t ViewFrom() const { return view_.From(); }
    std::int64_t ViewTo() const { return view_.To(); }
    // The time one pixel column of the plot stands for now, in ms.
    std::int64_t ColumnMs() const;

    // Draws the plot into `painter` at `size`: the widget's paint, a picture, a benchmark.
    void Render(QPainter& painter, const QSize& size);

    // The colour of breaker 1..8's curve.
    static QColor CurveColour(int breaker);
    // The room left and right of the time axis, for the scales' labels.
    static constexpr int MARGIN_LEFT = 64;
    static constexpr int MARGIN_RIGHT = 12;

signals:
    // The view or live changed by the user's hand (wheel, drag, double click).
    void ViewChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Areas; // where the panes, bands, axis and legend lie at a size, and the view's time
    // What a band shows of a breaker in a pixel column.
    enum class BandState : std::uint8_t { Off, Flashing, On, Faulted };
    Areas Layout(const QSize& size) const;
    std::int64_t TimeAt(int x, const Areas& a) const;
    int XOf(std::int64_t timeMs, const Areas& a) const;
    // The first whole step of local time in the view.
    static std::int64_t FirstTick(const Areas& a, std::int64_t step, std::int64_t offset);
    QString EventsNear(int x, const Areas& a) const;

    // The parts of Render, in the order they are drawn.
    void DrawLegend(QPainter& p, const Areas& a);
    // Reduces the shown breakers' currents into their columns; the scale's top and step.
    std::pair<double, double> ReduceCurrents(const Areas& a,
                                             const std::vector<orvik::TripSettings>& trips);
    void DrawScale(QPainter& p, const QRect& pane, double low, double high, double step,
                   const QString& unit);
    void DrawTimeGrid(QPainter& p, const Areas& a);
    void DrawCurrents(QPainter& p, const Areas& a, const std::vector<orvik::TripSettings>& trips,
                      double top);
    void DrawVoltage(QPainter& p, const Areas& a);
    // Each column from its least to its greatest value, joined to the column before.
    void DrawSeries(QPainter& p, const Areas& a, std::span<const orvik::ValueColumn> columns,
                    const QRect& pane, double low, double high, const QColor& colour);
    void DrawBands(QPainter& p, const Areas& a);
    void DrawAxisAndEvents(QPainter& p, const Areas& a);
    void DrawCrosshair(QPainter& p, const Areas& a);
    std::span<orvik::ValueColumn> Series(int series, const Areas& a);

    const orvik::BusHistory& history_;
    orvik::HistoryView view_;
    int node_ = 1;
    std::array<bool, orvik::BREAKER_COUNT> shown_{true, true, true, true, true, true, true, true};
    int crossX_ = -1;
    int dragX_ = -1;
    bool dragging_ = false;
    // Reused from paint to paint.
    std::vector<orvik::ValueColumn> columns_;
    std::vector<orvik::StateColumn> states_;
    std::vector<QLineF> lines_;
    std::vector<BandState> bands_;
};
