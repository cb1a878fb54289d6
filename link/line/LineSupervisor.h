// What the field needs of the line beyond the serial component: its state as the user should
// see it, and when to close and reopen it after the adapter was pulled out or an open failed.
// Pure policy: the caller feeds it the time, the component's events and the link's counters,
// and carries out what Tick asks, never from inside a handler of the component.
#pragma once

#include "serial/PortProblem.h"

#include <array>
#include <cstdint>

namespace orvik {

enum class LineStatus {
    Closed,     // no open tried yet
    Connecting, // a network port is open and still connecting or setting its line
    Receiving,  // valid frames in the last second
    Silent,     // open, no byte and no valid frame for a second or more
    NoFrames,   // bytes arrive, but no valid frame: a wrong port or baud rate
    Lost,       // the device went away (or is not there); waiting for it
    Reopening,  // an open is due: the device came back, or a retry after busy / no permission
    Failed,     // an open failed in a way waiting does not mend; Reconnect tries again
};

// The state in a word, as a script or a dashboard takes it: "receiving", "silent", "no valid
// frames", "lost", "reopening", "connecting", "failed", "closed".
const char* LineStatusWord(LineStatus status);

// What the status line says of bytes without a valid frame.
inline constexpr const char* NO_VALID_FRAME_TEXT =
    "bytes arriving but no valid frame (wrong port or baud rate?)";

enum class LineAction { None, Close, Open };

class LineSupervisor {
public:
    // Times are milliseconds of a steady clock.
    void Opened(std::int64_t now, std::uint64_t bytes, std::uint64_t frames);
    // A network port opened and connects in the background; Opened or OpenFailed follows.
    void Connecting(std::int64_t now);
    void OpenFailed(std::int64_t now, PortProblem problem, std::int32_t error);
    void Lost(std::int64_t now, std::int32_t error);
    // The user asks for a new attempt: the next Tick opens.
    void Reconnect(std::int64_t now);

    // Every timer tick. `present`: whether the device waited for is there now (looked at only
    // while the port is not open). Open means: open the port (closing it first).
    LineAction Tick(std::int64_t now, bool present, std::uint64_t bytes, std::uint64_t frames);

    LineStatus State() const { return state_; }
    bool IsOpen() const;
    // Whether the device was lost since it was last open (rather than never found).
    bool WasLost() const { return wasLost_; }
    PortProblem Problem() const { return problem_; }
    std::int32_t Error() const { return error_; }
    // Frames in the last second, in tenths.
    std::uint32_t FramesPerSecondTenths() const { return fpsTenths_; }
    // Whole seconds since the last valid frame (or since the open).
    std::int64_t SecondsWithoutFrame(std::int64_t now) const;
    // Seconds until the next attempt, while one is due; 0 otherwise.
    std::int64_t SecondsToRetry(std::int64_t now) const;

    static constexpr std::int64_t SETTLE_MS = 1000; // after the device appears
    static constexpr std::int64_t FIRST_RETRY_MS = 1000;
    static constexpr std::int64_t LONGEST_RETRY_MS = 10000;
    static constexpr std::int64_t QUIET_MS = 1000; // no frame for this long: not receiving

private:
    void ScheduleRetry(std::int64_t now);

    LineStatus state_ = LineStatus::Closed;
    PortProblem problem_ = PortProblem::None;
    std::int32_t error_ = 0;
    bool wasLost_ = false;
    bool closeDue_ = false;
    bool waitForDevice_ = false;
    bool seenPresent_ = false;
    int failures_ = 0;
    std::int64_t openAt_ = 0;
    std::int64_t openedAt_ = 0;
    std::int64_t lastFrameAt_ = 0;
    std::int64_t lastByteAt_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t frames_ = 0;
    // Frame counts of the last second, one per tick, for the rate.
    struct Sample {
        std::int64_t at = 0;
        std::uint64_t frames = 0;
    };
    std::array<Sample, 16> samples_{};
    std::size_t sampleCount_ = 0;
    std::size_t sampleNext_ = 0;
    std::uint32_t fpsTenths_ = 0;
};

} // namespace orvik
