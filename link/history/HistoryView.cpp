#include "link/history/HistoryView.h"

#include <algorithm>

namespace orvik {

std::int64_t TimeWindow::TimeAt(double fraction) const {
    return fromMs + static_cast<std::int64_t>(fraction * static_cast<double>(toMs - fromMs));
}

double TimeWindow::FractionOf(std::int64_t timeMs) const {
    return static_cast<double>(timeMs - fromMs) / static_cast<double>(toMs - fromMs);
}

HistoryView::HistoryView(const BusHistory& history, std::function<std::int64_t()> now)
    : history_(history), now_(std::move(now)) {}

std::int64_t HistoryView::To() const {
    if (!live_)
        return endMs_;
    const std::int64_t last = history_.Empty() ? 0 : history_.LastMs();
    return now_ ? std::max(now_(), last) : last + 1;
}

std::int64_t HistoryView::From() const {
    if (spanMs_ > 0)
        return To() - spanMs_;
    return history_.Empty() ? To() - SHORTEST_SPAN_MS : history_.FirstMs();
}

TimeWindow HistoryView::Window() const {
    TimeWindow w;
    w.fromMs = From();
    w.toMs = std::max(w.fromMs + 1, To());
    return w;
}

void HistoryView::SetSpan(std::int64_t spanMs) {
    if (!live_ && spanMs > 0) {
        const std::int64_t middle = From() / 2 + To() / 2;
        endMs_ = middle + spanMs / 2;
    }
    spanMs_ = spanMs;
}

void HistoryView::GoLive() {
    live_ = true;
}

void HistoryView::CentreOn(std::int64_t timeMs) {
    if (spanMs_ == 0)
        spanMs_ = std::max<std::int64_t>(SHORTEST_SPAN_MS, To() - From());
    live_ = false;
    endMs_ = timeMs + spanMs_ / 2;
}

void HistoryView::ZoomAbout(bool in, double fraction) {
    const TimeWindow w = Window();
    const std::int64_t span = w.SpanMs();
    const std::int64_t next = std::clamp<std::int64_t>(in ? span * 4 / 5 : span * 5 / 4,
                                                       SHORTEST_SPAN_MS, LONGEST_SPAN_MS);
    const std::int64_t t = w.TimeAt(fraction);
    live_ = false;
    spanMs_ = next;
    endMs_ = t + static_cast<std::int64_t>((1 - fraction) * static_cast<double>(next));
}

void HistoryView::Zoom(bool in) {
    const std::int64_t span = To() - From();
    if (!live_)
        Fix();
    spanMs_ = std::clamp<std::int64_t>(in ? span * 4 / 5 : span * 5 / 4, SHORTEST_SPAN_MS,
                                       LONGEST_SPAN_MS);
    if (!live_)
        endMs_ = To() - span / 2 + spanMs_ / 2;
}

void HistoryView::Step(int direction) {
    const std::int64_t span = To() - From();
    Fix();
    endMs_ += direction * span / 10;
}

void HistoryView::StartDrag() {
    Fix();
    dragEndMs_ = endMs_;
}

void HistoryView::DragBy(int pixels, int columns) {
    const double msPerPixel = static_cast<double>(Window().SpanMs()) / std::max(1, columns);
    endMs_ = dragEndMs_ - static_cast<std::int64_t>(pixels * msPerPixel);
}

void HistoryView::Fix() {
    if (live_ || spanMs_ == 0) {
        const std::int64_t from = From();
        endMs_ = To();
        spanMs_ = std::max<std::int64_t>(SHORTEST_SPAN_MS, endMs_ - from);
    }
    live_ = false;
}

} // namespace orvik
