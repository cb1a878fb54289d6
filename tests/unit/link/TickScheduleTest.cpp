#include "link/base/TickSchedule.h"

#include <gtest/gtest.h>

using namespace orvik;
using namespace std::chrono_literals;
using Clock = TickSchedule::Clock;

namespace {

// Frames every `frames` for 10 s, the timer going off when it is due; how many turns the
// frames took and how many the timer did.
struct Turns {
    int byFrames = 0;
    int byTimer = 0;
};
Turns PlayFrames(Clock::duration frames) {
    const Clock::time_point t0{};
    TickSchedule s(100ms, 50ms, t0);
    Turns turns;
    auto timer = t0 + s.FirstWait();
    auto frame = t0 + frames;
    while (std::min(timer, frame) < t0 + 10s) {
        const int turn = turns.byFrames + turns.byTimer + 1;
        if (timer <= frame) {
            EXPECT_LE(timer - (t0 + turn * 100ms), 50ms) << "turn " << turn;
            timer += s.Took(timer);
            ++turns.byTimer;
            continue;
        }
        if (s.Due(frame)) {
            const auto off = frame - (t0 + turn * 100ms);
            EXPECT_TRUE(off >= -50ms && off <= 50ms) << "turn " << turn;
            timer = frame + s.Took(frame);
            ++turns.byFrames;
        }
        frame += frames;
    }
    return turns;
}

} // namespace

// At full rate the frames take every turn; at the usual 200 ms period every other one, and
// the timer the rest. Either way the turns keep to 100 ms, at most 50 ms off.
TEST(TickSchedule, FramesTakeTheTurnsNearThemAndTheTimerTheRest) {
    const Turns full = PlayFrames(36ms);
    EXPECT_EQ(full.byTimer, 0);
    EXPECT_GE(full.byFrames, 99);
    const Turns usual = PlayFrames(200ms);
    EXPECT_GE(usual.byFrames, 49);
    EXPECT_GE(usual.byTimer, 49);
    EXPECT_LE(usual.byFrames + usual.byTimer, 100);
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
    EXPECT_FALSE(s.Due(t + 49ms));
    EXPECT_TRUE(s.Due(t + 50ms));
}
