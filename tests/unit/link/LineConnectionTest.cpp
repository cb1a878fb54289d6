// The line to the bus over pseudo-terminals that a fake device tree names: COM names that stay
// with their adapter, and the reopen when the device comes back.
#include "link/line/LineConnection.h"
#include "link/history/BusHistory.h"
#include "link/history/HistoryRecorder.h"
#include "link/line/BusSession.h"
#include "link/line/CommLinkPort.h"
#include "link/settings/Settings.h"
#include "tests/support/FakeTcpServer.h"
#include "tests/support/Pty.h"
#include "tests/unit/link/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include <unistd.h>

using namespace orvik;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

struct LineConnectionTest : ::testing::Test {
    fs::path Root = fs::temp_directory_path() / ("orvik_line_" + std::to_string(getpid()));
    PortScanRoots Roots{(Root / "dev").string(), (Root / "sys").string(),
                        (Root / "consoles").string()};
    std::string Settings = (Root / "Orvik.INI").string();
    LinkState Link;
    std::shared_ptr<TPumpedInvoker> Invoker = std::make_shared<TPumpedInvoker>();
    TComm Comm{Invoker};
    CommLinkPort Port{Comm};

    void SetUp() override {
        fs::create_directories(Root / "dev/serial/by-id");
        Link.SetPort(&Port);
        Comm.SetBaudRate(cbr57600);
        Comm.OnRxChar = [this](TCustomComm*, std::int32_t count) { Link.Comm1RxChar(count); };
    }
    void TearDown() override {
        Comm.Close();
        fs::remove_all(Root);
    }
    std::string Adapter(const std::string& name, const test::PseudoTerminal& pty) {
        const fs::path link = Root / "dev/serial/by-id" / name;
        fs::create_symlink(pty.name, link);
        return link.string();
    }
};

} // namespace

TEST_F(LineConnectionTest, AComNameFoundByPositionStaysWithItsAdapter) {
    test::PseudoTerminal b;
    const std::string adapterB = Adapter("usb-Bench_B-if00", b);
    {
        LineConnection line(Comm, Link, Settings, Roots);
        ASSERT_TRUE(line.OpenPort(0, false).opened);
        EXPECT_EQ(Comm.DevicePath(), adapterB);
        EXPECT_EQ(line.StatusText(SteadyMilliseconds()),
                  "COM1 - usb-Bench_B-if00: open, no valid frame for 0 s");
    }
    EXPECT_EQ(ReadSeenPortMap(Settings).at("COM1"), adapterB);

    // Another adapter that sorts first is plugged in: COM1 stays with B, also after a restart.
    test::PseudoTerminal a;
    const std::string adapterA = Adapter("usb-Bench_A-if00", a);
    LineConnection line(Comm, Link, Settings, Roots);
    ASSERT_TRUE(line.OpenPort(0, false).opened);
    EXPECT_EQ(Comm.DevicePath(), adapterB);

    // B is unplugged: COM1 is not connected, rather than A.
    fs::remove(adapterB);
    const OpenOutcome gone = line.OpenPort(0, false);
    EXPECT_FALSE(gone.opened);
    EXPECT_FALSE(Comm.IsOpen());
    EXPECT_EQ(gone.problem, PortProblem::NotConnected);
    EXPECT_EQ(gone.reason, adapterB + " is not connected.");
    EXPECT_EQ(line.DescribePort(1), adapterB + " (remembered), not connected");
    EXPECT_EQ(line.Supervisor().State(), LineStatus::Lost);

    // Chosen again by the user, COM1 is looked for anew.
    ASSERT_TRUE(line.OpenPort(0, true).opened);
    EXPECT_EQ(Comm.DevicePath(), adapterA);
    EXPECT_EQ(ReadSeenPortMap(Settings).at("COM1"), adapterA);
}

