// Sending and receiving through the link state, with a fake port.
#include "tests/unit/link/LinkTestSupport.h"

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::test;

TEST(SendCommand, BuildsTheWorkedExamplesInTxFrame) {
    Bench t;
    const std::uint8_t sw[] = {0x04, 0x01};
    t.link.SendCommand(2, CMD_SWITCH_BREAKER, sw, 2);
    EXPECT_EQ(t.LastWrite(), (Bytes{0xD5, 0x82, 0x06, 0x03, 0x02, 0x04, 0x01, 0x10, 0x02}));
    EXPECT_EQ(Bytes(t.link.TxFrame.begin(), t.link.TxFrame.begin() + 9), t.LastWrite());

    const std::uint8_t zero[] = {0x00};
    t.link.SendCommand(0, CMD_REQUEST_BREAKER_SETUP, zero, 1);
    EXPECT_EQ(t.LastWrite(), (Bytes{0xD5, 0x82, 0x0D, 0x02, 0x00, 0x00, 0x0F, 0x0F}));

    t.link.CmdPayload[0] = 0x03;
    t.link.CmdPayload[1] = 0x19;
    t.link.CmdPayload[2] = 0x00;
    t.link.SendCommand(7, CMD_TRIP_CURRENT, t.link.CmdPayload.data(), 3);
    EXPECT_EQ(t.LastWrite(), (Bytes{0xD5, 0x82, 0x02, 0x04, 0x07, 0x03, 0x19, 0x00, 0x29, 0x1B}));
    EXPECT_EQ(t.port.written.size(), 3u);
}

TEST(SendCommand, LongestPayloadFillsTxFrameAndLongerIsRefused) {
    Bench t;
    Bytes payload(250, 0x11);
    t.link.SendCommand(1, CMD_POWER_ON_DEFAULTS, payload.data(), 249);
    ASSERT_EQ(t.port.written.size(), 1u);
    EXPECT_EQ(t.LastWrite().size(), 256u);
    EXPECT_EQ(t.LastWrite()[3], 250);
    t.link.SendCommand(1, CMD_POWER_ON_DEFAULTS, payload.data(), 250);
    EXPECT_EQ(t.port.written.size(), 1u);
}

TEST(SendCommand, WithoutAPortTheFrameIsLost) {
    LinkState link;
    link.CmdPayload[0] = 1;
    link.SendToSelected(CMD_DUAL_LED, 1);
    EXPECT_EQ(link.TxFrame[2], CMD_DUAL_LED);
    link.Comm1RxChar(100); // nothing to read from
    EXPECT_EQ(link.FrameReceiver.State(), RX_SYNC1);
}

// Every row of the receiver's state table, as the link state plays it out.
TEST(Receiver, WalksTheStateTableThroughAFrame) {
    Bench t;
    auto frame = Frame(0x42, {0x10, 0x20});
    const RxStateCode after[] = {RX_SYNC2, RX_TYPE, RX_LENGTH, RX_DATA,
                                 RX_DATA,  RX_SUM,  RX_XOR,    RX_SYNC1};
    ASSERT_EQ(frame.size(), std::size(after));
    for (std::size_t i = 0; i < frame.size(); ++i) {
        EXPECT_EQ(t.link.NodeIndicatorTimeout, 0) << "byte " << i;
        t.Feed({frame[i]});
        EXPECT_EQ(t.link.FrameReceiver.State(), after[i]) << "byte " << i;
    }
    EXPECT_EQ(t.link.NodeIndicatorTimeout, TIMEOUT_TICKS); // any type restarts it
    EXPECT_EQ(t.link.FrameReceiver.RxType(), 0x42);
    EXPECT_EQ(t.displays, 0);
}

TEST(Receiver, IgnoresBytesBeforeASyncAndDropsABadSecondSync) {
    Bench t;
    t.Feed({0x00, 0x82, 0xFF});
    EXPECT_EQ(t.link.FrameReceiver.State(), RX_SYNC1);
    t.Feed({0xD5, 0x00});
    EXPECT_EQ(t.link.FrameReceiver.State(), RX_SYNC1);
    // D5 D5 82: the second D5 is dropped, so 82 does not start a frame.
    auto frame = Frame(FRAME_STATUS, Bytes(STATUS_RECORD_SIZE, 0x01));
    Bytes stream = frame;
    stream.insert(stream.begin(), SYNC1);
    t.Feed(stream);
    EXPECT_EQ(t.link.NodeIndicatorTimeout, 0);
    EXPECT_EQ(t.displays, 0);
    t.Feed(frame);
    EXPECT_EQ(t.displays, 1);
}

