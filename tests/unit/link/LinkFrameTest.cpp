#include "link/protocol/LinkFrame.h"
#include "link/protocol/SentCommand.h"
#include "link/protocol/SetupReply.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orvik;

namespace {

std::vector<std::uint8_t> Encode(std::uint8_t type, std::vector<std::uint8_t> data) {
    std::vector<std::uint8_t> out(data.size() + FRAME_OVERHEAD);
    out.resize(EncodeFrame(type, data.data(), data.size(), out.data()));
    return out;
}

// Feeds bytes and returns how many frames were accepted.
int FeedAll(FrameReceiver& rx, const std::vector<std::uint8_t>& bytes) {
    int accepted = 0;
    for (auto b : bytes)
        accepted += rx.Feed(b) ? 1 : 0;
    return accepted;
}

} // namespace

TEST(LinkFrame, EncodesTheWorkedExamples) {
    EXPECT_EQ(Encode(CMD_SWITCH_BREAKER, {0x02, 0x04, 0x01}),
              (std::vector<std::uint8_t>{0xD5, 0x82, 0x06, 0x03, 0x02, 0x04, 0x01, 0x10, 0x02}));
    EXPECT_EQ(Encode(CMD_REQUEST_BREAKER_SETUP, {0x00, 0x00}),
              (std::vector<std::uint8_t>{0xD5, 0x82, 0x0D, 0x02, 0x00, 0x00, 0x0F, 0x0F}));
    EXPECT_EQ(
        Encode(CMD_TRIP_CURRENT, {0x07, 0x03, 0x19, 0x00}),
        (std::vector<std::uint8_t>{0xD5, 0x82, 0x02, 0x04, 0x07, 0x03, 0x19, 0x00, 0x29, 0x1B}));
}

TEST(LinkFrame, ChecksumsOfNothingAreZero) {
    std::uint8_t buf[2] = {0xAA, 0xBB};
    AddChecksums(buf, 0);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[1], 0);
}

TEST(LinkFrame, EncodeRejectsLengthsOutsideTheFrame) {
    std::uint8_t data[257] = {};
    std::uint8_t out[300];
    EXPECT_EQ(EncodeFrame(FRAME_STATUS, data, 0, out), 0u);
    EXPECT_EQ(EncodeFrame(FRAME_STATUS, data, 257, out), 0u);
    EXPECT_EQ(EncodeFrame(FRAME_STATUS, data, 256, out), 262u);
    EXPECT_EQ(out[3], 0); // 256 is sent as 0
}

TEST(FrameReceiver, AcceptsAnEncodedFrameAndKeepsItsData) {
    FrameReceiver rx;
    auto frame = Encode(FRAME_BREAKER_SETUP, {3, 1, 2, 3});
    EXPECT_EQ(FeedAll(rx, frame), 1);
    EXPECT_EQ(rx.RxType(), FRAME_BREAKER_SETUP);
    EXPECT_EQ(rx.ReceivedLength(), 4u);
    EXPECT_EQ(rx.FrameData()[0], 3);
    EXPECT_EQ(rx.FrameData()[3], 3);
    EXPECT_EQ(rx.State(), RX_SYNC1);
}

TEST(FrameReceiver, LengthZeroTakes256DataBytes) {
    FrameReceiver rx;
    std::vector<std::uint8_t> data(256);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    auto frame = Encode(FRAME_STATUS, data);
    ASSERT_EQ(frame[3], 0);
    // All but the checks: still in the data after 255 bytes, then waiting for the sum.
    for (std::size_t i = 0; i < 4 + 255; ++i)
        EXPECT_FALSE(rx.Feed(frame[i]));
    EXPECT_EQ(rx.State(), RX_DATA);
    EXPECT_FALSE(rx.Feed(frame[4 + 255]));
    EXPECT_EQ(rx.State(), RX_SUM);
    EXPECT_FALSE(rx.Feed(frame[260]));
    EXPECT_TRUE(rx.Feed(frame[261]));
    EXPECT_EQ(rx.ReceivedLength(), 256u);
    EXPECT_EQ(rx.FrameData()[255], data[255]);
}

TEST(FrameReceiver, DropsBadSumOrXorAndResyncs) {
    FrameReceiver rx;
    auto good = Encode(FRAME_STATUS, {1, 2, 3});
    auto badSum = good;
    badSum[badSum.size() - 2] ^= 0x01;
    auto badXor = good;
    badXor[badXor.size() - 1] ^= 0x40;
    EXPECT_EQ(FeedAll(rx, badSum), 0);
    EXPECT_EQ(rx.State(), RX_SYNC1);
    EXPECT_EQ(FeedAll(rx, badXor), 0);
    EXPECT_EQ(rx.State(), RX_SYNC1);
    EXPECT_EQ(FeedAll(rx, good), 1);
}

// What the simulator and the tests encode is what the link decodes.
TEST(Codec, SetupReplyAndCommandComeBackAsTheyWent) {
    SetupReply reply;
    reply.node = 6;
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
        reply.trips.TripCurrent[b] = static_cast<std::uint16_t>(300 + 257 * b);
        reply.trips.TripTime[b] = static_cast<std::uint8_t>(5 + b);
    }
    const auto bytes = EncodeSetupReply(reply);
    const std::optional<SetupReply> back = DecodeSetupReply(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->node, 6);
    EXPECT_EQ(back->trips, reply.trips);
    EXPECT_FALSE(DecodeSetupReply(bytes.data(), SETUP_REPLY_SIZE - 1));

    const std::uint8_t payload[3] = {4, 0x2C, 0x01};
    std::uint8_t frame[MAX_FRAME_SIZE];
    const std::size_t length = EncodeCommand({CMD_TRIP_CURRENT, 2, payload, 3}, frame);
    ASSERT_EQ(length, 10u);
    FrameReceiver rx;
    std::optional<SentCommand> command;
    for (std::size_t i = 0; i < length; ++i)
        if (rx.Feed(frame[i]))
            command = DecodeCommand(rx.RxType(), rx.FrameData().data(), rx.ReceivedLength());
    ASSERT_TRUE(command);
    EXPECT_EQ(command->code, CMD_TRIP_CURRENT);
    EXPECT_EQ(command->node, 2);
    EXPECT_EQ(std::vector<std::uint8_t>(command->payload, command->payload + 3),
              std::vector<std::uint8_t>(payload, payload + 3));
    EXPECT_EQ(EncodeCommand({CMD_TRIP_CURRENT, 2, payload, MAX_COMMAND_PAYLOAD + 1}, frame), 0u);
}
