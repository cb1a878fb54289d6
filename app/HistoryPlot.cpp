#include "app/HistoryPlot.h"

#include "link/base/LocalTime.h"
#include "link/history/BusEvent.h"
#include "link/history/HistoryCsv.h"
#include "link/protocol/StatusTexts.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

using namespace orvik;

namespace {

constexpr int BREAKERS = static_cast<int>(BREAKER_COUNT);
constexpr int LEGEND_HEIGHT = 20;
constexpr int LEFT = HistoryPlot::MARGIN_LEFT;
constexpr int RIGHT = HistoryPlot::MARGIN_RIGHT;
constexpr int AXIS_HEIGHT = 34;
constexpr int BAND_ROW = 6;
constexpr int GAP = 16;
// The plot's columns in a widget `width` pixels wide.
int ColumnsAt(int width) {
    return std::max(1, width - LEFT - RIGHT);
}
// Points further apart than this are not joined: the node was away or the line silent.
constexpr std::int64_t JOIN_GAP_MS = 2500;

const QColor VOLTAGE_COLOUR(40, 40, 40);
const QColor FAULT_COLOUR(220, 0, 0);
const QColor GRID_COLOUR(225, 225, 225);

QString Tenths(std::uint32_t tenths) {
    return QString::fromStdString(FormatTenths(tenths));
}

// A step of 1, 2 or 5 times a power of ten that gives about `count` ticks over `range`.
double NiceStep(double range, int count) {
    const double raw = range / std::max(1, count);
    const double power = std::pow(10.0, std::floor(std::log10(std::max(raw, 1e-9))));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (raw <= m * power)
            return m * power;
    return 10 * power;
}

std::int64_t TimeStep(std::int64_t spanMs) {
    constexpr std::int64_t steps[] = {1000,    2000,    5000,     10000,    15000,    30000,
                                      60000,   120000,  300000,   600000,   900000,   1800000,
                                      3600000, 7200000, 10800000, 21600000, 43200000, 86400000};
    for (std::int64_t s : steps)
        if (spanMs / s <= 8)
            return s;
    return steps[std::size(steps) - 1];
}

QColor EventColour(EventKind kind) {
    switch (kind) {
    case EventKind::Fault:
        return FAULT_COLOUR;
    case EventKind::FaultCleared:
        return QColor(0, 150, 0);
    case EventKind::Joined:
    case EventKind::Left:
    case EventKind::Silent:
    case EventKind::FramesAgain:
    case EventKind::ClockJumped:
        return QColor(230, 130, 0);
    case EventKind::SettingChanged:
        return QColor(130, 60, 170);
    case EventKind::SwitchedOn:
    case EventKind::SwitchedOff:
        return QColor(30, 100, 200);
    case EventKind::Command:
        break;
    }
    return QColor(120, 120, 120);
}

// The height of `value` in `pane`, scaled from `low` at its bottom to `high` at its top.
double YIn(const QRect& pane, double value, double low, double high) {
    const double f = (value - low) / std::max(1e-9, high - low);
    return pane.bottom() - f * pane.height();
}

} // namespace

struct HistoryPlot::Areas {
    QRect legend;
    QRect currents;
    QRect voltage;
    QRect bands;
    QRect axis;
    std::int64_t fromMs = 0;
    std::int64_t toMs = 1;
    int Width() const { return std::max(1, currents.width()); }
    // Columns no further apart than this are joined.
    int JoinColumns() const {
        return std::max(
            1, static_cast<int>(JOIN_GAP_MS * Width() / std::max<std::int64_t>(1, toMs - fromMs)));
    }
};

HistoryPlot::HistoryPlot(const BusHistory& history, std::function<std::int64_t()> now,
                         QWidget* parent)
    : QWidget(parent), history_(history), view_(history, std::move(now)) {
    setObjectName("HistoryPlot");
    setMouseTracking(true);
    setMinimumSize(480, 320);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName("History plot");
}