TEST(Receiver, BadChecksDropTheFrameWithoutRestartingTheTimeout) {
    StatusRecord record;
    record.SetNodePresent(0x01);
    for (std::size_t checkByte : {2u, 1u}) { // sum, then XOR, counted from the end
        Bench t;
        auto frame = StatusFrame(record);
        frame[frame.size() - checkByte] ^= 0x01;
        t.Feed(frame);
        EXPECT_EQ(t.link.FrameReceiver.State(), RX_SYNC1);
        EXPECT_EQ(t.link.NodeIndicatorTimeout, 0);
        EXPECT_EQ(t.link.StatusRecord.NodePresent(), 0);
        EXPECT_EQ(t.displays, 0);
        t.Feed(StatusFrame(record)); // the next good frame is taken
        EXPECT_EQ(t.displays, 1);
    }
}

TEST(Receiver, LengthByteZeroTakes256DataBytes) {
    Bench t;
    Bytes data(256);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i);
    data[0] = 0x01; // node 1 present
    auto frame = Frame(FRAME_STATUS, data);
    ASSERT_EQ(frame[3], 0);
    t.Feed(Bytes(frame.begin(), frame.end() - 2));
    EXPECT_EQ(t.link.FrameReceiver.State(), RX_SUM);
    t.Feed(Bytes(frame.end() - 2, frame.end()));
    EXPECT_EQ(t.displays, 1);
    // The first 204 bytes are taken; the rest is ignored.
    EXPECT_TRUE(std::equal(t.link.StatusRecord.bytes.begin(), t.link.StatusRecord.bytes.end(),
                           data.begin()));
}

TEST(Receiver, ShortFramesAreCheckedButNotCopied) {
    Bench t;
    t.selected = 3;
    StatusRecord full;
    full.SetNodePresent(0xFF);
    full.SetInputVoltage(2, 123);
    t.Feed(StatusFrame(full));
    t.Feed(Frame(FRAME_BREAKER_SETUP, SetupReplyData(2)));
    ASSERT_EQ(t.displays, 1);
    ASSERT_TRUE(t.link.SetupReceived);
    const auto setupBefore = t.link.BreakerSetupRecord;

    // A status frame of 100 bytes: checked, restarts the timeout, copies nothing.
    t.link.NodeIndicatorTimeout = 0;
    t.Feed(Frame(FRAME_STATUS, Bytes(100, 0x00)));
    EXPECT_EQ(t.link.NodeIndicatorTimeout, TIMEOUT_TICKS);
    EXPECT_EQ(t.link.StatusRecord.bytes, full.bytes);
    EXPECT_EQ(t.displays, 1);

    // A setup reply of 24 bytes from the selected node: no copy, no flag.
    t.link.SetupReceived = false;
    Bytes shortReply(24, 0x00);
    shortReply[0] = 2;
    t.Feed(Frame(FRAME_BREAKER_SETUP, shortReply));
    EXPECT_FALSE(t.link.SetupReceived);
    EXPECT_EQ(t.link.BreakerSetupRecord.TripCurrent, setupBefore.TripCurrent);
    EXPECT_EQ(t.link.BreakerSetupRecord.TripTime, setupBefore.TripTime);

    // A longer reply is taken, its extra bytes ignored.
    Bytes longReply = SetupReplyData(2);
    longReply[17] = 77;
    longReply.resize(40, 0xEE);
    t.Feed(Frame(FRAME_BREAKER_SETUP, longReply));
    EXPECT_TRUE(t.link.SetupReceived);
    EXPECT_EQ(t.link.BreakerSetupRecord.TripTime[0], 77);
}

TEST(Receiver, StoresTheSetupReplyOfTheSelectedNodeOnly) {
    Bench t;
    t.selected = 4;
    t.Feed(Frame(FRAME_BREAKER_SETUP, SetupReplyData(2)));
    EXPECT_EQ(t.link.NodeIndicatorTimeout, TIMEOUT_TICKS);
    EXPECT_FALSE(t.link.SetupReceived);
    EXPECT_EQ(t.link.BreakerSetupRecord.TripCurrent[0], 0);

    t.Feed(Frame(FRAME_BREAKER_SETUP, SetupReplyData(3)));
    EXPECT_TRUE(t.link.SetupReceived);
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
        EXPECT_EQ(t.link.BreakerSetupRecord.TripCurrent[b], 100 + b * 257);
        EXPECT_EQ(t.link.BreakerSetupRecord.TripTime[b], 10 + b);
    }
}

TEST(Comm1RxChar, AFrameSplitDownToOneBytePerEventIsTakenWhole) {
    StatusRecord record;
    record.SetNodePresent(0x01);
    record.SetCurrent(0, 7, 0xBEEF);
    record.SetFixedProfile(7, 9);
    Bench t;
    t.port.Queue(StatusFrame(record));
    t.port.maxPerRead = 1;
    int events = 0;
    while (!t.port.waiting.empty()) {
        t.link.Comm1RxChar(1);
        ++events;
        if (!t.port.waiting.empty()) {
            EXPECT_EQ(t.displays, 0);
        }
    }
    EXPECT_EQ(events, 210);
    EXPECT_EQ(t.displays, 1);
    EXPECT_EQ(t.link.StatusRecord.bytes, record.bytes);
}

