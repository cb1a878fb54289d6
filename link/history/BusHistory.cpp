#include "link/history/BusHistory.h"

#include "link/base/SampleRing.h"

#include <algorithm>
#include <limits>

namespace orvik {

namespace {

// The column of [fromMs, toMs) split in `count` that `timeMs` falls in; -1 when outside.
std::ptrdiff_t ColumnOf(std::int64_t timeMs, std::int64_t fromMs, std::int64_t toMs,
                        std::size_t count) {
    if (timeMs < fromMs || timeMs >= toMs)
        return -1;
    // In doubles: a span may run from the earliest to the latest time there is.
    const double at = static_cast<double>(timeMs) - static_cast<double>(fromMs);
    const double span = static_cast<double>(toMs) - static_cast<double>(fromMs);
    return std::min(static_cast<std::ptrdiff_t>(at * static_cast<double>(count) / span),
                    static_cast<std::ptrdiff_t>(count) - 1);
}

} // namespace

struct BusHistory::Track {
    explicit Track(const HistoryLimits& l)
        : frames(l.frames), seconds(l.seconds), trips(l.tripChanges) {}
    SampleRing<FrameSample> frames;
    SampleRing<SecondSample> seconds;
    SampleRing<TripSettings, 256> trips;
};

BusHistory::BusHistory(HistoryLimits limits)
    : limits_(limits), events_(limits.events), clock_(limits.clockAheadMs) {}

BusHistory::~BusHistory() = default;

void BusHistory::Clear() {
    for (auto& t : tracks_)
        t.reset();
    events_.Clear();
    deriver_.Clear();
    clock_.Clear();
    any_ = false;
    originMs_ = lastRel_ = 0;
    statusFrames_ = 0;
}

std::int64_t BusHistory::Rel(std::int64_t timeMs) {
    timeMs = std::max<std::int64_t>(timeMs, 0);
    if (!any_) {
        any_ = true;
        originMs_ = timeMs / 1000 * 1000;
        clock_.See(timeMs);
    } else if (const std::int64_t jump = clock_.See(timeMs)) {
        ClockJumped(timeMs, jump);
    }
    const std::int64_t rel = std::max(lastRel_, timeMs - originMs_);
    if (rel - lastRel_ >= limits_.keepMs) {
        // A gap past everything kept (a capture joined to a later one): the points start
        // again from here, so stored times stay small.
        for (auto& t : tracks_)
            if (t) {
                t->frames.Clear();
                t->seconds.Clear();
            }
        originMs_ = timeMs / 1000 * 1000;
        lastRel_ = timeMs - originMs_;
        return lastRel_;
    }
    lastRel_ = rel;
    return lastRel_;
}

// The time goes on from the newest at the new clock: the origin, the events and the trip
// settings move by the jump in whole seconds, so that the seconds stay whole and nothing
// kept is out of order.
void BusHistory::ClockJumped(std::int64_t timeMs, std::int64_t jumpMs) {
    // Whole seconds down: the new time then lands at or after the newest kept.
    const std::int64_t shift = jumpMs >= 0 ? jumpMs / 1000 * 1000 : -((999 - jumpMs) / 1000 * 1000);
    originMs_ += shift;
    events_.ShiftTimes(shift);
    for (auto& t : tracks_)
        if (t)
            for (std::size_t i = 0; i < t->trips.Size(); ++i)
                t->trips[i].timeMs += shift;
    // Told at its time on the new clock; what comes after is not earlier.
    lastRel_ = std::max(lastRel_, timeMs - originMs_);
    deriver_.ClockJumped(originMs_ + lastRel_, jumpMs, shift);
}

std::int64_t BusHistory::RelFor(std::int64_t timeMs) const noexcept {
    // Both far below the ends of the range: only the earliest and the latest time there is
    // (a span of everything) would overflow.
    constexpr std::int64_t FAR = std::numeric_limits<std::int64_t>::max() / 2;
    return std::clamp(timeMs, -FAR, FAR) - originMs_;
}

std::int64_t BusHistory::RelOf(std::uint32_t stored) const noexcept {
    // Everything kept lies within 24 hours of the newest time, far less than 2^32 ms.
    return lastRel_ - static_cast<std::uint32_t>(static_cast<std::uint32_t>(lastRel_) - stored);
}

BusHistory::Track& BusHistory::TrackOf(std::size_t node) {
    if (!tracks_[node])
        tracks_[node] = std::make_unique<Track>(limits_);
    return *tracks_[node];
}

const BusHistory::Track* BusHistory::Find(int node) const noexcept {
    if (node < 1 || node > static_cast<int>(NODE_COUNT))
        return nullptr;
    return tracks_[static_cast<std::size_t>(node - 1)].get();
}

void BusHistory::AddStatus(std::int64_t timeMs, const StatusRecord& record) {
    const std::int64_t rel = Rel(timeMs);
    ++statusFrames_;
    for (std::size_t n = 0; n < NODE_COUNT; ++n) {
        if (record.IsNodePresent(n))
            Append(TrackOf(n), n, record);
        if (tracks_[n])
            Prune(*tracks_[n], rel - limits_.keepMs);
    }
    const std::int64_t t = originMs_ + rel;
    deriver_.Status(t, record);
    events_.DropBefore(t - limits_.keepMs);
}

void BusHistory::Append(Track& track, std::size_t n, const StatusRecord& r) {
    if (track.frames.Full()) {
        Fold(track, track.frames.Front());
        track.frames.PopFront();
    }
    FrameSample& s = track.frames.PushBack();
    s.timeMs = static_cast<std::uint32_t>(lastRel_);
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b)
        s.current[b] = r.Current(n, b);
    s.voltage = r.InputVoltage(n);
    s.on = r.BreakerOn(n);
    s.fault = r.BreakerFault(n);
}

