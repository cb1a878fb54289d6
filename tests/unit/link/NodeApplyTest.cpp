// Reading and applying node settings on a fake line with a clock of the test's own.
#include "link/nodefiles/NodeApply.h"
#include "tests/unit/link/LinkTestSupport.h"

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::test;
using std::chrono::milliseconds;

namespace {

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct ApplyBench : Bench {
    LinkTime t{};
    StatusRecord record;

    ApplyBench() { record.SetNodePresent(0x01); }
    void Status() {
        const Bytes f = StatusFrame(record);
        link.FeedBytes(f.data(), f.size());
    }
    // Command frames sent since the last call: code and payload.
    std::vector<Bytes> Sent() {
        std::vector<Bytes> out;
        for (const auto& f : port.written)
            out.push_back(Bytes{f[2]} + Bytes(f.begin() + 5, f.end() - 2));
        port.written.clear();
        return out;
    }
};

TEST(NodeApply, WigwagIsEnabledFirstAndItsModeSentOnlyOnceTheNodeShowsIt) {
    ApplyBench b;
    NodeSettings now = SettingsFromStatus(b.record, 0); // wigwag 0: not enabled
    NodeSettings file;
    file.Set({SettingKind::Wigwag, 0}, 2); // steady
    NodeApply apply(b.link, 1, now, file);
    b.link.SetDisplaySink([&](const DisplayUpdate&) { apply.OnStatus(b.t); });

    apply.Start(b.t);
    EXPECT_EQ(b.Sent(), (std::vector<Bytes>{{CMD_WIGWAG_ENABLE, 1}}));
    b.Status(); // not yet enabled
    EXPECT_TRUE(b.Sent().empty());
    b.record.SetOptionFlags(0, 1); // enabled, off
    b.Status();
    // Steady is 2 in the status record and 1 in the mode command.
    EXPECT_EQ(b.Sent(), (std::vector<Bytes>{{CMD_WIGWAG_MODE, 1}}));
    b.record.SetOptionFlags(0, 2);
    b.Status();
    ASSERT_TRUE(apply.Finished());
    EXPECT_EQ(apply.Outcomes()[0].result, ApplyResult::Confirmed);
    EXPECT_EQ(apply.Outcomes()[0].sends, 2);

    // Back to "not enabled" is the enable command alone.
    NodeApply off(b.link, 1, SettingsFromStatus(b.record, 0), NodeSettings{});
    EXPECT_TRUE(off.Finished()); // an empty file sends nothing
    NodeSettings none;
    none.Set({SettingKind::Wigwag, 0}, 0);
    NodeApply disable(b.link, 1, SettingsFromStatus(b.record, 0), none);
    disable.Start(b.t);
    EXPECT_EQ(b.Sent(), (std::vector<Bytes>{{CMD_WIGWAG_ENABLE, 0}}));
}

TEST(NodeApply, TripSettingIsSentThreeTimesAtMostAndCheckedByAFreshReply) {
    ApplyBench b;
    NodeSettings now = SettingsFromStatus(b.record, 0);
    now.Set({SettingKind::TripCurrent, 2}, 100);
    NodeSettings file;
    file.Set({SettingKind::TripCurrent, 2}, 50);
    NodeApply apply(b.link, 1, now, file);
    b.link.SetSetupSink([&] { apply.OnSetupStored(b.t); });

    apply.Start(b.t);
    const std::vector<Bytes> round = {{CMD_TRIP_CURRENT, 2, 50, 0}, {CMD_REQUEST_BREAKER_SETUP, 0}};
    EXPECT_EQ(b.Sent(), round);
    const Bytes reply = Frame(FRAME_BREAKER_SETUP, SetupReplyData(0)); // breaker 3: 614
    b.link.FeedBytes(reply.data(), reply.size());
    EXPECT_EQ(b.Sent(), round);
    b.t += REPLY_WAIT; // no reply at all
    apply.Tick(b.t);
    EXPECT_EQ(b.Sent(), round);
    b.link.FeedBytes(reply.data(), reply.size());
    ASSERT_TRUE(apply.Finished());
    EXPECT_TRUE(b.Sent().empty());
    EXPECT_EQ(apply.Outcomes()[0].result, ApplyResult::NotConfirmed);
    EXPECT_EQ(apply.Outcomes()[0].sends, NodeApply::MAX_TRIES);
}

TEST(NodeApply, OnASilentBusEachSendWaitsTwoSecondsThenNotConfirmed) {
    ApplyBench b;
    NodeSettings file;
    file.Set({SettingKind::DualLed, 0}, 1);
    file.Set({SettingKind::Doubling, 0}, 2);
    b.record.SetOptionFlags(0, 0); // a fixed profile
    NodeApply apply(b.link, 1, SettingsFromStatus(b.record, 0), file);
    apply.Start(b.t);
    EXPECT_EQ(b.Sent(), (std::vector<Bytes>{{CMD_DUAL_LED, 1}})); // no doubling
    for (int i = 0; i < 2; ++i) {
        apply.Tick(b.t += milliseconds(1999));
        EXPECT_TRUE(b.Sent().empty());
        apply.Tick(b.t += milliseconds(1));
        EXPECT_EQ(b.Sent(), (std::vector<Bytes>{{CMD_DUAL_LED, 1}}));
    }
    apply.Tick(b.t += REPLY_WAIT);
    ASSERT_TRUE(apply.Finished());
    EXPECT_EQ(apply.Outcomes()[0].result, ApplyResult::NotApplicable);
    EXPECT_EQ(apply.Outcomes()[1].result, ApplyResult::NotConfirmed);
}

TEST(NodeRead, WaitsTwoSecondsForTheSetupReplyAndForAStatusFrame) {
    ApplyBench b;
    b.selected = 2;
    NodeRead read(b.link, 2);
    b.link.SetDisplaySink([&](const DisplayUpdate&) { read.OnStatus(b.t); });
    read.Start(b.t);
    EXPECT_EQ(b.Sent(), (std::vector<Bytes>{{CMD_REQUEST_BREAKER_SETUP, 0}}));
    b.record.SetNodePresent(0x03);
    b.record.SetOptionFlags(1, 0x18); // flasher mode 3, fixed profile
    b.record.SetFixedProfile(1, 2);
    b.Status();
    read.Tick(b.t + milliseconds(1999));
    EXPECT_FALSE(read.Finished());
    read.Tick(b.t + REPLY_WAIT);
    ASSERT_EQ(read.GetState(), NodeRead::State::Read);
    EXPECT_FALSE(read.TripSettingsRead());
    EXPECT_FALSE(read.Settings().Get({SettingKind::TripTime, 0}));
    EXPECT_EQ(read.Settings().Get({SettingKind::Flasher, 0}), 3);
    EXPECT_EQ(ProfileName(*read.Settings().profile), "Fixed 3");
}

TEST(NodeRead, ABusWithoutAStatusFrameIsNoStatus) {
    ApplyBench b;
    NodeRead silent(b.link, 2);
    silent.Start(b.t);
    silent.Tick(b.t + REPLY_WAIT);
    EXPECT_EQ(silent.GetState(), NodeRead::State::NoStatus);
}

TEST(NodeRead, ANodeNotOnTheBusIsNamed) {
    ApplyBench b;
    NodeRead absent(b.link, 3);
    b.link.SetDisplaySink([&](const DisplayUpdate&) { absent.OnStatus(b.t); });
    absent.Start(b.t);
    b.Status();
    EXPECT_EQ(absent.Problem(), "Orvik node 3 is not on the bus");
}

} // namespace
