#include "link/base/TickSchedule.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orvik;
using namespace std::chrono_literals;
using Clock = TickSchedule::Clock;

// Frames every `gap`, 20 ms before the turns, for 10 s beside the timer: the turns keep to
// 100 ms, each at most 50 ms off, and the frames take the turns near them. Returns the turns
// the timer took itself.
static int TimerTurns(Clock::duration gap) {
    const Clock::time_point t0{};
    TickSchedule s(100ms, 50ms, t0);
    int turns = 0, byTimer = 0;
    auto timer = t0 + s.FirstWait();
    for (auto frame = t0 + gap - 20ms; std::min(timer, frame) < t0 + 10s;) {
        const bool timerFirst = timer <= frame;
        const auto now = timerFirst ? timer : frame;
        if (timerFirst || s.Due(now)) {
            const auto off = now - (t0 + ++turns * 100ms);
            EXPECT_TRUE(off >= -50ms && off <= 50ms) << "turn " << turns;
            timer = now + s.Took(now);
            byTimer += timerFirst;
        }
        if (!timerFirst)
            frame += gap;
    }
    EXPECT_GE(turns, 99);
    return byTimer;
}

TEST(TickSchedule, FramesTakeTheTurnsNearThemAndTheTimerTheRest) {
    EXPECT_EQ(TimerTurns(36ms), 0);        // full rate
    EXPECT_NEAR(TimerTurns(200ms), 50, 1); // the usual frame period
    EXPECT_GE(TimerTurns(20s), 99);        // a silent bus
}
