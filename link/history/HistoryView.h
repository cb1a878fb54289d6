// The stretch of time the History plot shows, and how the user moves it. Live, the view ends at
// the clock's now (or, for a recording, at its last frame) and follows it; zooming, panning or
// centring on a time leaves live. Spans are in ms; a span of 0 shows everything from the
// history's first frame.
#pragma once

#include "link/history/BusHistory.h"

#include <cstdint>
#include <functional>

namespace orvik {

// [fromMs, toMs) in ms since 1970, never empty.
struct TimeWindow {
    std::int64_t fromMs = 0;
    std::int64_t toMs = 1;

    std::int64_t SpanMs() const { return toMs - fromMs; }
    // The time at `fraction` of the way from the start (0) to the end (1), and back.
    std::int64_t TimeAt(double fraction) const;
    double FractionOf(std::int64_t timeMs) const;
};

class HistoryView {
public:
    static constexpr std::int64_t SHORTEST_SPAN_MS = 10 * 1000;
    static constexpr std::int64_t LONGEST_SPAN_MS = 25LL * 3600 * 1000;

    // `now`: the clock of a live history (ms since 1970); empty for a recording.
    HistoryView(const BusHistory& history, std::function<std::int64_t()> now);

    // The view now: [From, To) in ms since 1970.
    std::int64_t From() const;
    std::int64_t To() const;
    // The same, made at least a millisecond long: what the plot maps onto its columns.
    TimeWindow Window() const;

    std::int64_t Span() const { return spanMs_; }
    bool Live() const { return live_; }

    // Out of live, the middle of the view stays where it is.
    void SetSpan(std::int64_t spanMs);
    void GoLive();
    // Shows `timeMs` in the middle (leaves live); everything becomes the span it covered.
    void CentreOn(std::int64_t timeMs);
    // Zooms in (4/5 of the span) or out (5/4), within the shortest and longest span. About a
    // point: the time at `fraction` of the view stays there, and the view leaves live. Without
    // a point: the middle stays, and live stays live.
    void ZoomAbout(bool in, double fraction);
    void Zoom(bool in);
    // Moves the view a tenth of its span later (+1) or earlier (-1); leaves live.
    void Step(int direction);
    // A drag: the view as it was at its start moves by `pixels` of `columns` (to the right:
    // earlier times); leaves live.
    void StartDrag();
    void DragBy(int pixels, int columns);

private:
    void Fix(); // out of live: the view stays where it is now

    const BusHistory& history_;
    std::function<std::int64_t()> now_;
    std::int64_t spanMs_ = 10 * 60 * 1000;
    bool live_ = true;
    std::int64_t endMs_ = 0; // the view's end, out of live
    std::int64_t dragEndMs_ = 0;
};

} // namespace orvik
