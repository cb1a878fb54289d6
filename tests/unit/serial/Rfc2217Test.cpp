// The RFC 2217 stream without a socket: the parser, the escaping, the client's negotiation as
// ser2net 4.3 drives it, and the names of network ports.
#include "serial/Rfc2217.h"
#include "serial/NetworkAddress.h"
#include "serial/PortBackend.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvik;
using namespace orvik::telnet;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Sub(std::uint8_t command, const Bytes& value) {
    Bytes b = {IAC, SB, COM_PORT, command};
    for (std::uint8_t v : value)
        b.push_back(v);
    b.push_back(IAC);
    b.push_back(SE);
    return b;
}

struct Fed {
    Bytes data;
    std::vector<TelnetNotice> notices;
};

// Feeds `in` one byte a call, so that every command is split.
Fed FeedByteByByte(TelnetParser& p, const Bytes& in) {
    Fed out;
    for (std::uint8_t b : in) {
        std::uint8_t d[1];
        if (p.Feed(&b, 1, d, out.notices) == 1)
            out.data.push_back(d[0]);
    }
    return out;
}

// Runs the server's bytes through a parser into the negotiation; what the client answers.
std::string Drive(ComPortNegotiation& n, const Bytes& server) {
    TelnetParser p;
    std::vector<TelnetNotice> notices;
    Bytes data(server.size());
    p.Feed(server.data(), server.size(), data.data(), notices);
    std::string out;
    for (const auto& notice : notices)
        n.Take(notice, out);
    return out;
}

std::string Verb(std::uint8_t verb, std::uint8_t option) {
    return std::string{char(IAC), char(verb), char(option)};
}

// What ser2net 4.3 sends on a new RFC 2217 connection.
const Bytes SER2NET_OPENING = {IAC, WILL, SGA, IAC,    DO,  SGA,  IAC,    WILL, 1,  IAC,     DONT,
                               1,   IAC,  DO,  BINARY, IAC, WILL, BINARY, IAC,  DO, COM_PORT};

} // namespace

TEST(TelnetParser, DataCommandsAndAnswersSplitAnywhere) {
    Bytes in = {0x01, IAC, IAC, 0x02, IAC, 241 /* NOP */, 0x03};
    const Bytes baud = Sub(101, {0x00, 0x00, 0xE1, 0x00});
    const Bytes odd = Sub(102, {IAC, IAC});                  // a value byte 0xFF, escaped
    const Bytes other = {IAC, SB, 24, 0, 'x', 't', IAC, SE}; // terminal type: not ours
    for (const Bytes* b : {&baud, &odd, &other})
        in.insert(in.end(), b->begin(), b->end());
    in.insert(in.end(), {IAC, WONT, 1, 0x04});

    TelnetParser whole;
    Fed all;
    Bytes data(in.size());
    data.resize(whole.Feed(in.data(), in.size(), data.data(), all.notices));
    TelnetParser split;
    const Fed pieces = FeedByteByByte(split, in);

    for (const Fed& f : {Fed{data, all.notices}, pieces}) {
        EXPECT_EQ(f.data, (Bytes{0x01, 0xFF, 0x02, 0x03, 0x04}));
        ASSERT_EQ(f.notices.size(), 3u);
        EXPECT_EQ(f.notices[0].kind, TelnetNotice::Kind::ComPort);
        EXPECT_EQ(f.notices[0].code, 101);
        EXPECT_EQ(f.notices[0].value, 57600u);
        EXPECT_EQ(f.notices[0].length, 4);
        EXPECT_EQ(f.notices[1].value, 0xFFu);
        EXPECT_EQ(f.notices[1].length, 1);
        EXPECT_EQ(f.notices[2].kind, TelnetNotice::Kind::Wont);
        EXPECT_EQ(f.notices[2].code, 1);
    }
}

