// The history of the bus for one run: from every accepted status frame, for each node present,
// each breaker's current, on/off and fault and the input voltage; from
// every setup reply, the trip current and trip time of each breaker; and the events.
//
// Tiers, per node: every status frame of the last hour at the bus's full rate (and longer at a
// slower rate), then per second the minimum, maximum and last values, back to 24 hours before
// the newest frame. Trip settings are kept as their changes; the events tell the node's settings.
//
// Memory bound, at the defaults (a node's storage is allocated in blocks as it fills, and only
// for nodes that appeared):
//   full rate: 57600 baud / 10 bits / 210 bytes = 27.43 status frames a second, 98 743 an hour
//   frames   99 328 (97 blocks of 1024) x 24 bytes = 2 383 872 bytes per node
//   seconds  82 944 (81 blocks, 23 h)   x 64 bytes = 5 308 416 bytes per node
//   trip settings 256 changes x 32 bytes = 8 192 per node
//   events   65 536 x 24 bytes = 1 572 864 bytes for the bus
//   eight nodes: 8 x 7 700 480 + 1 572 864 = 63 176 704 bytes (60.2 MiB), under 64 MB.
// Appending a status frame allocates nothing once the blocks are there.
#pragma once

#include "link/history/BusEventLog.h"
#include "link/history/ClockJumps.h"
#include "link/history/EventDeriver.h"
#include "link/protocol/SentCommand.h"
#include "link/protocol/SetupReply.h"
#include "link/protocol/StatusRecord.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace orvik {

struct HistoryLimits {
    // Frames at the full rate for an hour, rounded up to whole blocks.
    std::size_t frames = 99'328;
    // Seconds beyond the frames' hour, back to 24 hours.
    std::size_t seconds = 82'944;
    std::size_t tripChanges = 256;
    std::size_t events = 65'536;
    std::int64_t keepMs = 24 * 3600 * 1000;
    // A gap longer than this is the clock set forward (see ClockJumps): a live history is
    // ticked and takes ClockJumps::LIVE_AHEAD_MS.
    std::int64_t clockAheadMs = ClockJumps::RECORDING_AHEAD_MS;
};

// The trip settings of a node's breakers from a setup reply, from `timeMs` on.
struct TripSettings {
    std::int64_t timeMs = 0;
    std::array<std::uint16_t, BREAKER_COUNT> tripCurrent{}; // tenths of an ampere
    std::array<std::uint8_t, BREAKER_COUNT> tripTime{};     // tenths of a second
};

// One node in one status frame, or over one second. Currents and voltage in tenths; bit b of a
// mask is breaker b+1. For a frame, minimum, maximum and last are the same.
struct HistoryPoint {
    std::int64_t timeMs = 0; // the frame's time, or the start of the second
    bool wholeSecond = false;
    std::array<std::uint16_t, BREAKER_COUNT> current{}; // the last
    std::array<std::uint16_t, BREAKER_COUNT> currentMin{};
    std::array<std::uint16_t, BREAKER_COUNT> currentMax{};
    std::uint16_t voltage = 0;
    std::uint16_t voltageMin = 0;
    std::uint16_t voltageMax = 0;
    std::uint8_t on = 0; // the last
    std::uint8_t fault = 0;
    std::uint8_t onAny = 0; // on in some frame
    std::uint8_t onAll = 0; // on in every frame
    std::uint8_t faultAny = 0;
    std::uint8_t faultAll = 0;
};

// What a pixel column of a curve spans: the least and the greatest value, in tenths.
struct ValueColumn {
    std::uint16_t min = 0;
    std::uint16_t max = 0;
    bool seen = false; // false: the node was not reported in that column
};

// What a pixel column of the on/off and fault bands spans; bit b is breaker b+1.
struct StateColumn {
    std::uint8_t onAny = 0;
    std::uint8_t onAll = 0;
    std::uint8_t faultAny = 0;
    std::uint8_t faultAll = 0;
    bool seen = false;
};

// The series of a node that a curve shows: a breaker's current or the input voltage.
inline constexpr int SERIES_VOLTAGE = 0; // 1..8: the current of that breaker

