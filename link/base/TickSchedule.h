// The turns of a periodic timer that a thread woken for other work may take instead. While
// frames come, the delivery that finds a turn near enough takes it, and the thread does not
// wake for the timer as well; the timer itself goes off only when no delivery came within
// `slack` after the turn. Each turn is at most `slack` early or late, and the turns keep their
// period on average.
#pragma once

#include <chrono>

namespace orvik {

class TickSchedule {
public:
    using Clock = std::chrono::steady_clock;

    TickSchedule(Clock::duration period, Clock::duration slack, Clock::time_point start)
        : period_(period), slack_(slack), next_(start + period) {}

    // Whether a delivery at `now` may take the next turn.
    bool Due(Clock::time_point now) const { return now >= next_ - slack_; }

    // A turn was taken at `now`: the next falls one period after the one taken, or one period
    // from now after a stall. Returns how long the timer waits before it takes the next turn
    // itself.
    Clock::duration Took(Clock::time_point now) {
        next_ += period_;
        if (next_ <= now)
            next_ = now + period_;
        return next_ + slack_ - now;
    }

    // How long the timer waits for the first turn.
    Clock::duration FirstWait() const { return period_ + slack_; }

private:
    Clock::duration period_;
    Clock::duration slack_;
    Clock::time_point next_;
};

} // namespace orvik