// A frame leaving the frame tier joins its second.
void BusHistory::Fold(Track& track, const FrameSample& f) {
    const auto second = static_cast<std::uint32_t>(RelOf(f.timeMs) / 1000);
    if (!track.seconds.Empty() && track.seconds.Back().second == second) {
        SecondSample& s = track.seconds.Back();
        for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
            s.currentMin[b] = std::min(s.currentMin[b], f.current[b]);
            s.currentMax[b] = std::max(s.currentMax[b], f.current[b]);
        }
        s.current = f.current;
        s.voltageMin = std::min(s.voltageMin, f.voltage);
        s.voltageMax = std::max(s.voltageMax, f.voltage);
        s.voltage = f.voltage;
        s.onAll &= f.on;
        s.onAny |= f.on;
        s.on = f.on;
        s.faultAll &= f.fault;
        s.faultAny |= f.fault;
        s.fault = f.fault;
        return;
    }
    if (track.seconds.Full())
        track.seconds.PopFront();
    SecondSample& s = track.seconds.PushBack();
    s.second = second;
    s.currentMin = s.currentMax = s.current = f.current;
    s.voltageMin = s.voltageMax = s.voltage = f.voltage;
    s.onAll = s.onAny = s.on = f.on;
    s.faultAll = s.faultAny = s.fault = f.fault;
}

void BusHistory::Prune(Track& track, std::int64_t cutRel) {
    if (cutRel <= 0)
        return;
    while (!track.seconds.Empty() && (track.seconds.Front().second + 1) * 1000LL <= cutRel)
        track.seconds.PopFront();
    while (!track.frames.Empty() && RelOf(track.frames.Front().timeMs) < cutRel)
        track.frames.PopFront();
}

void BusHistory::AddSetupReply(std::int64_t timeMs, const SetupReply& reply) {
    const std::int64_t t = originMs_ + Rel(timeMs);
    deriver_.SetupReply(t, reply);
    if (reply.node >= NODE_COUNT)
        return;
    Track& track = TrackOf(reply.node);
    if (!track.trips.Empty() && track.trips.Back().tripCurrent == reply.trips.TripCurrent &&
        track.trips.Back().tripTime == reply.trips.TripTime)
        return;
    if (track.trips.Full())
        track.trips.PopFront();
    track.trips.PushBack() = {t, reply.trips.TripCurrent, reply.trips.TripTime};
}

void BusHistory::AddCommand(std::int64_t timeMs, const SentCommand& command) {
    if (!command.written)
        return; // not even its time counts
    deriver_.Command(originMs_ + Rel(timeMs), command);
}