TEST(EscapeIac, DoublesEach0xFFAndTheParserTakesItBack) {
    const Bytes frame = {0x55, 0xFF, 0x00, 0xFF, 0xFF};
    Bytes escaped(2 * frame.size());
    escaped.resize(EscapeIac(frame.data(), frame.size(), escaped.data()));
    EXPECT_EQ(escaped, (Bytes{0x55, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
    TelnetParser back;
    EXPECT_EQ(FeedByteByByte(back, escaped).data, frame);
}

TEST(ComPortNegotiation, SetsTheLineWithSer2netAndCountsAnUnconfirmedFlowControlAsTaken) {
    for (const bool confirmsFlow : {true, false}) {
        ComPortNegotiation n;
        std::vector<std::string> steps;
        n.OnStep = [&](const std::string& s) { steps.push_back(s); };
        std::string out;
        n.Start(out);
        EXPECT_EQ(out, Verb(WILL, COM_PORT) + Verb(WILL, BINARY) + Verb(DO, BINARY));
        out.clear();
        n.SetLine(ComPortLine{}, out);
        EXPECT_EQ(out, ""); // not before the server agreed to the option

        // Go-ahead suppressed both ways, echo refused, our own requests not repeated, and
        // the line asked for: flow control first, then 57600 8N1.
        std::string line;
        AppendComPortCommand(line, SET_CONTROL, 1, 1);
        AppendComPortCommand(line, SET_BAUDRATE, 57600, 4);
        AppendComPortCommand(line, SET_DATASIZE, 8, 1);
        AppendComPortCommand(line, SET_PARITY, 1, 1);
        AppendComPortCommand(line, SET_STOPSIZE, 1, 1);
        EXPECT_EQ(Drive(n, SER2NET_OPENING),
                  Verb(DO, SGA) + Verb(WILL, SGA) + Verb(DONT, 1) + line);
        EXPECT_EQ(n.Result(), ComPortNegotiation::Outcome::Pending);

        Bytes answers = confirmsFlow ? Sub(105, {1}) : Bytes{};
        for (const Bytes& b : {Sub(101, {0, 0, 0xE1, 0}), Sub(102, {8}), Sub(103, {1})})
            answers.insert(answers.end(), b.begin(), b.end());
        EXPECT_EQ(Drive(n, answers), "");
        EXPECT_EQ(n.Result(), ComPortNegotiation::Outcome::Pending);
        EXPECT_EQ(n.Why(), "no answer to the stop size");
        Drive(n, Sub(104, {1}));
        EXPECT_EQ(n.Result(), ComPortNegotiation::Outcome::Accepted);
        EXPECT_EQ(steps.back(), "line set: 57600 8N1");
        const std::string flow = steps[steps.size() - 2];
        EXPECT_EQ(flow, confirmsFlow ? "server took stop size 1"
                                     : "no answer to flow control 1; counted as taken");
    }
}

TEST(ComPortNegotiation, ARefusedBaudRateFailsWithWhatTheServerSet) {
    ComPortNegotiation n;
    std::string out;
    n.Start(out);
    n.SetLine(ComPortLine{}, out);
    Drive(n, {IAC, DO, COM_PORT});
    Drive(n, Sub(105, {3})); // flow control answered otherwise: taken all the same
    EXPECT_EQ(n.Result(), ComPortNegotiation::Outcome::Pending);
    Drive(n, Sub(101, {0, 0, 0x25, 0x80}));
    EXPECT_EQ(n.Result(), ComPortNegotiation::Outcome::Refused);
    EXPECT_EQ(n.Why(), "the server set the baud rate to 9600 for 57600");
}

TEST(ComPortNegotiation, ARefusedOptionFails) {
    ComPortNegotiation refused;
    std::string out;
    refused.Start(out);
    Drive(refused, {IAC, DONT, COM_PORT});
    EXPECT_EQ(refused.Result(), ComPortNegotiation::Outcome::Refused);
}

// Each bit of the server's line and modem state notices as the port reports it; states that
// did not change, and what is no error, report nothing.
TEST(ComPortNegotiation, LineAndModemNoticesBecomeLineErrorsAndEvents) {
    ComPortNegotiation n;
    std::string out;
    n.Start(out);
    n.SetLine(ComPortLine{}, out);
    Drive(n, {IAC, DO, COM_PORT});
    const struct {
        std::uint8_t notice, value;
        std::uint32_t errors, events;
    } cases[] = {{106, 0x02, COMM_CE_OVERRUN, COMM_EV_ERR},
                 {106, 0x04, COMM_CE_RXPARITY, COMM_EV_ERR},
                 {106, 0x08, COMM_CE_FRAME, COMM_EV_ERR},
                 {106, 0x10, COMM_CE_BREAK, COMM_EV_BREAK},
                 {106, 0xE1, 0, 0}, // data ready, transmitter empty, time-out: no error
                 {107, 0x01, 0, COMM_EV_CTS},
                 {107, 0x02, 0, COMM_EV_DSR},
                 {107, 0x04, 0, COMM_EV_RING},
                 {107, 0x08, 0, COMM_EV_RLSD},
                 {107, 0xF0, 0, 0}}; // the states alone, unchanged
    for (const auto& c : cases) {
        Drive(n, Sub(c.notice, {c.value}));
        EXPECT_EQ(n.TakeErrors(), c.errors) << int(c.notice) << " " << int(c.value);
        EXPECT_EQ(n.TakeEvents(), c.events) << int(c.notice) << " " << int(c.value);
    }
    Drive(n, Sub(106, {0x0A})); // overrun and framing error, gathered until taken
    Drive(n, Sub(107, {0x09})); // CTS and carrier changed
    EXPECT_EQ(n.TakeErrors(), COMM_CE_OVERRUN | COMM_CE_FRAME);
    EXPECT_EQ(n.TakeEvents(), COMM_EV_ERR | COMM_EV_CTS | COMM_EV_RLSD);
    EXPECT_EQ(n.Result(), ComPortNegotiation::Outcome::Pending);
}

TEST(NetworkAddress, NamesIpv4AndBracketedIpv6WithAPort) {
    const auto a = ParseNetworkPortName("rfc2217://bench-pi:3001");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->protocol, NetworkProtocol::Rfc2217);
    EXPECT_EQ(a->host, "bench-pi");
    EXPECT_EQ(a->port, 3001);
    const auto b = ParseNetworkPortName("SOCKET://[::1]:4000");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->protocol, NetworkProtocol::Raw);
    EXPECT_EQ(b->host, "::1");
    EXPECT_EQ(ParseNetworkPortName("socket://127.0.0.1:23")->host, "127.0.0.1");
    for (const char* bad :
         {"rfc2217://bench-pi", "rfc2217://:3001", "rfc2217://h:0", "rfc2217://h:65536",
          "socket://[::1:4000", "rfc2217://a b:1", "COM3", "/dev/ttyUSB0"})
        EXPECT_FALSE(ParseNetworkPortName(bad)) << bad;
    EXPECT_TRUE(IsNetworkPortName("rfc2217://bench-pi")); // meant as one, though bad
    EXPECT_FALSE(IsNetworkPortName("COM3"));
}
