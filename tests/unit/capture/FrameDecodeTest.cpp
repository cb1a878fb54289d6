// The decoder's summary of every command code and both frame types, and what a bad frame shows.
#include "link/protocol/FrameDecode.h"
#include "tests/unit/link/LinkTestSupport.h"

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::test;

namespace {

FrameRecord Record(Direction d, FrameOutcome o, const Bytes& bytes) {
    FrameRecord r;
    r.direction = d;
    r.outcome = o;
    r.length = static_cast<std::uint16_t>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), r.bytes.begin());
    return r;
}

std::string Summary(Direction d, FrameOutcome o, const Bytes& bytes) {
    return DecodeFrame(Record(d, o, bytes)).summary;
}

std::string Command(std::uint8_t code, Bytes data) {
    return Summary(Direction::Outbound, FrameOutcome::Sent, Frame(code, data));
}

} // namespace

TEST(FrameDecode, SummarisesEveryCommand) {
    EXPECT_EQ(Command(CMD_TRIP_CURRENT, {7, 3, 25, 0}), "trip current breaker 4 = 2.5 A, node 8");
    EXPECT_EQ(Command(CMD_TRIP_TIME, {0, 1, 150}), "trip time breaker 2 = 15.0 s, node 1");
    EXPECT_EQ(Command(CMD_WIGWAG_MODE, {1, 1}), "wigwag mode steady, node 2");
    EXPECT_EQ(Command(CMD_WIGWAG_INTERVAL, {0, 5}), "wigwag interval 0.5 s, node 1");
    EXPECT_EQ(Command(CMD_WIGWAG_INTERVAL, {0, 0}), "wigwag interval 0.0 s (never flash), node 1");
    EXPECT_EQ(Command(CMD_SWITCH_BREAKER, {2, 4, 1}), "switch breaker 5 on, node 3");
    EXPECT_EQ(Command(CMD_SWITCH_BREAKER, {2, 4, 0}), "switch breaker 5 off, node 3");
    EXPECT_EQ(Command(CMD_DOUBLING, {3, 2}), "doubling/tripling: 1+2 and 3+4 are joined, node 4");
    EXPECT_EQ(Command(CMD_DUAL_LED, {0, 1}), "dual LED on, node 1");
    EXPECT_EQ(Command(CMD_WIGWAG_ENABLE, {0, 0}), "wigwag disable, node 1");
    EXPECT_EQ(Command(CMD_POWER_ON_DEFAULTS, {5, 0x81}),
              "power on defaults: On Off Off Off Off Off Off On, node 6");
    EXPECT_EQ(Command(CMD_FLASHER, {0, 2}), "flasher: Flasher on breakers 5 and 6, node 1");
    EXPECT_EQ(Command(CMD_FACTORY_DEFAULTS, {6, 0}), "set to factory defaults, node 7");
    EXPECT_EQ(Command(CMD_REQUEST_BREAKER_SETUP, {0, 0}), "breaker setup request, node 1");
    EXPECT_EQ(Command(14, {0, 0}), "command 14, node 1");
    EXPECT_EQ(Command(CMD_SWITCH_BREAKER, {2, 4}),
              "CMD_SWITCH_BREAKER with 1 payload byte (2 expected), node 3");
}

TEST(FrameDecode, SummarisesFramesFromTheBusAndNoise) {
    StatusRecord s;
    s.SetNodePresent(0x0B);
    s.SetCurrent(0, 1, 48);
    const Bytes status = StatusFrame(s);
    EXPECT_EQ(Summary(Direction::Inbound, FrameOutcome::Accepted, status),
              "status: nodes 1, 2, 4 present");
    EXPECT_EQ(Summary(Direction::Inbound, FrameOutcome::Accepted, StatusFrame(StatusRecord{})),
              "status: no nodes present");
    EXPECT_EQ(Summary(Direction::Inbound, FrameOutcome::OtherNode,
                      Frame(FRAME_BREAKER_SETUP, SetupReplyData(1))),
              "breaker setup reply: node 2");
    EXPECT_EQ(Summary(Direction::Inbound, FrameOutcome::IgnoredType, Frame(9, {1, 2, 3})),
              "frame type 9, 3 data bytes");
    EXPECT_EQ(Summary(Direction::Inbound, FrameOutcome::Noise, {1, 2, 3, 4, 5, 6, 7}),
              "noise, 7 bytes");
    EXPECT_EQ(Summary(Direction::Inbound, FrameOutcome::Noise, {0xD5, 0x82}), "noise, 2 bytes");

    Bytes bad = status;
    bad.back() ^= 1;
    const DecodedFrame d = DecodeFrame(Record(Direction::Inbound, FrameOutcome::BadXor, bad), true);
    EXPECT_EQ(d.summary, "bad XOR");
    EXPECT_EQ(d.kind, FrameKind::Status);
    auto field = [&d](const std::string& name) {
        for (const auto& f : d.fields)
            if (f.name == name)
                return f.value;
        return std::string("(none)");
    };
    EXPECT_NE(field("sum").find("(right)"), std::string::npos);
    EXPECT_NE(field("XOR").find("wrong, should be"), std::string::npos);
    EXPECT_EQ(field("node 1 currents").substr(0, 12), "0.0 A, 4.8 A");
    EXPECT_EQ(field("node 3 currents"), "(none)"); // absent nodes are not listed

    bad = status;
    bad.pop_back();
    bad.back() ^= 1;
    EXPECT_EQ(Summary(Direction::Inbound, FrameOutcome::BadSum, bad), "bad sum");
    EXPECT_EQ(NodeOf(Record(Direction::Outbound, FrameOutcome::Sent, Frame(6, {7, 0, 1}))), 8);
    EXPECT_EQ(HexText(status.data(), status.size(), 3), "D5 82 01 ...");
}