QString HistoryPlot::TextAlternative() const {
    const std::int64_t span = view_.Span();
    const auto lastSpan = [](std::int64_t n, const char* unit) {
        return QString("the last %1 %2%3").arg(n).arg(unit).arg(n == 1 ? "" : "s");
    };
    QString text =
        QString("Orvik node %1, ").arg(node_) +
        (span <= 0               ? QString("the whole history")
         : span % 3'600'000 == 0 ? lastSpan(span / 3'600'000, "hour")
                                 : lastSpan(std::max<std::int64_t>(span / 60'000, 1), "minute"));
    const std::size_t count = history_.PointCount(node_);
    if (count == 0)
        return text + ": no status frame has reported it yet";
    const HistoryPoint last = history_.Point(node_, count - 1);
    text +=
        QString(", last reported at %1:").arg(QString::fromStdString(LocalTimeText(last.timeMs)));
    for (int b = 1; b <= BREAKERS; ++b) {
        const std::uint8_t bit = BitMaskTable[static_cast<std::size_t>(b - 1)];
        text += QString(" breaker %1 %2 A%3%4;")
                    .arg(b)
                    .arg(Tenths(last.current[static_cast<std::size_t>(b - 1)]))
                    .arg(last.on & bit ? " on" : " off")
                    .arg(last.fault & bit ? " fault" : "");
    }
    return text + " input voltage " + Tenths(last.voltage) + " V";
}

QString HistoryPlot::AxisLabel(std::int64_t timeMs, std::int64_t previousMs, std::int64_t stepMs) {
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(timeMs);
    const QString time = at.toString(stepMs < 60000 ? "HH:mm:ss" : "HH:mm");
    if (previousMs >= 0 && QDateTime::fromMSecsSinceEpoch(previousMs).date() == at.date())
        return time;
    return QLocale::c().toString(at.date(), "d MMM") + " " + time;
}

QColor HistoryPlot::CurveColour(int breaker) {
    static const QColor colours[BREAKER_COUNT] = {
        QColor(31, 119, 180), QColor(255, 127, 14),  QColor(44, 160, 44),  QColor(148, 103, 189),
        QColor(140, 86, 75),  QColor(227, 119, 194), QColor(23, 190, 207), QColor(188, 189, 34)};
    return colours[std::clamp(breaker, 1, BREAKERS) - 1];
}

void HistoryPlot::SetNode(int node) {
    node_ = std::clamp(node, 1, static_cast<int>(NODE_COUNT));
    update();
}

void HistoryPlot::SetSpan(std::int64_t spanMs) {
    view_.SetSpan(spanMs);
    update();
}

void HistoryPlot::GoLive() {
    view_.GoLive();
    update();
}

void HistoryPlot::CentreOn(std::int64_t timeMs) {
    view_.CentreOn(timeMs);
    update();
}

void HistoryPlot::SetCurveShown(int breaker, bool shown) {
    shown_[static_cast<std::size_t>(std::clamp(breaker, 1, BREAKERS) - 1)] = shown;
    update();
}

std::int64_t HistoryPlot::ColumnMs() const {
    return (ViewTo() - ViewFrom()) / ColumnsAt(width());
}

HistoryPlot::Areas HistoryPlot::Layout(const QSize& size) const {
    Areas a;
    const int width = ColumnsAt(size.width());
    a.legend = QRect(LEFT, 0, width, LEGEND_HEIGHT);
    const int bandsHeight = BREAKERS * BAND_ROW;
    const int panes =
        std::max(60, size.height() - LEGEND_HEIGHT - AXIS_HEIGHT - bandsHeight - 3 * GAP);
    const int currents = panes * 7 / 10;
    a.currents = QRect(LEFT, LEGEND_HEIGHT + GAP / 2, width, currents);
    a.voltage = QRect(LEFT, a.currents.bottom() + GAP, width, panes - currents);
    a.bands = QRect(LEFT, a.voltage.bottom() + GAP, width, bandsHeight);
    a.axis = QRect(LEFT, a.bands.bottom() + GAP / 2, width, AXIS_HEIGHT);
    const TimeWindow window = view_.Window();
    a.fromMs = window.fromMs;
    a.toMs = window.toMs;
    return a;
}

std::int64_t HistoryPlot::TimeAt(int x, const Areas& a) const {
    const double f = static_cast<double>(x - a.currents.left()) / a.Width();
    return TimeWindow{a.fromMs, a.toMs}.TimeAt(f);
}

int HistoryPlot::XOf(std::int64_t timeMs, const Areas& a) const {
    const double f = TimeWindow{a.fromMs, a.toMs}.FractionOf(timeMs);
    return a.currents.left() + static_cast<int>(std::floor(f * a.Width()));
}

std::int64_t HistoryPlot::FirstTick(const Areas& a, std::int64_t step, std::int64_t offset) {
    return ((a.fromMs + offset) / step + 1) * step - offset;
}

std::span<ValueColumn> HistoryPlot::Series(int series, const Areas& a) {
    const auto w = static_cast<std::size_t>(a.Width());
    return std::span<ValueColumn>(columns_.data() + w * static_cast<std::size_t>(series), w);
}

void HistoryPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Render(painter, size());
}

void HistoryPlot::Render(QPainter& p, const QSize& size) {
    const Areas a = Layout(size);
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    p.setFont(font());
    const auto w = static_cast<std::size_t>(a.Width());
    columns_.resize(w * (BREAKER_COUNT + 1));
    states_.resize(w);

    DrawLegend(p, a);
    const std::vector<TripSettings> trips = history_.TripSettingsIn(node_, a.fromMs, a.toMs);
    const auto [top, step] = ReduceCurrents(a, trips);
    DrawScale(p, a.currents, 0, top, step, " A");
    DrawTimeGrid(p, a);
    DrawCurrents(p, a, trips, top);
    DrawVoltage(p, a);
    DrawBands(p, a);
    DrawAxisAndEvents(p, a);
    if (history_.PointCount(node_) == 0) {
        p.setPen(Qt::gray);
        p.drawText(a.currents, Qt::AlignCenter,
                   QString("No status frame has reported Orvik node %1 yet").arg(node_));
    }
    DrawCrosshair(p, a);
}

// A click on an entry hides or shows its curve.
void HistoryPlot::DrawLegend(QPainter& p, const Areas& a) {
    const int entry = a.legend.width() / BREAKERS;
    for (int b = 1; b <= BREAKERS; ++b) {
        const QRect r(a.legend.left() + (b - 1) * entry, a.legend.top() + 3, entry, 14);
        const bool shown = CurveShown(b);
        p.fillRect(QRect(r.left(), r.top() + 3, 14, 8), shown ? CurveColour(b) : GRID_COLOUR);
        p.setPen(shown ? Qt::black : Qt::gray);
        p.drawText(r.adjusted(18, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                   QString("Breaker %1").arg(b));
    }
}

// Each series is reduced once: the scale reaches the highest current and trip level shown.
std::pair<double, double> HistoryPlot::ReduceCurrents(const Areas& a,
                                                      const std::vector<TripSettings>& trips) {
    double top = 1.0; // amperes
    for (int b = 1; b <= BREAKERS; ++b) {
        if (!CurveShown(b))
            continue;
        history_.ValueColumns(node_, b, a.fromMs, a.toMs, Series(b, a));
        for (const ValueColumn& c : Series(b, a))
            if (c.seen)
                top = std::max(top, c.max / 10.0);
        for (const TripSettings& t : trips)
            top = std::max(top, t.tripCurrent[static_cast<std::size_t>(b - 1)] / 10.0);
    }
    const double step = NiceStep(top * 1.1, 5);
    return {std::ceil(top * 1.1 / step) * step, step};
}

// The pane's frame, its grid lines and their labels at the left.
void HistoryPlot::DrawScale(QPainter& p, const QRect& pane, double low, double high, double step,
                            const QString& unit) {
    p.setPen(GRID_COLOUR);
    p.drawRect(pane);
    for (double v = low; v <= high + 1e-9; v += step) {
        const double y = YIn(pane, v, low, high);
        p.setPen(GRID_COLOUR);
        p.drawLine(QPointF(pane.left(), y), QPointF(pane.right(), y));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, y - 8, LEFT - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(v, 'g', 4) + unit);
    }
}

// The time grid under the curves.
void HistoryPlot::DrawTimeGrid(QPainter& p, const Areas& a) {
    const std::int64_t step = TimeStep(a.toMs - a.fromMs);
    const std::int64_t offset = QDateTime::fromMSecsSinceEpoch(a.fromMs).offsetFromUtc() * 1000LL;
    p.setPen(GRID_COLOUR);
    for (std::int64_t t = FirstTick(a, step, offset); t < a.toMs; t += step) {
        const int x = XOf(t, a);
        p.drawLine(x, a.currents.top(), x, a.currents.bottom());
        p.drawLine(x, a.voltage.top(), x, a.voltage.bottom());
    }
}

// The curves, and each breaker's trip current dashed in its colour for the time it was in force.
void HistoryPlot::DrawCurrents(QPainter& p, const Areas& a, const std::vector<TripSettings>& trips,
                               double top) {
    p.save();
    p.setClipRect(a.currents.adjusted(0, 0, 1, 1));
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int b = 1; b <= BREAKERS; ++b) {
        if (CurveShown(b))
            DrawSeries(p, a, Series(b, a), a.currents, 0, top, CurveColour(b));
    }
    for (std::size_t i = 0; i < trips.size(); ++i) {
        const std::int64_t from = std::max(trips[i].timeMs, a.fromMs);
        const std::int64_t to = i + 1 < trips.size() ? trips[i + 1].timeMs : a.toMs;
        for (int b = 1; b <= BREAKERS; ++b) {
            const auto trip = trips[i].tripCurrent[static_cast<std::size_t>(b - 1)];
            if (!CurveShown(b) || trip == 0)
                continue;
            const double y = YIn(a.currents, trip / 10.0, 0, top);
            p.setPen(QPen(CurveColour(b), 1, Qt::DashLine));
            p.drawLine(QPointF(XOf(from, a), y), QPointF(XOf(to, a), y));
        }
    }
    p.restore();
}

// The input voltage, in a pane of its own, its scale around what the view holds.
void HistoryPlot::DrawVoltage(QPainter& p, const Areas& a) {
    const std::span<ValueColumn> voltage = Series(SERIES_VOLTAGE, a);
    history_.ValueColumns(node_, SERIES_VOLTAGE, a.fromMs, a.toMs, voltage);
    double low = 1e9, high = -1e9;
    for (const ValueColumn& c : voltage)
        if (c.seen) {
            low = std::min(low, c.min / 10.0);
            high = std::max(high, c.max / 10.0);
        }
    if (low > high)
        low = 0, high = 15;
    const double step = NiceStep(std::max(1.0, high - low), 3);
    low = std::floor((low - step / 2) / step) * step;
    high = std::ceil((high + step / 2) / step) * step;
    DrawScale(p, a.voltage, low, high, step, " V");
    p.save();
    p.setClipRect(a.voltage.adjusted(0, 0, 1, 1));
    DrawSeries(p, a, voltage, a.voltage, low, high, VOLTAGE_COLOUR);
    p.restore();
}

void HistoryPlot::DrawSeries(QPainter& p, const Areas& a, std::span<const ValueColumn> columns,
                             const QRect& pane, double low, double high, const QColor& colour) {
    const int joinPx = a.JoinColumns();
    lines_.clear();
    int lastX = -1;
    double lastY = 0;
    for (int x = 0; x < a.Width(); ++x) {
        const ValueColumn& c = columns[static_cast<std::size_t>(x)];
        if (!c.seen)
            continue;
        const double y0 = YIn(pane, c.min / 10.0, low, high);
        const double y1 = YIn(pane, c.max / 10.0, low, high);
        const double px = pane.left() + x + 0.5;
        if (lastX >= 0 && x - lastX <= joinPx)
            lines_.emplace_back(QPointF(pane.left() + lastX + 0.5, lastY), QPointF(px, y0));
        lines_.emplace_back(QPointF(px, y0), QPointF(px, y1 - (y0 == y1 ? 0.5 : 0)));
        lastX = x;
        lastY = y1;
    }
    p.setPen(QPen(colour, 0)); // cosmetic: one pixel wide, the fast way
    p.drawLines(lines_.data(), static_cast<int>(lines_.size()));
}

// On/off and fault, a thin band per breaker: its colour while on (lighter while it flashes),
// red while faulted. Columns between two frames close together take the state of the one
// before, as the curves are joined.
void HistoryPlot::DrawBands(QPainter& p, const Areas& a) {
    const int width = a.Width();
    const int joinPx = a.JoinColumns();
    history_.StateColumns(node_, a.fromMs, a.toMs, states_);
    bands_.assign(static_cast<std::size_t>(width), BandState::Off);
    for (int b = 1; b <= BREAKERS; ++b) {
        const std::uint8_t bit = BitMaskTable[static_cast<std::size_t>(b - 1)];
        int lastSeen = -1;
        for (int x = 0; x < width; ++x) {
            const StateColumn& s = states_[static_cast<std::size_t>(x)];
            if (!s.seen)
                continue;
            const BandState state = (s.faultAny & bit) ? BandState::Faulted
                                    : (s.onAll & bit)  ? BandState::On
                                    : (s.onAny & bit)  ? BandState::Flashing
                                                       : BandState::Off;
            const bool joined = lastSeen >= 0 && x - lastSeen <= joinPx;
            for (int g = lastSeen + 1; g < x; ++g)
                bands_[static_cast<std::size_t>(g)] =
                    joined ? bands_[static_cast<std::size_t>(lastSeen)] : BandState::Off;
            bands_[static_cast<std::size_t>(x)] = state;
            lastSeen = x;
        }
        for (int g = lastSeen + 1; g < width; ++g)
            bands_[static_cast<std::size_t>(g)] = BandState::Off;
        const QColor on = CurveColour(b);
        const QColor flashing = on.lighter(160);
        const int y = a.bands.top() + (b - 1) * BAND_ROW;
        int runStart = 0;
        for (int x = 1; x <= width; ++x) {
            const BandState state = bands_[static_cast<std::size_t>(runStart)];
            if (x < width && bands_[static_cast<std::size_t>(x)] == state)
                continue;
            if (state != BandState::Off)
                p.fillRect(QRect(a.bands.left() + runStart, y, x - runStart, BAND_ROW - 1),
                           state == BandState::Faulted ? FAULT_COLOUR
                           : state == BandState::On    ? on
                                                       : flashing);
            runStart = x;
        }
    }
    p.setPen(Qt::black);
    p.drawText(QRect(0, a.bands.top(), LEFT - 6, a.bands.height()),
               Qt::AlignRight | Qt::AlignVCenter, "On/fault");
}

// The time axis, and the events as marks on it; a fault also as a dotted line over the panes.
void HistoryPlot::DrawAxisAndEvents(QPainter& p, const Areas& a) {
    const std::int64_t step = TimeStep(a.toMs - a.fromMs);
    const std::int64_t offset = QDateTime::fromMSecsSinceEpoch(a.fromMs).offsetFromUtc() * 1000LL;
    p.setPen(Qt::gray);
    p.drawLine(a.axis.topLeft(), a.axis.topRight());
    const QFontMetrics fm(p.font());
    const bool acrossDays = QDateTime::fromMSecsSinceEpoch(a.fromMs).date() !=
                            QDateTime::fromMSecsSinceEpoch(a.toMs).date();
    std::int64_t previous = acrossDays ? -1 : a.fromMs;
    for (std::int64_t t = FirstTick(a, step, offset); t < a.toMs; t += step) {
        const int x = XOf(t, a);
        p.setPen(Qt::black);
        p.drawLine(x, a.axis.top(), x, a.axis.top() + 4);
        const QString label = AxisLabel(t, previous, step);
        previous = t;
        // Centred under its tick, but never cut at either end of the plot.
        const int w = fm.horizontalAdvance(label) + 4;
        const int left = std::clamp(x - w / 2, 0, std::max(0, size().width() - w));
        p.drawText(QRect(left, a.axis.top() + 14, w, fm.height()), Qt::AlignCenter, label);
    }
    const BusEventLog& events = history_.Events();
    for (std::uint64_t s = events.SeqAt(a.fromMs); s < events.NextSeq(); ++s) {
        const BusEvent* e = events.Find(s);
        if (!e || e->timeMs >= a.toMs)
            break;
        if (!EventOfNode(*e, node_))
            continue;
        const int x = XOf(e->timeMs, a);
        const int y = a.axis.top() + 1;
        const QPointF mark[3] = {QPointF(x - 4, y + 9), QPointF(x + 4, y + 9), QPointF(x, y + 1)};
        p.setPen(Qt::NoPen);
        p.setBrush(EventColour(e->kind));
        p.drawPolygon(mark, 3);
        if (e->kind == EventKind::Fault) {
            p.setPen(QPen(FAULT_COLOUR, 1, Qt::DotLine));
            p.drawLine(x, a.currents.top(), x, a.bands.bottom());
        }
    }
    p.setBrush(Qt::NoBrush);
}

// The time and every value under the cursor, in a box beside it.
void HistoryPlot::DrawCrosshair(QPainter& p, const Areas& a) {
    if (crossX_ < a.currents.left() || crossX_ > a.currents.right())
        return;
    const QFontMetrics fm(font());
    const std::int64_t t = TimeAt(crossX_, a);
    p.setPen(QPen(Qt::black, 1, Qt::DashLine));
    p.drawLine(crossX_, a.currents.top(), crossX_, a.bands.bottom());
    QStringList lines{QString::fromStdString(LocalTimeText(t))};
    if (const auto point = history_.PointAt(node_, t); point && t - point->timeMs < 5000) {
        for (int b = 1; b <= BREAKERS; ++b) {
            if (!CurveShown(b))
                continue;
            const std::uint8_t bit = BitMaskTable[static_cast<std::size_t>(b - 1)];
            lines << QString("Breaker %1: %2 A%3%4")
                         .arg(b)
                         .arg(Tenths(point->current[static_cast<std::size_t>(b - 1)]))
                         .arg(point->on & bit ? ", on" : ", off")
                         .arg(point->fault & bit ? ", fault" : "");
        }
        lines << "Input voltage: " + Tenths(point->voltage) + " V";
    } else {
        lines << QString("Orvik node %1 not reported").arg(node_);
    }
    int boxWidth = 0;
    for (const QString& l : lines)
        boxWidth = std::max(boxWidth, fm.horizontalAdvance(l));
    const int boxHeight = fm.height() * static_cast<int>(lines.size()) + 8;
    int left = crossX_ + 10;
    if (left + boxWidth + 12 > a.currents.right())
        left = crossX_ - boxWidth - 22;
    const QRect box(left, a.currents.top() + 6, boxWidth + 12, boxHeight);
    p.fillRect(box, QColor(255, 255, 240, 215));
    p.setPen(Qt::gray);
    p.drawRect(box);
    p.setPen(Qt::black);
    for (int i = 0; i < lines.size(); ++i)
        p.drawText(box.left() + 6, box.top() + 4 + fm.ascent() + i * fm.height(), lines[i]);
}

QString HistoryPlot::EventsNear(int x, const Areas& a) const {
    QStringList texts;
    const std::int64_t from = TimeAt(x - 4, a);
    const std::int64_t to = TimeAt(x + 5, a);
    const BusEventLog& events = history_.Events();
    for (std::uint64_t s = events.SeqAt(from); s < events.NextSeq() && texts.size() < 12; ++s) {
        const BusEvent* e = events.Find(s);
        if (!e || e->timeMs >= to)
            break;
        if (EventOfNode(*e, node_))
            texts << QString::fromStdString(LocalTimeText(e->timeMs).substr(11, 12) + "  " +
                                            EventText(*e));
    }
    return texts.join('\n');
}

bool HistoryPlot::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const Areas a = Layout(size());
        if (help->pos().y() >= a.axis.top() - 2 && help->pos().y() <= a.axis.top() + 14) {
            const QString text = EventsNear(help->pos().x(), a);
            if (!text.isEmpty()) {
                QToolTip::showText(help->globalPos(), text, this);
                return true;
            }
        }
        QToolTip::hideText();
        e->ignore();
        return true;
    }
    return QWidget::event(e);
}

