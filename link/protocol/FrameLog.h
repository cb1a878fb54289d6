// The frame log: the last records of what crossed the line, kept in a ring that the receive
// path and SendCommand fill without allocating, and the link's counters. Times are monotonic
// nanoseconds since the log's start; the wall-clock time of that start turns them into real
// time stamps. Everything here runs on the main thread.
#pragma once

#include "link/base/RunClock.h"
#include "link/protocol/LinkFrame.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace orvik {

// Seen from the PC; the values are those of the direction bits of a capture's packet flags.
enum class Direction : std::uint8_t { Inbound = 1, Outbound = 2 };

// What became of a record.
enum class FrameOutcome : std::uint8_t {
    Accepted,    // passed its checks and was acted on
    BadSum,      // dropped: wrong sum byte
    BadXor,      // dropped: right sum, wrong XOR byte
    ShortStatus, // a status frame of fewer than 204 data bytes: checked, not copied
    ShortSetup,  // a setup reply of fewer than 25 data bytes: checked, not copied
    IgnoredType, // a frame of a type other than status and setup reply
    OtherNode,   // a setup reply from a node other than the selected one
    Noise,       // bytes that belong to no frame
    Sent,        // a command the port took
    NotSent,     // a command the port did not take (not open, or the write failed)
};
inline constexpr std::size_t OUTCOME_COUNT = 10;

// "accepted", "bad sum", "bad XOR", "short status frame", ... "sent", "not sent".
const char* OutcomeText(FrameOutcome outcome) noexcept;

// The outcome of a frame from the bus that passed its checks, as far as it does not depend on
// the selected node: a setup reply counts as accepted.
FrameOutcome CheckedFrameOutcome(std::uint8_t type, std::size_t dataLength) noexcept;

struct FrameRecord {
    std::uint64_t seq = 0;   // running number, from 0
    std::int64_t timeNs = 0; // monotonic, since the log's start
    std::uint16_t length = 0;
    Direction direction = Direction::Inbound;
    FrameOutcome outcome = FrameOutcome::Noise;
    std::array<std::uint8_t, MAX_FRAME_SIZE> bytes{};
};

struct LinkCounters {
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;
    std::array<std::uint64_t, OUTCOME_COUNT> records{}; // by outcome; noise counts runs
    std::uint64_t noiseBytes = 0;

    std::uint64_t Of(FrameOutcome o) const { return records[static_cast<std::size_t>(o)]; }
    // Frames that passed their checks but did nothing: short, ignored type, other node.
    std::uint64_t Ignored() const;
};

class FrameLog {
public:
    static constexpr std::size_t DEFAULT_CAPACITY = 100000;

    // The ring is allocated here, once, and costs memory only as records fill it: its pages
    // are the system's zeroed pages until a record is first written there.
    explicit FrameLog(std::size_t capacity = DEFAULT_CAPACITY);

    std::int64_t Now() const noexcept { return clock_.SinceStartNs(); }
    // A moment of the steady clock (SteadyNs) in the log's time.
    std::int64_t At(std::int64_t steadyNs) const noexcept { return clock_.SinceStartNs(steadyNs); }
    // The wall-clock time of the start, in nanoseconds since 1970-01-01 UTC.
    std::int64_t WallStartNs() const noexcept { return clock_.WallStartNs(); }

    // A new record of `length` bytes (at most MAX_FRAME_SIZE) for the caller to fill,
    // overwriting the oldest one when the ring is full.
    FrameRecord& Append(Direction direction, FrameOutcome outcome, std::int64_t timeNs,
                        std::size_t length) noexcept;
    void Add(Direction direction, FrameOutcome outcome, std::int64_t timeNs,
             const std::uint8_t* bytes, std::size_t length) noexcept;
    void CountBytes(Direction direction, std::size_t count) noexcept;

    std::size_t Size() const noexcept { return size_; }
    std::size_t Capacity() const noexcept { return capacity_; }
    // Records kept are FirstSeq() .. NextSeq() - 1, oldest first.
    std::uint64_t FirstSeq() const noexcept { return nextSeq_ - size_; }
    std::uint64_t NextSeq() const noexcept { return nextSeq_; }
    // The record of that number, or nullptr when it is gone (or yet to come).
    const FrameRecord* Find(std::uint64_t seq) const noexcept;

    const LinkCounters& Counters() const noexcept { return counters_; }
    // Inbound frames (not noise) that ended in the last whole second before `nowNs`.
    std::uint32_t FramesPerSecond(std::int64_t nowNs) const noexcept;

    // Forgets the records and the counters; numbers go on from where they were.
    void Clear() noexcept;

private:
    struct Free {
        void operator()(FrameRecord* p) const noexcept { std::free(p); }
    };
    std::unique_ptr<FrameRecord[], Free> ring_;
    std::size_t capacity_ = 0;
    std::size_t head_ = 0; // the slot of the next record
    std::size_t size_ = 0;
    std::uint64_t nextSeq_ = 0;
    LinkCounters counters_;
    RunClock clock_;
    std::int64_t rateSecond_ = -2; // the second that thisSecond_ counts
    std::uint32_t thisSecond_ = 0;
    std::uint32_t lastSecond_ = 0;
};

// Splits the bytes of one direction into records as a receiver sees them: each frame as the
// receiver ends it (accepted, bad sum, bad XOR) with its bytes as they came, and the bytes
// that belong to no frame as runs of noise. Every byte fed lands in one record, in order,
// except those of a frame still in progress.
class LineRecorder {
public:
    explicit LineRecorder(Direction direction) noexcept : direction_(direction) {}

    // Feeds `count` bytes that came at `timeNs` to `rx`. For each frame that passes its checks
    // `accept()` runs and returns the frame's outcome. Allocates nothing.
    template <typename Accept>
    void Feed(FrameLog& log, FrameReceiver& rx, const std::uint8_t* bytes, std::size_t count,
              std::int64_t timeNs, Accept&& accept) {
        log.CountBytes(direction_, count);
        for (std::size_t i = 0; i < count; ++i) {
            const RxEvent e = rx.Step(bytes[i]);
            if (e == RxEvent::None) [[likely]]
                continue;
            if (e == RxEvent::Accepted)
                EndFrame(log, rx, accept(), bytes[i], timeNs);
            else
                Dropped(log, rx, e, bytes[i], timeNs);
        }
        FlushNoise(log, timeNs);
    }

    // Records the noise run so far, if any.
    void FlushNoise(FrameLog& log, std::int64_t timeNs) noexcept;

private:
    void Dropped(FrameLog& log, const FrameReceiver& rx, RxEvent e, std::uint8_t b,
                 std::int64_t timeNs) noexcept;
    void EndFrame(FrameLog& log, const FrameReceiver& rx, FrameOutcome outcome, std::uint8_t last,
                  std::int64_t timeNs) noexcept;
    void AddNoise(FrameLog& log, std::uint8_t b, std::int64_t timeNs) noexcept;

    Direction direction_;
    std::array<std::uint8_t, MAX_FRAME_SIZE> noise_{};
    std::size_t noiseLength_ = 0;
};

} // namespace orvik