// As the history keeps them; see the bound above.
struct FrameSample {
    std::uint32_t timeMs; // since the history's origin, modulo 2^32
    std::array<std::uint16_t, BREAKER_COUNT> current;
    std::uint16_t voltage;
    std::uint8_t on;
    std::uint8_t fault;
};
struct SecondSample {
    std::uint32_t second; // since the history's origin
    std::array<std::uint16_t, BREAKER_COUNT> currentMin;
    std::array<std::uint16_t, BREAKER_COUNT> currentMax;
    std::array<std::uint16_t, BREAKER_COUNT> current;
    std::uint16_t voltageMin;
    std::uint16_t voltageMax;
    std::uint16_t voltage;
    std::uint8_t onAll, onAny, on, faultAll, faultAny, fault;
};
static_assert(sizeof(FrameSample) == 24 && sizeof(SecondSample) == 64);

class BusHistory {
public:
    explicit BusHistory(HistoryLimits limits = {});
    ~BusHistory();
    BusHistory(const BusHistory&) = delete;
    BusHistory& operator=(const BusHistory&) = delete;

    // Feeding. Times are ms since 1970; one a little earlier than the newest counts as the
    // newest. A jump of the clock (ClockJumps) is an event, and the history goes on from the
    // newest time at the new clock: what it keeps moves onto the new clock by the jump, in
    // whole seconds, so that it stays in order and nothing is lost.
    void AddStatus(std::int64_t timeMs, const StatusRecord& record);
    void AddSetupReply(std::int64_t timeMs, const SetupReply& reply);
    // A command this program sent; one the port did not take changed nothing.
    void AddCommand(std::int64_t timeMs, const SentCommand& command);
    // The time now, between frames: a silence of the line is told as it reaches 2 s.
    void Tick(std::int64_t timeMs);
    void Clear();

    // Bit n: node n+1 has a history.
    std::uint8_t Nodes() const noexcept;
    bool Empty() const noexcept { return !any_; }
    // The time of the oldest point kept (of any node) and of the newest status frame.
    std::int64_t FirstMs() const noexcept;
    std::int64_t LastMs() const noexcept { return originMs_ + lastRel_; }
    std::uint64_t StatusFrames() const noexcept { return statusFrames_; }

    // Points of node 1..8, oldest first: whole seconds, then frames.
    std::size_t PointCount(int node) const noexcept;
    HistoryPoint Point(int node, std::size_t index) const;
    // The index of the first point whose time is at or after `timeMs` (PointCount if none).
    std::size_t PointIndexAt(int node, std::int64_t timeMs) const;
    // The last point at or before `timeMs`, for a crosshair.
    std::optional<HistoryPoint> PointAt(int node, std::int64_t timeMs) const;

    // Splits [fromMs, toMs) into columns.size() equal columns and fills each with what the
    // points in it span: a curve's minimum and maximum, the bands' states. A whole second
    // counts in the column of its start.
    void ValueColumns(int node, int series, std::int64_t fromMs, std::int64_t toMs,
                      std::span<ValueColumn> columns) const;
    void StateColumns(int node, std::int64_t fromMs, std::int64_t toMs,
                      std::span<StateColumn> columns) const;

    // The trip settings in force at `fromMs` (when known) and each change up to `toMs`: the
    // trip current lines of a plot.
    std::vector<TripSettings> TripSettingsIn(int node, std::int64_t fromMs,
                                             std::int64_t toMs) const;

    const BusEventLog& Events() const noexcept { return events_; }

    // Bytes allocated now, and in the worst case at these limits (eight nodes, all full).
    std::size_t MemoryBytes() const noexcept;
    static std::size_t MemoryBound(const HistoryLimits& limits = {}) noexcept;

private:
    struct Track;
    Track& TrackOf(std::size_t node);
    const Track* Find(int node) const noexcept;
    std::int64_t Rel(std::int64_t timeMs);
    void ClockJumped(std::int64_t timeMs, std::int64_t jumpMs);
    std::int64_t RelOf(std::uint32_t stored) const noexcept;
    std::int64_t RelFor(std::int64_t timeMs) const noexcept;
    void Append(Track& track, std::size_t node, const StatusRecord& record);
    void Fold(Track& track, const FrameSample& sample);
    void Prune(Track& track, std::int64_t cutRel);
    template <typename Fn>
    void ForEachIn(const Track& track, std::int64_t fromMs, std::int64_t toMs, Fn&& fn) const;

    HistoryLimits limits_;
    std::array<std::unique_ptr<Track>, NODE_COUNT> tracks_;
    BusEventLog events_;
    EventDeriver deriver_{events_};
    ClockJumps clock_;
    bool any_ = false;
    std::int64_t originMs_ = 0; // the first frame's second
    std::int64_t lastRel_ = 0;  // the newest time, since the origin
    std::uint64_t statusFrames_ = 0;
};

} // namespace orvik