void BusHistory::Tick(std::int64_t timeMs) {
    if (!any_)
        return;
    timeMs = std::max<std::int64_t>(timeMs, 0);
    if (const std::int64_t jump = clock_.See(timeMs))
        ClockJumped(timeMs, jump);
    deriver_.Tick(std::max(timeMs, LastMs()));
}

std::uint8_t BusHistory::Nodes() const noexcept {
    std::uint8_t mask = 0;
    for (std::size_t n = 0; n < NODE_COUNT; ++n)
        if (tracks_[n] && (!tracks_[n]->frames.Empty() || !tracks_[n]->seconds.Empty()))
            mask |= BitMaskTable[n];
    return mask;
}

std::int64_t BusHistory::FirstMs() const noexcept {
    std::int64_t first = LastMs();
    for (std::size_t n = 0; n < NODE_COUNT; ++n)
        if (PointCount(static_cast<int>(n + 1)) > 0)
            first = std::min(first, Point(static_cast<int>(n + 1), 0).timeMs);
    return first;
}

std::size_t BusHistory::PointCount(int node) const noexcept {
    const Track* t = Find(node);
    return t ? t->seconds.Size() + t->frames.Size() : 0;
}

HistoryPoint BusHistory::Point(int node, std::size_t i) const {
    const Track& t = *Find(node);
    HistoryPoint p;
    if (i < t.seconds.Size()) {
        const SecondSample& s = t.seconds[i];
        p.timeMs = originMs_ + s.second * 1000LL;
        p.wholeSecond = true;
        p.current = s.current;
        p.currentMin = s.currentMin;
        p.currentMax = s.currentMax;
        p.voltage = s.voltage;
        p.voltageMin = s.voltageMin;
        p.voltageMax = s.voltageMax;
        p.on = s.on;
        p.fault = s.fault;
        p.onAny = s.onAny;
        p.onAll = s.onAll;
        p.faultAny = s.faultAny;
        p.faultAll = s.faultAll;
        return p;
    }
    const FrameSample& f = t.frames[i - t.seconds.Size()];
    p.timeMs = originMs_ + RelOf(f.timeMs);
    p.current = p.currentMin = p.currentMax = f.current;
    p.voltage = p.voltageMin = p.voltageMax = f.voltage;
    p.on = p.onAny = p.onAll = f.on;
    p.fault = p.faultAny = p.faultAll = f.fault;
    return p;
}

std::size_t BusHistory::PointIndexAt(int node, std::int64_t timeMs) const {
    const Track* t = Find(node);
    if (!t)
        return 0;
    const std::int64_t rel = RelFor(timeMs);
    const std::size_t s =
        t->seconds.LowerBound([&](const SecondSample& x) { return x.second * 1000LL < rel; });
    if (s < t->seconds.Size())
        return s;
    return s + t->frames.LowerBound([&](const FrameSample& x) { return RelOf(x.timeMs) < rel; });
}

std::optional<HistoryPoint> BusHistory::PointAt(int node, std::int64_t timeMs) const {
    const std::size_t count = PointCount(node);
    std::size_t i = PointIndexAt(node, timeMs);
    if (i < count && Point(node, i).timeMs == timeMs)
        return Point(node, i);
    if (i == 0)
        return std::nullopt;
    return Point(node, i - 1);
}

// Calls fn(timeMs, frame, second) for each point of the track in [fromMs, toMs), seconds that
// began before fromMs but reach into it included; one of frame and second is null.
template <typename Fn>
void BusHistory::ForEachIn(const Track& t, std::int64_t fromMs, std::int64_t toMs, Fn&& fn) const {
    const std::int64_t from = RelFor(fromMs);
    const std::int64_t to = RelFor(toMs);
    std::size_t i = t.seconds.LowerBound(
        [&](const SecondSample& x) { return (x.second + 1) * 1000LL <= from; });
    for (; i < t.seconds.Size(); ++i) {
        const SecondSample& s = t.seconds[i];
        if (s.second * 1000LL >= to)
            return;
        fn(originMs_ + s.second * 1000LL, nullptr, &s);
    }
    i = t.frames.LowerBound([&](const FrameSample& x) { return RelOf(x.timeMs) < from; });
    for (; i < t.frames.Size(); ++i) {
        const FrameSample& f = t.frames[i];
        const std::int64_t rel = RelOf(f.timeMs);
        if (rel >= to)
            return;
        fn(originMs_ + rel, &f, nullptr);
    }
}

