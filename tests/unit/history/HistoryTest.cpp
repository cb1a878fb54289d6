// The history's tiers and the events derived from a scripted run of the link.
#include "link/history/BusHistory.h"
#include "link/history/HistoryRecorder.h"
#include "tests/unit/history/HistoryTestSupport.h"
#include "tests/unit/link/LinkTestSupport.h"

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::test;

namespace {

constexpr std::int64_t T0 = 1'740'000'000'000; // ms since 1970
constexpr std::int64_t FULL_RATE_MS = 36;      // 210 bytes at 57600 baud

TEST(BusHistory, TiersKeepMinimumAndMaximumAcrossTheHourBoundary) {
    BusHistory h;
    StatusRecord r = Record(0x01);
    // Second 10 holds a peak and a dip among its frames; frames go on for more than an hour
    // at the full rate, so that second has left the frame tier.
    const std::int64_t frames = 3700 * 1000 / FULL_RATE_MS;
    for (std::int64_t i = 0; i < frames; ++i) {
        const std::int64_t t = T0 + i * FULL_RATE_MS;
        const std::int64_t second = (t - T0) / 1000;
        std::uint16_t current = 50;
        if (second == 10)
            current = (t - T0) % 1000 < 100 ? 90 : (t - T0) % 1000 < 500 ? 5 : 60;
        if (i == frames - 2)
            current = 120; // a peak among the frames still kept whole
        r.SetCurrent(0, 0, current);
        r.SetInputVoltage(0, static_cast<std::uint16_t>(second == 10 ? 118 : 138));
        h.AddStatus(t, r);
    }
    ASSERT_EQ(h.Nodes(), 0x01);
    const HistoryPoint tenth = h.Point(1, h.PointIndexAt(1, T0 + 10'000));
    EXPECT_TRUE(tenth.wholeSecond);
    EXPECT_EQ(tenth.timeMs, T0 + 10'000);
    EXPECT_EQ(tenth.currentMin[0], 5);
    EXPECT_EQ(tenth.currentMax[0], 90);
    EXPECT_EQ(tenth.current[0], 60);
    EXPECT_EQ(tenth.voltageMin, 118);
    EXPECT_FALSE(h.Point(1, h.PointCount(1) - 1).wholeSecond);

    // One column over everything: the peak of the kept frames and the dip of the old second.
    ValueColumn all[1];
    h.ValueColumns(1, 1, h.FirstMs(), h.LastMs() + 1, all);
    EXPECT_TRUE(all[0].seen);
    EXPECT_EQ(all[0].min, 5);
    EXPECT_EQ(all[0].max, 120);
    // Per column: the old second's column alone shows the dip and the peak.
    ValueColumn cols[3700];
    h.ValueColumns(1, 1, T0, T0 + 3'700'000, cols);
    EXPECT_EQ(cols[10].min, 5);
    EXPECT_EQ(cols[10].max, 90);
    EXPECT_EQ(cols[9].min, 50);
    EXPECT_EQ(cols[9].max, 50);
    ValueColumn volts[3700];
    h.ValueColumns(1, SERIES_VOLTAGE, T0, T0 + 3'700'000, volts);
    EXPECT_EQ(volts[10].min, 118);
    // Storage for one node only, far below the bound of eight.
    EXPECT_LT(h.MemoryBytes(), BusHistory::MemoryBound() / 8 + 1'000'000);
}

TEST(BusHistory, KeepsTwentyFourHoursAndGrowsWithTheNodesPresent) {
    BusHistory h;
    const StatusRecord r = Record(0x05);
    for (std::int64_t s = 0; s <= 25 * 3600; ++s)
        h.AddStatus(T0 + s * 1000, r);
    EXPECT_EQ(h.LastMs(), T0 + 25 * 3600 * 1000);
    EXPECT_EQ(h.FirstMs(), T0 + 3600 * 1000);
    EXPECT_EQ(h.Nodes(), 0x05);
    EXPECT_LE(BusHistory::MemoryBound(), 64'000'000u);
}

// A clock a little behind (less than 10 s): its frames count at the newest time so far; none
// is lost or out of order.
TEST(BusHistory, FramesOfAClockALittleBehindCountAtTheNewestTime) {
    BusHistory h;
    StatusRecord r = Record(0x01);
    const std::int64_t times[] = {T0, T0 + 1000, T0 - 8000, T0 + 2000};
    for (std::uint16_t i = 0; i < 4; ++i) {
        r.SetCurrent(0, 0, 10 + i);
        h.AddStatus(times[i], r);
    }
    ASSERT_EQ(h.PointCount(1), 4u);
    const std::int64_t shown[] = {T0, T0 + 1000, T0 + 1000, T0 + 2000};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(h.Point(1, i).timeMs, shown[i]) << i;
        EXPECT_EQ(h.Point(1, i).current[0], 10 + i) << i;
    }
    EXPECT_EQ(h.LastMs(), T0 + 2000);
    EXPECT_EQ(h.Events().Size(), 1u); // joined; no jump of the clock
}

// A clock set back by two hours, then forward past the day kept and the reach of a stored
// time (2^32 ms): each is an event, and the points go on from the new time, none
// lost, none folded onto another's time.
TEST(BusHistory, AClockSetBackOrForwardGoesOnFromTheNewTime) {
    BusHistory h;
    StatusRecord r = Record(0x01);
    h.AddStatus(T0, r);
    h.AddStatus(T0 + 1000, r);
    const std::int64_t back = T0 + 2000 - 2 * 3600 * 1000;
    h.AddStatus(back, r);
    h.AddStatus(back + 1000, r);
    const std::int64_t leap = back + 2000 + 5'000'000'000;
    r.SetCurrent(0, 0, 20);
    h.AddStatus(leap, r);
    h.AddStatus(leap + FULL_RATE_MS, r);
    ASSERT_EQ(h.PointCount(1), 6u);
    // On the clock the history ends with, a second apart as they came.
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(h.Point(1, i).timeMs, leap - 4000 + static_cast<std::int64_t>(i) * 1000) << i;
    EXPECT_EQ(h.Point(1, 5).timeMs, leap + FULL_RATE_MS);
    EXPECT_EQ(h.Point(1, 4).current[0], 20);
    EXPECT_EQ(h.StatusFrames(), 6u);
    std::vector<std::string> texts;
    for (auto seq = h.Events().FirstSeq(); seq < h.Events().NextSeq(); ++seq)
        texts.push_back(EventText(*h.Events().Find(seq)));
    const std::vector<std::string> expected = {
        "Orvik node 1 joined the bus",
        "the computer's clock jumped by -2 h",
        "the computer's clock jumped by +58 d",
    };
    EXPECT_EQ(texts, expected);
}

// Live, the times come from the run's steady clock: a window held for 12 s is a silence it
// saw, never a jump of the computer's clock.
TEST(BusHistory, AWindowHeldLiveIsNoJumpOfTheClock) {
    BusHistory h(HistoryLimits{.clockAheadMs = ClockJumps::LIVE_AHEAD_MS});
    StatusRecord r = Record(0x01);
    h.AddStatus(T0, r);
    h.Tick(T0 + 100);
    h.AddStatus(T0 + 12'100, r);
    for (auto seq = h.Events().FirstSeq(); seq < h.Events().NextSeq(); ++seq)
        EXPECT_NE(h.Events().Find(seq)->kind, EventKind::ClockJumped);
    EXPECT_EQ(h.Point(1, 1).timeMs, T0 + 12'100);
}

// The link as the program runs it, a history recording it; what the events say.
struct LinkRun {
    Bench bench; // selected node 1
    BusHistory history;
    HistoryRecorder recorder{history};
    StatusRecord r = Record(0x05);
    std::int64_t t = T0;

    LinkRun() { bench.link.SetWatcher(&recorder); }
    void Status(std::int64_t afterMs) {
        At(afterMs);
        bench.Feed(StatusFrame(r));
    }
    void At(std::int64_t afterMs) {
        t += afterMs;
        recorder.SetTime(t);
    }
    void Switch(int node, int breaker, bool on) {
        const std::uint8_t p[2] = {static_cast<std::uint8_t>(breaker - 1), on};
        bench.link.SendCommand(static_cast<std::uint8_t>(node - 1), CMD_SWITCH_BREAKER, p, 2);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        const BusEventLog& e = history.Events();
        for (auto seq = e.FirstSeq(); seq < e.NextSeq(); ++seq)
            out.push_back(EventText(*e.Find(seq)));
        return out;
    }
};

TEST(BusEvents, EachKindFromAScriptedRun) {
    LinkRun run;
    StatusRecord& r = run.r;
    r.SetBreakerOn(2, 0x13); // node 3: breakers 1, 2, 5
    r.SetPowerOnMask(2, 0x07);
    r.SetCurrent(2, 4, 30);
    run.Status(0);
    // A setup reply of node 3, though node 1 is selected: trip 5.0 A after 2.0 s on breaker 5.
    Bytes reply = SetupReplyData(2);
    reply[9] = 50;
    reply[10] = 0;
    reply[21] = 20;
    run.At(100);
    run.bench.Feed(Frame(FRAME_BREAKER_SETUP, reply));
    for (std::uint16_t current : {40, 60, 72}) {
        r.SetCurrent(2, 4, current);
        run.Status(200);
    }
    r.SetBreakerFault(2, 0x10); // tripped: off, no current
    r.SetBreakerOn(2, 0x03);
    r.SetCurrent(2, 4, 0);
    run.Status(200);

    run.At(500);
    run.Switch(3, 5, true);
    r.SetBreakerFault(2, 0x00);
    r.SetBreakerOn(2, 0x13);
    run.Status(1000);
    run.Switch(3, 3, true); // carried out too late to be its doing
    r.SetBreakerOn(2, 0x11);
    run.Status(200);
    run.Status(1500);
    r.SetBreakerOn(2, 0x15);
    run.Status(1000);

    r.SetPowerOnMask(2, 0x03);
    run.Status(200);
    reply[9] = 100;
    run.At(100);
    run.bench.Feed(Frame(FRAME_BREAKER_SETUP, reply));
    r.SetNodePresent(0x04);
    run.Status(200);
    // Breaker 8 flashing: its first switch is told, the rest not.
    for (int i = 0; i < 20; ++i) {
        r.SetBreakerOn(2, static_cast<std::uint8_t>(0x15 | (i % 2 ? 0x00 : 0x80)));
        run.Status(500);
    }
    run.Status(12'000);

    const std::vector<std::string> expected = {
        "Orvik node 1 joined the bus",
        "Orvik node 3 joined the bus",
        "Orvik node 3, breaker 5: fault (tripped) at 7.2 A, trip 5.0 A after 2.0 seconds",
        "switch breaker 5 on, node 3",
        "Orvik node 3, breaker 5: fault cleared",
        "Orvik node 3, breaker 5 switched on after a command from this program",
        "switch breaker 3 on, node 3",
        "Orvik node 3, breaker 2 switched off",
        "Orvik node 3, breaker 3 switched on",
        "Orvik node 3: power on defaults changed: breakers 1, 2, 3 on -> breakers 1, 2 on",
        "Orvik node 3, breaker 5 trip current changed: 5.0 A -> 10.0 A",
        "Orvik node 1 left the bus",
        "Orvik node 3, breaker 8 switched on",
        "No status frames since 21:20:15",
        "status frames again after 12 s",
    };
    ScopedTimeZone utc("UTC0");
    EXPECT_EQ(run.Texts(), expected);

    const BusEventLog& events = run.history.Events();
    const BusEvent& trip = *events.Find(events.FirstSeq() + 2);
    EXPECT_EQ(trip.kind, EventKind::Fault);
    EXPECT_EQ(trip.timeMs, T0 + 900);
    EXPECT_EQ(EventJson(trip),
              R"({"kind":"fault","time":"2025-02-19T21:20:00.900+00:00","node":3,"breaker":5,)"
              R"("values":{"current":7.2,"trip_current":5.0,"trip_time":2.0},"text":"Orvik node )"
              R"(3, breaker 5: fault (tripped) at 7.2 A, trip 5.0 A after 2.0 seconds"})");
    EXPECT_EQ(EventJson(*events.Find(events.FirstSeq())),
              R"({"kind":"joined","time":"2025-02-19T21:20:00.000+00:00","node":1,)"
              R"("breaker":null,"values":{},"text":"Orvik node 1 joined the bus"})");
    // The trip line of the plot: the settings of both replies, from when each came.
    const auto trips = run.history.TripSettingsIn(3, T0, T0 + 60'000);
    ASSERT_EQ(trips.size(), 2u);
    EXPECT_EQ(trips[1].tripCurrent[4], 100);
}

// A silence is told as it reaches 2 s, not when the frames come back; its end says how long.
TEST(BusEvents, ASilenceIsToldWhenItBeginsAndItsLengthWhenItEnds) {
    ScopedTimeZone utc("UTC0");
    LinkRun run;
    run.r.SetNodePresent(0x01);
    run.Status(0);
    run.At(1999);
    const BusEventLog& events = run.history.Events();
    run.recorder.Tick();
    EXPECT_EQ(events.Size(), 1u); // joined
    for (int i = 0; i < 5; ++i) {
        run.At(1);
        run.recorder.Tick();
    }
    EXPECT_EQ(events.Size(), 2u); // told once, while the line is still silent
    run.Status(16'000);
    ASSERT_EQ(events.Size(), 3u);
    EXPECT_EQ(EventText(*events.Find(events.FirstSeq() + 1)), "No status frames since 21:20:00");
    EXPECT_EQ(events.Find(events.FirstSeq() + 1)->timeMs, T0 + 2000);
    EXPECT_EQ(EventJson(*events.Find(events.FirstSeq() + 2)),
              R"({"kind":"frames_again","time":"2025-02-19T21:20:18.004+00:00","node":null,)"
              R"("breaker":null,"values":{"seconds":18.0},"text":"status frames again after )"
              R"(18 s"})");
}

// A frame that came before a silence was told, but reached the deriver after it (or a recording
// whose clock stepped back a little), leaves the events in order.
TEST(BusEvents, AFrameOlderThanTheLastTickKeepsTheEventsInOrder) {
    BusEventLog events(16);
    EventDeriver deriver(events);
    StatusRecord r{};
    r.SetNodePresent(0x01);
    deriver.Status(T0, r);
    deriver.Tick(T0 + 2500);
    deriver.Status(T0 + 2300, r);
    ASSERT_EQ(events.Size(), 3u);
    EXPECT_EQ(events.Find(events.FirstSeq() + 2)->kind, EventKind::FramesAgain);
    for (auto seq = events.FirstSeq() + 1; seq < events.NextSeq(); ++seq)
        EXPECT_GE(events.Find(seq)->timeMs, events.Find(seq - 1)->timeMs);
}

// A node that comes with a breaker tripped already says so: the fault is no news of the bus.
TEST(BusEvents, ANodeThatJoinsFaultedGivesAFaultPerBreaker) {
    LinkRun run;
    run.r.SetNodePresent(0x01);
    run.Status(0);
    run.r.SetNodePresent(0x03);
    run.r.SetBreakerFault(1, 0x05);
    run.Status(200);
    const std::vector<std::string> expected = {
        "Orvik node 1 joined the bus",
        "Orvik node 2 joined the bus",
        "Orvik node 2, breaker 1: fault, already faulted when the node joined",
        "Orvik node 2, breaker 3: fault, already faulted when the node joined",
    };
    EXPECT_EQ(run.Texts(), expected);
}

TEST(BusEvents, ASwitchOfAJoinedBreakerIsTheCommandsDoing) {
    LinkRun run;
    StatusRecord& r = run.r;
    r.SetDoublingOption(0, 2); // 1+2 and 3+4
    run.Status(0);
    run.At(100);
    run.Switch(1, 1, true);
    r.SetBreakerOn(0, 0x03);
    run.Status(200);
    run.Switch(1, 3, true);
    r.SetBreakerOn(0, 0x0F | 0x10); // 5 is no partner of 3
    run.Status(200);
    const std::vector<std::string> expected = {
        "Orvik node 1 joined the bus",
        "Orvik node 3 joined the bus",
        "switch breaker 1 on, node 1",
        "Orvik node 1, breaker 1 switched on after a command from this program",
        "Orvik node 1, breaker 2 switched on after a command from this program",
        "switch breaker 3 on, node 1",
        "Orvik node 1, breaker 3 switched on after a command from this program",
        "Orvik node 1, breaker 4 switched on after a command from this program",
        "Orvik node 1, breaker 5 switched on",
    };
    EXPECT_EQ(run.Texts(), expected);
}

} // namespace
