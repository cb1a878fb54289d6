// The turns of a periodic timer that a thread woken for other work may take early. While
// frames come, the delivery that finds a turn due takes it, and the thread does not wake for
// the timer as well; the timer itself goes off only when no delivery came within `grace` of
// the turn. The turns keep their period on average, each at most `grace` late.
#pragma once

#include <chrono>

namespace orvik {

class TickSchedule {
public:
    using Clock = std::chrono::steady_clock;

    TickSchedule(Clock::duration period, Clock::duration grace, Clock::time_point start)
        : period_(period), grace_(grace), next_(start + period) {}

    // Whether the next turn is due at `now`.
    bool Due(Clock::time_point now) const { return now >= next_; }

    // A turn was taken at `now`: the next falls one period after the one that was due, or one
    // period from now after a stall. Returns how long the timer waits before it takes the
    // next turn itself.
    Clock::duration Took(Clock::time_point now) {
        next_ += period_;
        if (next_ <= now)
            next_ = now + period_;
        return next_ + grace_ - now;
    }

    // How long the timer waits for the first turn.
    Clock::duration FirstWait() const { return period_ + grace_; }

private:
    Clock::duration period_;
    Clock::duration grace_;
    Clock::time_point next_;
};

} // namespace orvik
