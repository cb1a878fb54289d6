// The line's supervision as a policy over a clock the test sets.
#include "link/line/LineSupervisor.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orvik;

TEST(LineSupervisor, ALossClosesAtOnceThenWaitsForTheDeviceAndReopensWhenItSettled) {
    LineSupervisor s;
    s.Opened(0, 0, 0);
    EXPECT_EQ(s.Tick(100, true, 210, 1), LineAction::None);
    EXPECT_EQ(s.State(), LineStatus::Receiving);

    s.Lost(150, 5);
    EXPECT_EQ(s.Tick(200, true, 210, 1), LineAction::Close);
    // Absent: nothing but waiting, however long.
    for (std::int64_t t = 300; t < 60000; t += 100)
        ASSERT_EQ(s.Tick(t, false, 210, 1), LineAction::None);
    EXPECT_EQ(s.State(), LineStatus::Lost);
    EXPECT_TRUE(s.WasLost());
    // Back: a second for the system to settle it, then one open.
    EXPECT_EQ(s.Tick(60000, true, 210, 1), LineAction::None);
    EXPECT_EQ(s.State(), LineStatus::Reopening);
    EXPECT_EQ(s.Tick(60900, true, 210, 1), LineAction::None);
    EXPECT_EQ(s.Tick(61000, true, 210, 1), LineAction::Open);
    s.Opened(61010, 210, 1);
    EXPECT_TRUE(s.IsOpen());
    EXPECT_FALSE(s.WasLost());
}

TEST(LineSupervisor, BusyNoPermissionAndNetworkFailuresAreRetriedLessAndLessOften) {
    LineSupervisor s;
    std::int64_t now = 0;
    std::vector<std::int64_t> waits;
    const PortProblem problems[] = {PortProblem::Busy,           PortProblem::NoPermission,
                                    PortProblem::ConnectRefused, PortProblem::TimedOut,
                                    PortProblem::NotAccepted,    PortProblem::Disconnected};
    for (int attempt = 0; attempt < 6; ++attempt) {
        s.OpenFailed(now, problems[attempt], 16);
        const std::int64_t failedAt = now;
        while (s.Tick(now, true, 0, 0) != LineAction::Open)
            now += 100;
        waits.push_back(now - failedAt);
    }
    EXPECT_EQ(waits, (std::vector<std::int64_t>{1000, 2000, 4000, 8000, 10000, 10000}));

    // What waiting cannot mend waits for the user.
    s.OpenFailed(now, PortProblem::NotSerial, -1);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(s.Tick(now += 100, true, 0, 0), LineAction::None);
    EXPECT_EQ(s.State(), LineStatus::Failed);
    s.Reconnect(now);
    EXPECT_EQ(s.Tick(now, true, 0, 0), LineAction::Open);
}

TEST(LineSupervisor, TheOpenLineIsReceivingSilentOrFullOfBytesWithoutFrames) {
    LineSupervisor s;
    s.Opened(0, 0, 0);
    std::uint64_t bytes = 0, frames = 0;
    std::int64_t t = 0;
    for (; t <= 3000; t += 100) { // five frames a second
        if (t % 200 == 0)
            bytes += 210, ++frames;
        s.Tick(t, true, bytes, frames);
    }
    EXPECT_EQ(s.State(), LineStatus::Receiving);
    EXPECT_EQ(s.FramesPerSecondTenths(), 50u);

    for (; t <= 5000; t += 100) // noise only
        s.Tick(t, true, bytes += 7, frames);
    EXPECT_EQ(s.State(), LineStatus::NoFrames);

    for (; t <= 9000; t += 100) // nothing at all
        s.Tick(t, true, bytes, frames);
    EXPECT_EQ(s.State(), LineStatus::Silent);
    EXPECT_EQ(s.SecondsWithoutFrame(t), 6);
}