void HistoryPlot::wheelEvent(QWheelEvent* e) {
    const int delta = e->angleDelta().y();
    if (delta == 0)
        return;
    // The time under the cursor stays under it.
    const Areas a = Layout(size());
    const int x = static_cast<int>(e->position().x());
    view_.ZoomAbout(delta > 0, static_cast<double>(x - a.currents.left()) / a.Width());
    update();
    emit ViewChanged();
}

void HistoryPlot::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    const Areas a = Layout(size());
    const QPoint at = e->position().toPoint();
    if (a.legend.contains(at)) {
        const int entry = a.legend.width() / BREAKERS;
        const int b = (at.x() - a.legend.left()) / std::max(1, entry) + 1;
        if (b >= 1 && b <= BREAKERS)
            SetCurveShown(b, !CurveShown(b));
        return;
    }
    dragX_ = at.x();
    dragging_ = false;
}

void HistoryPlot::mouseMoveEvent(QMouseEvent* e) {
    crossX_ = static_cast<int>(e->position().x());
    // A click alone leaves the view as it is; a drag of a few pixels takes it by the hand.
    if (dragX_ >= 0 && (e->buttons() & Qt::LeftButton) && !dragging_ &&
        std::abs(crossX_ - dragX_) > 3) {
        dragging_ = true;
        view_.StartDrag();
    }
    if (dragging_ && (e->buttons() & Qt::LeftButton)) {
        view_.DragBy(crossX_ - dragX_, ColumnsAt(width()));
        emit ViewChanged();
    }
    update();
}

void HistoryPlot::mouseReleaseEvent(QMouseEvent*) {
    dragX_ = -1;
    dragging_ = false;
}

void HistoryPlot::mouseDoubleClickEvent(QMouseEvent*) {
    GoLive();
    emit ViewChanged();
}

void HistoryPlot::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
        view_.Step(e->key() == Qt::Key_Left ? -1 : 1);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Minus:
    case Qt::Key_Equal:
        view_.Zoom(e->key() != Qt::Key_Minus);
        break;
    case Qt::Key_End:
        view_.GoLive();
        break;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    update();
    emit ViewChanged();
}

void HistoryPlot::leaveEvent(QEvent*) {
    crossX_ = -1;
    update();
}
