// When the computer's clock was changed, told from the times that come in (frames, ticks,
// commands), as one clock:
// - a time more than BACK_MS earlier than the newest so far is the clock set back;
// - a time more than `aheadMs` later than the newest is the clock set forward. A recording
//   keeps no time between frames: a gap there is a silence of the line, unless it is longer
//   than the history's day (RECORDING_AHEAD_MS). A running program stamps with its own steady
//   clock (RunClock), which never jumps: a gap there is a window that was held, never the
//   clock, so it takes LIVE_AHEAD_MS, which never counts a gap as a jump.
// Smaller steps back count at the newest time; smaller gaps forward are time that passed.
// Across a jump, as much time passes as between the two times before it (up to a second): the
// jump is the rest.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace orvik {

class ClockJumps {
public:
    static constexpr std::int64_t BACK_MS = 10'000;
    static constexpr std::int64_t LIVE_AHEAD_MS = std::numeric_limits<std::int64_t>::max();
    static constexpr std::int64_t RECORDING_AHEAD_MS = 24 * 3600 * 1000;

    explicit ClockJumps(std::int64_t aheadMs = RECORDING_AHEAD_MS) : aheadMs_(aheadMs) {}

    // The jump `timeMs` makes against the newest time so far, 0 when none; after a jump,
    // `timeMs` is the newest.
    std::int64_t See(std::int64_t timeMs) noexcept {
        if (!any_) {
            any_ = true;
            newestMs_ = timeMs;
            paceMs_ = 0;
            return 0;
        }
        const std::int64_t step = timeMs - newestMs_;
        if (step < -BACK_MS || step > aheadMs_) {
            newestMs_ = timeMs;
            return step - paceMs_;
        }
        if (step > 0) {
            newestMs_ = timeMs;
            paceMs_ = std::min<std::int64_t>(step, 1000);
        }
        return 0;
    }
    // The newest time so far: what a time a little behind it counts as.
    std::int64_t NewestMs() const noexcept { return newestMs_; }
    void Clear() noexcept { any_ = false; }

private:
    std::int64_t aheadMs_;
    bool any_ = false;
    std::int64_t newestMs_ = 0;
    std::int64_t paceMs_ = 0; // the last step forward, up to a second
};

} // namespace orvik
