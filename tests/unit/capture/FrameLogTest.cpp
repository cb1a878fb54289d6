// The frame log: the ring, the outcome of every record as the receiver decides it, the rate.
#include "link/protocol/FrameLog.h"
#include "tests/unit/link/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace orvik;
using namespace orvik::test;

TEST(FrameLog, RingWrapsKeepingTheNewestInOrder) {
    FrameLog log(5);
    for (std::uint8_t i = 0; i < 12; ++i)
        log.Add(Direction::Inbound, FrameOutcome::Noise, 100 * i, &i, 1);
    EXPECT_EQ(log.Size(), 5u);
    EXPECT_EQ(log.FirstSeq(), 7u);
    EXPECT_EQ(log.Find(6), nullptr);
    EXPECT_EQ(log.Find(12), nullptr);
    for (std::uint64_t seq = 7; seq < 12; ++seq) {
        const FrameRecord* r = log.Find(seq);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->seq, seq);
        EXPECT_EQ(r->bytes[0], seq);
        EXPECT_EQ(r->timeNs, static_cast<std::int64_t>(100 * seq));
    }
    EXPECT_EQ(log.Counters().noiseBytes, 12u);
    log.Clear();
    EXPECT_EQ(log.Size(), 0u);
    EXPECT_EQ(log.FirstSeq(), 12u); // numbers go on
    EXPECT_EQ(log.Counters().Of(FrameOutcome::Noise), 0u);
}

TEST(FrameLog, FramesPerSecondCountsInboundFramesOfTheLastWholeSecond) {
    FrameLog log(16);
    const std::uint8_t b = 0;
    const std::int64_t ms = 1'000'000;
    for (std::int64_t t : {100 * ms, 500 * ms, 1200 * ms})
        log.Add(Direction::Inbound, FrameOutcome::Accepted, t, &b, 1);
    log.Add(Direction::Inbound, FrameOutcome::Noise, 600 * ms, &b, 1);
    log.Add(Direction::Outbound, FrameOutcome::Sent, 700 * ms, &b, 1);
    EXPECT_EQ(log.FramesPerSecond(1500 * ms), 2u);
    EXPECT_EQ(log.FramesPerSecond(2300 * ms), 1u);
    EXPECT_EQ(log.FramesPerSecond(3500 * ms), 0u);
}

// Every kind of ending, fed in random pieces to a link state with the log and to one without.
TEST(FrameLog, RecordsEachOutcomeAsTheReceiverDecidesIt) {
    StatusRecord status;
    status.SetNodePresent(0x03);
    Bytes badSum = StatusFrame(status);
    badSum[badSum.size() - 2] ^= 0x01;
    Bytes badXor = StatusFrame(status);
    badXor.back() ^= 0x40;
    const std::vector<std::pair<Bytes, FrameOutcome>> parts = {
        {{0x01, 0x02}, FrameOutcome::Noise},
        {{0xD5, 0x33}, FrameOutcome::Noise}, // a first sync byte without its second
        {StatusFrame(status), FrameOutcome::Accepted},
        {Frame(FRAME_STATUS, Bytes(40, 1)), FrameOutcome::ShortStatus},
        {Frame(FRAME_BREAKER_SETUP, SetupReplyData(1)), FrameOutcome::Accepted},
        {Frame(FRAME_BREAKER_SETUP, SetupReplyData(5)), FrameOutcome::OtherNode},
        {Frame(FRAME_BREAKER_SETUP, Bytes(10, 1)), FrameOutcome::ShortSetup},
        {Frame(7, Bytes(3, 9)), FrameOutcome::IgnoredType},
        {badSum, FrameOutcome::BadSum},
        {badXor, FrameOutcome::BadXor},
        {Frame(FRAME_STATUS, Bytes(256, 0)), FrameOutcome::Accepted}, // length byte 0
    };
    Bytes stream;
    std::vector<FrameOutcome> frames;
    for (const auto& [bytes, outcome] : parts) {
        stream.insert(stream.end(), bytes.begin(), bytes.end());
        if (outcome != FrameOutcome::Noise)
            frames.push_back(outcome);
    }

    FrameLog log(64);
    Bench logged;
    Bench plain;
    logged.selected = plain.selected = 2;
    logged.link.SetFrameLog(&log);
    std::mt19937 rng(3);
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t n = std::min<std::size_t>(1 + rng() % 50, stream.size() - at);
        logged.link.FeedBytes(&stream[at], n);
        plain.link.FeedBytes(&stream[at], n);
        at += n;
    }
    // The log only watches.
    EXPECT_EQ(logged.displays, plain.displays);
    EXPECT_EQ(logged.link.StatusRecord.bytes, plain.link.StatusRecord.bytes);
    EXPECT_EQ(logged.link.BreakerSetupRecord.TripCurrent,
              plain.link.BreakerSetupRecord.TripCurrent);
    EXPECT_EQ(logged.link.SetupReceived, plain.link.SetupReceived);

    Bytes recorded;
    std::vector<FrameOutcome> got;
    for (std::uint64_t s = log.FirstSeq(); s < log.NextSeq(); ++s) {
        const FrameRecord& r = *log.Find(s);
        recorded.insert(recorded.end(), r.bytes.begin(), r.bytes.begin() + r.length);
        if (r.outcome != FrameOutcome::Noise)
            got.push_back(r.outcome);
        if (s > log.FirstSeq()) {
            EXPECT_GE(r.timeNs, log.Find(s - 1)->timeNs);
        }
    }
    EXPECT_EQ(recorded, stream); // every byte once, in order
    EXPECT_EQ(got, frames);
    const LinkCounters& c = log.Counters();
    EXPECT_EQ(c.bytesIn, stream.size());
    EXPECT_EQ(c.noiseBytes, 5u); // with the XOR byte after the bad sum
    EXPECT_EQ(c.Of(FrameOutcome::Accepted), 3u);
    EXPECT_EQ(c.Ignored(), 4u);

    // Commands: the port took it, or there is no port.
    logged.link.RequestBreakerSetup();
    logged.link.SetPort(nullptr);
    logged.link.RequestBreakerSetup();
    ASSERT_EQ(log.Find(log.NextSeq() - 2)->outcome, FrameOutcome::Sent);
    EXPECT_EQ(log.Find(log.NextSeq() - 1)->outcome, FrameOutcome::NotSent);
    EXPECT_EQ(log.Find(log.NextSeq() - 1)->direction, Direction::Outbound);
    const Bytes request = {0xD5, 0x82, 0x0D, 0x02, 0x01, 0x00, 0x10, 0x0E};
    EXPECT_TRUE(
        std::equal(request.begin(), request.end(), log.Find(log.NextSeq() - 1)->bytes.begin()));
    EXPECT_EQ(log.Counters().bytesOut, 8u);
}