void BusHistory::ValueColumns(int node, int series, std::int64_t fromMs, std::int64_t toMs,
                              std::span<ValueColumn> columns) const {
    std::fill(columns.begin(), columns.end(), ValueColumn{});
    const Track* t = Find(node);
    if (!t || columns.empty() || toMs <= fromMs || series < 0 ||
        series > static_cast<int>(BREAKER_COUNT))
        return;
    const auto add = [](ValueColumn& c, std::uint16_t lo, std::uint16_t hi) {
        if (!c.seen) {
            c = {lo, hi, true};
            return;
        }
        c.min = std::min(c.min, lo);
        c.max = std::max(c.max, hi);
    };
    const auto b = static_cast<std::size_t>(series > 0 ? series - 1 : 0);
    ForEachIn(
        *t, fromMs, toMs, [&](std::int64_t time, const FrameSample* f, const SecondSample* s) {
            const auto col = ColumnOf(std::max(time, fromMs), fromMs, toMs, columns.size());
            if (col < 0)
                return;
            ValueColumn& c = columns[static_cast<std::size_t>(col)];
            if (f)
                add(c, series ? f->current[b] : f->voltage, series ? f->current[b] : f->voltage);
            else
                add(c, series ? s->currentMin[b] : s->voltageMin,
                    series ? s->currentMax[b] : s->voltageMax);
        });
}

void BusHistory::StateColumns(int node, std::int64_t fromMs, std::int64_t toMs,
                              std::span<StateColumn> columns) const {
    std::fill(columns.begin(), columns.end(), StateColumn{});
    const Track* t = Find(node);
    if (!t || columns.empty() || toMs <= fromMs)
        return;
    ForEachIn(*t, fromMs, toMs,
              [&](std::int64_t time, const FrameSample* f, const SecondSample* s) {
                  const auto col = ColumnOf(std::max(time, fromMs), fromMs, toMs, columns.size());
                  if (col < 0)
                      return;
                  StateColumn& c = columns[static_cast<std::size_t>(col)];
                  const std::uint8_t onAny = f ? f->on : s->onAny;
                  const std::uint8_t onAll = f ? f->on : s->onAll;
                  const std::uint8_t faultAny = f ? f->fault : s->faultAny;
                  const std::uint8_t faultAll = f ? f->fault : s->faultAll;
                  if (!c.seen) {
                      c = {onAny, onAll, faultAny, faultAll, true};
                      return;
                  }
                  c.onAny |= onAny;
                  c.onAll &= onAll;
                  c.faultAny |= faultAny;
                  c.faultAll &= faultAll;
              });
}

std::vector<TripSettings> BusHistory::TripSettingsIn(int node, std::int64_t fromMs,
                                                     std::int64_t toMs) const {
    std::vector<TripSettings> out;
    const Track* t = Find(node);
    if (!t)
        return out;
    std::size_t i = t->trips.LowerBound([&](const TripSettings& c) { return c.timeMs <= fromMs; });
    if (i > 0)
        --i; // the one in force at fromMs
    for (; i < t->trips.Size() && t->trips[i].timeMs < toMs; ++i)
        out.push_back(t->trips[i]);
    return out;
}

std::size_t BusHistory::MemoryBytes() const noexcept {
    std::size_t n = sizeof(*this) + events_.AllocatedBytes();
    for (const auto& t : tracks_)
        if (t)
            n += sizeof(Track) + t->frames.AllocatedBytes() + t->seconds.AllocatedBytes() +
                 t->trips.AllocatedBytes();
    return n;
}

std::size_t BusHistory::MemoryBound(const HistoryLimits& l) noexcept {
    const std::size_t track = sizeof(Track) + SampleRing<FrameSample>::BytesFor(l.frames) +
                              SampleRing<SecondSample>::BytesFor(l.seconds) +
                              SampleRing<TripSettings, 256>::BytesFor(l.tripChanges);
    return sizeof(BusHistory) + NODE_COUNT * track + BusEventLog::BytesFor(l.events);
}

} // namespace orvik
