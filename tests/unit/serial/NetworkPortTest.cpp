// The component on a network port, against small servers of the test's own on 127.0.0.1: the
// same cases on BSD sockets and, cross-built, on Winsock under Wine.
#include "serial/NetworkPort.h"
#include "serial/CommPort.h"
#include "serial/NetworkSocket.h"
#include "serial/PortProblem.h"
#include "serial/Rfc2217.h"
#include "tests/support/FakeTcpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

using namespace orvik;
using namespace orvik::test;
using namespace orvik::telnet;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

const Bytes FRAME = {0x55, 0x01, 0xFF, 0x00, 0xFF, 0x7E}; // 0xFF as in a load of 25.5 A

Bytes Escaped(const Bytes& b) {
    Bytes out(2 * b.size());
    out.resize(EscapeIac(b.data(), b.size(), out.data()));
    return out;
}

struct ServerSide {
    std::mutex lock;
    Bytes received; // data the client sent after the negotiation, unescaped
};

// An RFC 2217 server: agrees to the option, answers each request with its value (the baud rate
// with `baud`), sends FRAME escaped, takes what the client sends, and hangs up after `holdMs`.
FakeTcpServer::Script Rfc2217Server(ServerSide& side, std::uint32_t baud = 0, int holdMs = 3000) {
    return [&side, baud, holdMs](FakeClient& c) {
        c.Write({IAC, DO, COM_PORT, IAC, WILL, BINARY, IAC, DO, BINARY});
        TelnetParser p;
        std::vector<TelnetNotice> notices;
        int answered = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(holdMs);
        while (!c.Closed() && std::chrono::steady_clock::now() < end) {
            Bytes in = c.Read(100);
            Bytes data(in.size());
            data.resize(p.Feed(in.data(), in.size(), data.data(), notices));
            for (const TelnetNotice& n : notices) {
                if (n.kind != TelnetNotice::Kind::ComPort || n.code < 1 || n.code > 5)
                    continue;
                std::string answer;
                const std::uint32_t value = n.code == SET_BAUDRATE && baud ? baud : n.value;
                AppendComPortCommand(answer, n.code + SERVER_OFFSET, value, n.length);
                c.Write(Bytes(answer.begin(), answer.end()));
                if (++answered == 5)
                    c.Write(Escaped(FRAME));
            }
            notices.clear();
            std::lock_guard<std::mutex> lk(side.lock);
            side.received.insert(side.received.end(), data.begin(), data.end());
        }
    };
}

struct NetworkPortTest : ::testing::Test {
    std::shared_ptr<TPumpedInvoker> Invoker = std::make_shared<TPumpedInvoker>();
    TComm Comm{Invoker};
    Bytes Received;
    std::int32_t LostError = 0;
    bool Lost = false;

    void SetUp() override {
        Comm.SetBaudRate(cbr57600);
        Comm.OnRxChar = [this](TCustomComm*, std::int32_t count) {
            Bytes b(static_cast<std::size_t>(count));
            b.resize(static_cast<std::size_t>(std::max(0, Comm.Read(b.data(), count))));
            Received.insert(Received.end(), b.begin(), b.end());
        };
        Comm.OnLineLost = [this](TCustomComm*, std::int32_t error) {
            Lost = true;
            LostError = error;
        };
    }
    void TearDown() override { Comm.Close(); }

    void Open(const std::string& name) {
        Comm.Close();
        Comm.SetDeviceName(name);
        Comm.Open(); // returns at once: the connection is made on the monitor thread
    }
    template <typename F> bool PumpUntil(F&& done, std::chrono::milliseconds limit = 8s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end)
            Invoker->WaitAndPump(20ms);
        return done();
    }
    PortProblem LostWith() { return ClassifyPortError(LostError); }
    // Opens `name`; what the connection ended with.
    PortProblem LostOn(const std::string& name) {
        Open(name);
        return PumpUntil([&] { return Lost; }) ? LostWith() : PortProblem::None;
    }
};

std::string Url(const char* scheme, std::uint16_t port) {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port);
}

// Stands in for the system's resolver while it lives: knows no name, after 10 s.
struct SlowResolver {
    static inline std::atomic<bool> asked{false};
    static bool Resolve(const std::string&, std::uint16_t, std::vector<SocketAddress>&) {
        asked = true;
        std::this_thread::sleep_for(10s);
        return false;
    }
    SlowResolver() {
        asked = false;
        SetNameResolver(&Resolve);
    }
    ~SlowResolver() { SetNameResolver(nullptr); }
};

// The monitor thread's first wait on `port`, on a thread of its own: its result and error.
std::future<std::pair<TWaitResult, std::int32_t>> FirstWait(TPortDevice& port) {
    return std::async(std::launch::async, [&port] {
        std::uint32_t events = 0;
        const TWaitResult r = port.WaitEvent(events);
        return std::pair{r, PortGetLastError()};
    });
}

} // namespace