TEST(Comm1RxChar, ReadsAtMost10000BytesAndLeavesTheRestQueued) {
    Bench t;
    StatusRecord record;
    record.SetNodePresent(0x01);
    for (int i = 0; i < 50; ++i) // 50 x 210 = 10500 bytes
        t.port.Queue(StatusFrame(record));
    t.link.Comm1RxChar(10500);
    EXPECT_EQ(t.port.readRequests, std::vector<int>{10000});
    EXPECT_EQ(t.port.waiting.size(), 500u);
    EXPECT_EQ(t.displays, 47); // 47 whole frames lie in the first 10000 bytes
    t.link.Comm1RxChar(500);
    EXPECT_EQ(t.port.waiting.size(), 0u);
    EXPECT_EQ(t.displays, 50);
}

TEST(Comm1RxChar, FeedsOnlyWhatAReadDelivered) {
    Bench t;
    StatusRecord record;
    record.SetNodePresent(0x01);
    auto frame = StatusFrame(record);
    t.port.Queue(frame);
    t.link.Comm1RxChar(static_cast<int>(frame.size()));
    ASSERT_EQ(t.displays, 1);

    // RxChunk still holds that frame: a short read must not feed its stale tail.
    t.port.Queue({0xD5, 0x82});
    t.link.Comm1RxChar(static_cast<int>(frame.size()));
    EXPECT_EQ(t.displays, 1);
    EXPECT_EQ(t.link.FrameReceiver.State(), RX_TYPE);

    // A failed read feeds nothing.
    t.port.Queue(Bytes(frame.begin() + 2, frame.end()));
    t.port.failReads = true;
    t.link.Comm1RxChar(static_cast<int>(frame.size()));
    EXPECT_EQ(t.link.FrameReceiver.State(), RX_TYPE);
    EXPECT_EQ(t.displays, 1);
    t.port.failReads = false;
    t.link.Comm1RxChar(static_cast<int>(frame.size()));
    EXPECT_EQ(t.displays, 2);

    // Counts of zero or below read nothing.
    const std::size_t requests = t.port.readRequests.size();
    t.link.Comm1RxChar(0);
    t.link.Comm1RxChar(-5);
    EXPECT_EQ(t.port.readRequests.size(), requests);
}

// A reply shorter than the guess would wait for bytes that never come.
TEST(Comm1RxChar, TheFrameToComeIsTakenForASetupReplyWhileOneIsDue) {
    Bench t;
    StatusRecord record;
    record.SetNodePresent(0x01);
    const Bytes status = StatusFrame(record);
    auto deliver = [&t](const Bytes& bytes) {
        t.port.Queue(bytes);
        t.link.Comm1RxChar(static_cast<int>(bytes.size()));
    };
    deliver(status);
    EXPECT_EQ(t.port.expected.back(), 210);
    t.link.RequestBreakerSetup();
    EXPECT_EQ(t.port.expected.back(), 31);
    deliver(Frame(FRAME_BREAKER_SETUP, SetupReplyData(0)));
    EXPECT_TRUE(t.link.SetupReceived);
    EXPECT_EQ(t.port.expected.back(), 210);

    // Within a frame the rest is known. A reply not come by the end of the next status frame
    // (the one under way when asked, if any) is not expected any longer.
    t.link.RequestBreakerSetup();
    deliver(status);
    EXPECT_EQ(t.port.expected.back(), 210);
    deliver(Bytes(status.begin(), status.begin() + 10));
    t.link.RequestBreakerSetup();
    EXPECT_EQ(t.port.expected.back(), 200);
    deliver(Bytes(status.begin() + 10, status.end()));
    EXPECT_EQ(t.port.expected.back(), 31);
    deliver(status);
    EXPECT_EQ(t.port.expected.back(), 210);
}

TEST(NodeSelection, AnySelectorValueIsClampedTo1To8) {
    const std::pair<int, std::uint8_t> cases[] = {{1, 0}, {8, 7},   {0, 0},         {-3, 0},
                                                  {9, 7}, {300, 7}, {INT32_MIN, 0}, {5, 4}};
    for (auto [selected, nodeByte] : cases) {
        Bench t;
        t.selected = selected;
        t.link.Button7Click();
        ASSERT_EQ(t.port.written.size(), 1u);
        EXPECT_EQ(t.LastWrite()[4], nodeByte) << "selector " << selected;
    }
    LinkState unwired;
    EXPECT_EQ(unwired.SelectedNode(), 1);
}

TEST(NodeSelection, SetupRepliesAreMatchedAgainstTheClampedNode) {
    Bench t;
    t.selected = 12;
    t.Feed(Frame(FRAME_BREAKER_SETUP, SetupReplyData(11)));
    EXPECT_FALSE(t.link.SetupReceived);
    t.Feed(Frame(FRAME_BREAKER_SETUP, SetupReplyData(7)));
    EXPECT_TRUE(t.link.SetupReceived);
}
