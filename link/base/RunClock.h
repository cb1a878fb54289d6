// The clock of a run: the wall-clock time of its start, then the steady clock, so that times
// never step back when the computer's clock is set.
#pragma once

#include <chrono>
#include <cstdint>

namespace orvik {

class RunClock {
public:
    RunClock() noexcept
        : steadyStart_(std::chrono::steady_clock::now()),
          wallStartNs_(std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count()) {}

    // Monotonic nanoseconds since the start.
    std::int64_t SinceStartNs() const noexcept {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now() - steadyStart_)
            .count();
    }
    // The wall-clock time of the start, in nanoseconds since 1970-01-01 UTC.
    std::int64_t WallStartNs() const noexcept { return wallStartNs_; }
    // Now, in milliseconds since 1970-01-01 UTC.
    std::int64_t NowMs() const noexcept { return (wallStartNs_ + SinceStartNs()) / 1'000'000; }

private:
    std::chrono::steady_clock::time_point steadyStart_;
    std::int64_t wallStartNs_;
};

} // namespace orvik