TEST_F(LineConnectionTest, ReopensWhenTheDeviceComesBackBehindTheSameName) {
    const std::string bus = (Root / "bus").string();
    auto first = std::make_unique<test::PseudoTerminal>();
    fs::create_symlink(first->name, bus);
    LineConnection line(Comm, Link, Settings, Roots);
    Comm.OnLineLost = [&](TCustomComm*, std::int32_t error) { line.LineLost(error); };
    line.SetPorts({{"COM1", bus}});
    ASSERT_TRUE(line.OpenPort(0, false).opened);

    // The far end goes, and with it the device.
    first.reset();
    fs::remove(bus);
    ASSERT_TRUE(Invoker->PumpUntil([&] { return Comm.LineLost(); }, 5s));
    const std::int64_t t = 1'000'000;
    line.Service(t);
    EXPECT_FALSE(Comm.IsOpen()); // closed at once
    line.Service(t + 100);
    EXPECT_EQ(line.StatusText(t + 100),
              "COM1 - " + bus + ": connection lost, waiting for the adapter");

    // Back behind the same name: opened a second after it appeared, and frames flow again.
    test::PseudoTerminal second;
    fs::create_symlink(second.name, bus);
    line.Service(t + 200);
    EXPECT_EQ(line.Supervisor().State(), LineStatus::Reopening);
    line.Service(t + 1100);
    EXPECT_FALSE(Comm.IsOpen());
    line.Service(t + 1200);
    ASSERT_TRUE(Comm.IsOpen());
    test::Bytes frame(STATUS_FRAME_SIZE);
    std::vector<std::uint8_t> data(STATUS_RECORD_SIZE, 0);
    data[0] = 0x01;
    ASSERT_EQ(EncodeFrame(FRAME_STATUS, data.data(), data.size(), frame.data()), frame.size());
    ASSERT_EQ(second.Send(frame), frame.size());
    ASSERT_TRUE(Invoker->PumpUntil([&] { return Link.FramesAccepted == 1; }, 5s));
    line.Service(t + 1300);
    EXPECT_EQ(line.Supervisor().State(), LineStatus::Receiving);
    Comm.Close(); // before `line`, which its handler reaches, goes
}

TEST_F(LineConnectionTest, AFrameTheLineHandsOverInPiecesArrivesWhole) {
    test::PseudoTerminal pty;
    LineConnection line(Comm, Link, Settings, Roots);
    line.SetPorts({{"COM1", pty.name}});
    ASSERT_TRUE(line.OpenPort(0, false).opened);
    std::vector<std::uint8_t> data(STATUS_RECORD_SIZE);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 13);
    data[0] = 0x05;
    test::Bytes frame(STATUS_FRAME_SIZE);
    EncodeFrame(FRAME_STATUS, data.data(), data.size(), frame.data());
    // Two frames, each in pieces of 14 bytes as a UART's FIFO passes them on, at line rate;
    // the first makes the receiver expect the second.
    for (int round = 1; round <= 2; ++round) {
        for (std::size_t at = 0; at < frame.size(); at += 14) {
            const auto end = frame.begin() + static_cast<long>(std::min(at + 14, frame.size()));
            ASSERT_EQ(pty.Send(test::Bytes(frame.begin() + static_cast<long>(at), end)),
                      static_cast<std::size_t>(end - frame.begin()) - at);
            std::this_thread::sleep_for(2430us);
        }
        ASSERT_TRUE(Invoker->PumpUntil(
            [&] { return Link.FramesAccepted == static_cast<std::uint64_t>(round); }, 5s));
    }
    EXPECT_TRUE(std::equal(data.begin(), data.end(), Link.StatusRecord.bytes.begin()));
    EXPECT_EQ(Link.BytesReceived, 2 * frame.size());
}

