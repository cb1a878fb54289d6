// The clock of a run: the wall-clock time of the program's start, then the steady clock, so
// that times never step back when the computer's clock is set. Every RunClock of a program
// shares the one start, so the frame log, the history and the recordings agree to the
// nanosecond.
#pragma once

#include <chrono>
#include <cstdint>

namespace orvik {

// The steady clock now, in nanoseconds of its own epoch: how the serial port stamps the
// moment bytes were read off the line.
inline std::int64_t SteadyNs() noexcept {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class RunClock {
public:
    RunClock() noexcept : start_(TheStart()) {}

    // Monotonic nanoseconds since the start: now, and at a steady moment (SteadyNs).
    std::int64_t SinceStartNs() const noexcept { return SinceStartNs(SteadyNs()); }
    std::int64_t SinceStartNs(std::int64_t steadyNs) const noexcept {
        return steadyNs - start_.steadyNs;
    }
    // The wall-clock time of the start, in nanoseconds since 1970-01-01 UTC.
    std::int64_t WallStartNs() const noexcept { return start_.wallNs; }
    // Now, and a steady moment, in milliseconds since 1970-01-01 UTC.
    std::int64_t NowMs() const noexcept { return MsAt(SteadyNs()); }
    std::int64_t MsAt(std::int64_t steadyNs) const noexcept {
        return (start_.wallNs + SinceStartNs(steadyNs)) / 1'000'000;
    }

private:
    struct Start {
        std::int64_t steadyNs;
        std::int64_t wallNs;
    };
    static const Start& TheStart() noexcept {
        static const Start start{SteadyNs(),
                                 std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count()};
        return start;
    }
    Start start_;
};

} // namespace orvik