TEST_F(NetworkPortTest, FramesHolding0xFFPassWholeBothWaysOverRfc2217) {
    ServerSide rfc;
    FakeTcpServer rfcServer(Rfc2217Server(rfc));
    Open(Url("rfc2217", rfcServer.Port()));
    ASSERT_TRUE(PumpUntil([&] { return Received.size() >= FRAME.size(); }));
    EXPECT_EQ(Received, FRAME);
    EXPECT_EQ(Comm.Stage(), PortStage::Ready);
    ASSERT_EQ(Comm.Write(FRAME.data(), static_cast<std::int32_t>(FRAME.size())), 6);
    ASSERT_TRUE(PumpUntil([&] {
        std::lock_guard<std::mutex> lk(rfc.lock);
        return rfc.received.size() >= FRAME.size();
    }));
    EXPECT_EQ(rfc.received, FRAME);
    Comm.Close(); // before the server goes
}

TEST_F(NetworkPortTest, FramesHolding0xFFPassWholeBothWaysOverRawTcp) {
    Bytes rawReceived;
    std::mutex rawLock;
    FakeTcpServer rawServer([&](FakeClient& c) {
        c.Write(FRAME); // raw: no escaping either way
        Bytes in = c.Read(3000);
        std::lock_guard<std::mutex> lk(rawLock);
        rawReceived = in;
        c.Drain(3000);
    });
    Open(Url("socket", rawServer.Port()));
    ASSERT_TRUE(PumpUntil([&] { return Received.size() >= FRAME.size(); }));
    EXPECT_EQ(Received, FRAME);
    ASSERT_EQ(Comm.Write(FRAME.data(), static_cast<std::int32_t>(FRAME.size())), 6);
    ASSERT_TRUE(PumpUntil([&] {
        std::lock_guard<std::mutex> lk(rawLock);
        return !rawReceived.empty();
    }));
    EXPECT_EQ(rawReceived, FRAME);
    Comm.Close(); // before the server goes
}

TEST_F(NetworkPortTest, NothingListeningEndsTheConnectionAsRefused) {
    EXPECT_EQ(LostOn(Url("rfc2217", FakeTcpServer::RefusingPort())), PortProblem::ConnectRefused);
}

TEST_F(NetworkPortTest, AServerThatStaysAt9600IsNotAccepted) {
    ServerSide slow;
    FakeTcpServer at9600(Rfc2217Server(slow, 9600));
    EXPECT_EQ(LostOn(Url("rfc2217", at9600.Port())), PortProblem::NotAccepted);
    EXPECT_EQ(PortProblemText(LostWith(), "rfc2217://bench-pi:3001", LostError),
              "rfc2217://bench-pi:3001 did not accept 57600 8N1; is the port in RFC 2217 mode?");
}

TEST_F(NetworkPortTest, AServerHangingUpAfterTheSetUpIsALostLine) {
    ServerSide brief;
    FakeTcpServer hangsUp(Rfc2217Server(brief, 0, 500));
    EXPECT_EQ(LostOn(Url("rfc2217", hangsUp.Port())), PortProblem::Disconnected);
    EXPECT_EQ(Received, FRAME);
}

TEST_F(NetworkPortTest, CloseEndsTheWaitForASilentServerAtOnce) {
    FakeTcpServer silent([](FakeClient& c) { c.Drain(3000); });
    Open(Url("rfc2217", silent.Port()));
    ASSERT_TRUE(PumpUntil([&] { return Comm.Stage() == PortStage::Negotiating; }));
    Comm.Close();
    EXPECT_FALSE(Lost);
}

TEST_F(NetworkPortTest, ASilentServerIsNotAcceptedOnceTheBoundIsOver) {
    FakeTcpServer silent([](FakeClient& c) { c.Drain(3000); });
    auto port = OpenNetworkPort(Url("rfc2217", silent.Port()), 300);
    ASSERT_TRUE(port);
    std::uint32_t events = 0;
    EXPECT_EQ(port->WaitEvent(events), TWaitResult::Failed);
    EXPECT_EQ(ClassifyPortError(PortGetLastError()), PortProblem::NotAccepted);
    EXPECT_EQ(port->Write(FRAME.data(), 6), -1); // nothing goes out on a line never set
}

TEST_F(NetworkPortTest, ANameNotResolvedWithinTheBoundEndsTheWaitAsTimedOut) {
    SlowResolver resolver;
    auto port = OpenNetworkPort("socket://bench-pi:3001", 300);
    ASSERT_TRUE(port);
    auto wait = FirstWait(*port);
    const bool ended = wait.wait_for(5s) == std::future_status::ready;
    if (!ended)
        port->Stop();
    ASSERT_TRUE(ended);
    const auto [result, error] = wait.get();
    EXPECT_EQ(result, TWaitResult::Failed);
    EXPECT_EQ(ClassifyPortError(error), PortProblem::TimedOut);
}

TEST_F(NetworkPortTest, AStopWhileANameIsResolvedEndsTheWaitAtOnce) {
    SlowResolver resolver;
    auto port = OpenNetworkPort("socket://bench-pi:3001", 30000);
    ASSERT_TRUE(port);
    auto wait = FirstWait(*port);
    for (int i = 0; i < 500 && !SlowResolver::asked; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(SlowResolver::asked);
    port->Stop();
    ASSERT_EQ(wait.wait_for(5s), std::future_status::ready); // not the 30 s bound
    EXPECT_EQ(wait.get().first, TWaitResult::Stopped);
}