TEST_F(LineConnectionTest, ANetworkPortConnectsInTheBackgroundAndARefusalIsRetriedWithItsReason) {
    const std::string url =
        "socket://127.0.0.1:" + std::to_string(test::FakeTcpServer::RefusingPort());
    LineConnection line(Comm, Link, Settings, Roots);
    Comm.OnLineLost = [&](TCustomComm*, std::int32_t error) { line.LineLost(error); };
    line.SetPorts({{"COM3", url}});
    EXPECT_EQ(line.DescribePort(3), url);        // what the serial port dialog shows
    ASSERT_TRUE(line.OpenPort(2, false).opened); // at once; the refusal comes later
    EXPECT_EQ(line.Supervisor().State(), LineStatus::Connecting);

    ASSERT_TRUE(Invoker->PumpUntil([&] { return Comm.LineLost(); }, 5s));
    const std::int64_t t = 1'000'000;
    line.Service(t);
    EXPECT_FALSE(Comm.IsOpen());
    EXPECT_EQ(line.StatusText(t), "COM3 - " + url + ": connection refused, trying again in 1 s");
    EXPECT_EQ(line.FailureReason(),
              url + " refused the connection; is the server running on that port?");
    line.Service(t + 1000);
    EXPECT_TRUE(Comm.IsOpen()); // the next attempt
    EXPECT_EQ(line.Supervisor().State(), LineStatus::Connecting);
    Comm.Close();
}

// A main thread held for 3 s (a modal dialog, a file being opened) while the bus sends a
// status frame every 200 ms: the frames keep the times they came at, and no silence is told.
TEST_F(LineConnectionTest, FramesKeepTheirTimesWhileTheMainThreadIsHeld) {
    test::PseudoTerminal bus;
    FrameLog log;
    BusHistory history(HistoryLimits{.clockAheadMs = ClockJumps::LIVE_AHEAD_MS});
    HistoryRecorder recorder(history);
    Link.SetFrameLog(&log);
    Link.SetWatcher(&recorder);
    Comm.SetDeviceName(bus.name);
    Comm.Open();
    StatusRecord record{};
    record.SetNodePresent(0x01);
    const test::Bytes frame = test::StatusFrame(record);
    constexpr int FRAMES = 16;
    std::thread sender([&] {
        for (int i = 0; i < FRAMES; ++i) {
            bus.Send(frame);
            std::this_thread::sleep_for(200ms);
        }
    });
    std::this_thread::sleep_for(3s); // held: nothing pumped, no timer
    // The window's timer: what came meanwhile first, then the look for silence.
    Comm.DeliverPending();
    recorder.Tick();
    Invoker->PumpUntil([&] { return Link.FramesAccepted >= FRAMES; }, 10s);
    sender.join();
    ASSERT_EQ(Link.FramesAccepted, static_cast<std::uint64_t>(FRAMES));

    std::vector<std::int64_t> times;
    for (auto seq = log.FirstSeq(); seq < log.NextSeq(); ++seq)
        if (const FrameRecord* r = log.Find(seq); r->outcome == FrameOutcome::Accepted)
            times.push_back(r->timeNs / 1'000'000);
    ASSERT_EQ(times.size(), static_cast<std::size_t>(FRAMES));
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_GT(times[i] - times[i - 1], 100) << "frame " << i;
    EXPECT_GT(times.back() - times.front(), 2500);
    ASSERT_EQ(history.PointCount(1), static_cast<std::size_t>(FRAMES));
    EXPECT_GT(history.Point(1, FRAMES - 1).timeMs - history.Point(1, 0).timeMs, 2500);
    const BusEventLog& events = history.Events();
    for (auto seq = events.FirstSeq(); seq < events.NextSeq(); ++seq)
        EXPECT_NE(events.Find(seq)->kind, EventKind::Silent) << EventText(*events.Find(seq));
}

// A network port that takes its time to connect holds nothing else up: the ticks go on.
TEST_F(LineConnectionTest, AWaitForANetworkPortGoesOnTicking) {
    test::FakeTcpServer silent([](test::FakeClient& c) { c.Read(3000); });
    std::atomic<bool> stop{false};
    BusSession bus(&stop);
    int ticks = 0;
    bus.OnTick = [&](LinkTime) {
        if (++ticks == 3)
            stop = true;
    };
    std::string error;
    EXPECT_FALSE(
        bus.Open("rfc2217://127.0.0.1:" + std::to_string(silent.Port()), {}, Settings, error));
    EXPECT_EQ(ticks, 3);
}
