#include "link/base/TickSchedule.h"

#include <gtest/gtest.h>

using namespace orvik;
using namespace std::chrono_literals;
using Clock = TickSchedule::Clock;

// Frames every 36 ms take the turns; the timer would go off only 50 ms after a missed turn.
TEST(TickSchedule, DeliveriesTakeTheTurnsAndKeepTheirPeriod) {
    const Clock::time_point t0{};
    TickSchedule s(100ms, 50ms, t0);
    int turns = 0;
    for (auto t = t0; t < t0 + 10'000ms; t += 36ms) {
        if (!s.Due(t))
            continue;
        EXPECT_LE(t - (t0 + (turns + 1) * 100ms), 36ms) << "turn " << turns;
        EXPECT_GE(s.Took(t), 50ms);
        ++turns;
    }
    EXPECT_EQ(turns, 99);
}

TEST(TickSchedule, TheTimerAloneTicksEveryPeriod) {
    const Clock::time_point t0{};
    TickSchedule s(100ms, 50ms, t0);
    auto t = t0 + s.FirstWait();
    EXPECT_TRUE(s.Due(t));
    for (int turn = 0; turn < 5; ++turn) {
        const auto wait = s.Took(t);
        EXPECT_EQ(wait, 100ms);
        t += wait;
    }
    // After a stall of a second the turns start again from then, not in a burst.
    t += 1s;
    EXPECT_EQ(s.Took(t), 150ms);
    EXPECT_FALSE(s.Due(t + 99ms));
}
