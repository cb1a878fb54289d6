// The component on the real POSIX backend, with pseudo-terminals and plain files.
#include "serial/CommPort.h"
#include "tests/support/Pty.h"
#include "tests/support/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

using namespace orvik;
using orvik::test::Pattern;
using orvik::test::ProbeComm;
using orvik::test::PseudoTerminal;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

template <typename F> const ECommError* Raised(F&& f, ECommError& keep) {
    try {
        f();
    } catch (const ECommError& e) {
        keep = e;
        return &keep;
    }
    return nullptr;
}

template <typename P> bool WaitFor(P done, std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    while (!done() && Clock::now() < until)
        std::this_thread::sleep_for(1ms);
    return done();
}

struct PtyPort : ::testing::Test {
    // What deliveries write into comes first: the component, declared after it, is destroyed
    // before it, and a delivery its Close runs finds these alive.
    std::vector<std::uint8_t> Received;
    std::vector<std::int32_t> Counts;
    std::vector<std::int32_t> Losses;
    std::int32_t Cap = 10000; // what the handler reads at most, as the main window does
    std::thread::id MainThread = std::this_thread::get_id();
    bool OffMainThread = false;
    std::shared_ptr<TPumpedInvoker> Invoker = std::make_shared<TPumpedInvoker>();
    PseudoTerminal Pty;
    ProbeComm Comm{Invoker};

    void SetUp() override {
        Comm.SetDeviceName(Pty.name);
        Comm.SetBaudRate(cbr57600);
        Comm.OnRxChar = [this](TCustomComm* sender, std::int32_t count) {
            OffMainThread |= std::this_thread::get_id() != MainThread;
            Counts.push_back(count);
            std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min(count, Cap)));
            std::int32_t n = sender->Read(buf.data(), static_cast<std::int32_t>(buf.size()));
            EXPECT_EQ(n, static_cast<std::int32_t>(buf.size()));
            if (n > 0)
                Received.insert(Received.end(), buf.begin(), buf.begin() + n);
        };
        Comm.OnLineLost = [this](TCustomComm*, std::int32_t error) { Losses.push_back(error); };
    }
    // Pumps until nothing was delivered for `quiet`, at most `limit`.
    void PumpQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds limit = 5s) {
        const auto until = Clock::now() + limit;
        auto last = Clock::now();
        while (Clock::now() < until && Clock::now() - last < quiet)
            if (Invoker->WaitAndPump(5ms) > 0)
                last = Clock::now();
    }
};

} // namespace

TEST_F(PtyPort, OpenCloseAndReopenCycles) {
    for (int i = 0; i < 25; ++i) {
        Comm.Open();
        ASSERT_TRUE(Comm.IsOpen());
        ASSERT_NE(Comm.GetMonitorThread(), nullptr);
        if (i % 2)
            Comm.Open(); // open on open: full teardown first
        EXPECT_FALSE(Comm.GetMonitorThread()->Finished());
        Comm.Close();
        EXPECT_FALSE(Comm.IsOpen());
        EXPECT_EQ(Comm.GetMonitorThread(), nullptr);
    }
    Comm.Close(); // closed: nothing
    // The lock went with the device.
    int fd = ::open(Pty.name.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
}

TEST_F(PtyPort, LineSettingsReachTheTerminal) {
    // Another program left a handshake on the device; the open starts without any.
    termios t{};
    ASSERT_EQ(::tcgetattr(Pty.slave, &t), 0);
    t.c_cflag |= CRTSCTS;
    t.c_iflag |= IXON | IXOFF;
    ASSERT_EQ(::tcsetattr(Pty.slave, TCSANOW, &t), 0);
    Comm.Open();
    ASSERT_EQ(::tcgetattr(Pty.slave, &t), 0);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(::cfgetospeed(&t), B57600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_EQ(t.c_cc[VSTART], 17);
    EXPECT_EQ(t.c_cc[VSTOP], 19);

    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF)); // fcDefault on a fresh port: no XON/XOFF

    Comm.SetStopbits(sb20); // pseudo-terminals keep 8 bits without parity: not tried here
    ASSERT_EQ(::tcgetattr(Pty.slave, &t), 0);
    EXPECT_TRUE(t.c_cflag & CSTOPB);

    // Every mode but fcDefault toggles RTS; a driver without RS-485 mode cannot, and the
    // setting is refused before it changes anything (rather than leaving RTS raised).
    ECommError keep("", 0);
    const ECommError* e = Raised([&] { Comm.SetFlowControl(fcSoftware); }, keep);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ErrorCode, ENOTTY);
    ASSERT_EQ(::tcgetattr(Pty.slave, &t), 0);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));

    // A rate termios lacks is refused, with the new value kept.
    e = Raised([&] { Comm.SetBaudRate(cbr14400); }, keep);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(
        e->what(),
        ("Error updating DataControlBlock (Error: " + std::to_string(EINVAL) + ") ").c_str());
    EXPECT_EQ(Comm.BaudRate(), cbr14400);
    EXPECT_TRUE(Comm.IsOpen());
}

TEST_F(PtyPort, DevicesThatCannotServeAreRefused) {
    ECommError keep("", 0);
    // A plain file.
    auto file =
        std::filesystem::temp_directory_path() / ("orvik_serial_" + std::to_string(getpid()));
    std::ofstream(file) << "not a port";
    Comm.SetDeviceName(file.string());
    const ECommError* e = Raised([&] { Comm.Open(); }, keep);
    std::filesystem::remove(file);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->what(), "Invalid device handle, access denied (Error: -1) ");
    EXPECT_EQ(e->ErrorCode, -1);
    EXPECT_FALSE(Comm.IsOpen());

    // An absent device.
    Comm.SetDeviceName("/dev/orvik-no-such-port");
    e = Raised([&] { Comm.Open(); }, keep);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ErrorCode, ENOENT);
    EXPECT_STREQ(
        e->what(),
        ("Error accessing specified device (Error: " + std::to_string(ENOENT) + ") ").c_str());
    EXPECT_FALSE(Comm.IsOpen());
    EXPECT_EQ(Comm.DeviceName(), "/dev/orvik-no-such-port");

    // A device held by another component.
    Comm.SetDeviceName(Pty.name);
    Comm.Open();
    TComm other(Invoker);
    other.SetDeviceName(Pty.name);
    e = Raised([&] { other.Open(); }, keep);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ErrorCode, EBUSY);
    EXPECT_FALSE(other.IsOpen());
    EXPECT_TRUE(Comm.IsOpen());
}

TEST_F(PtyPort, ReadAndWriteOnAClosedPortGiveMinusOne) {
    std::uint8_t b[4] = {};
    EXPECT_EQ(Comm.Read(b, 4), -1);
    EXPECT_EQ(Comm.Write(b, 4), -1);
    Comm.Open();
    Comm.Close();
    EXPECT_EQ(Comm.Read(b, 4), -1);
    EXPECT_EQ(Comm.Write(b, 4), -1);
}

TEST_F(PtyPort, ReceivedBytesReachOnRxCharOnTheMainThread) {
    Comm.SetCharsTimeOut(0);
    Comm.Open();
    std::uint8_t none[8];
    EXPECT_EQ(Comm.Read(none, 8), 0); // nothing there: at once, nothing
    auto bytes = Pattern(300);
    ASSERT_EQ(Pty.Send(bytes), bytes.size());
    ASSERT_TRUE(Invoker->PumpUntil([&] { return Received.size() >= bytes.size(); }, 5s));
    EXPECT_EQ(Received, bytes);
    EXPECT_FALSE(OffMainThread);
    EXPECT_EQ(std::accumulate(Counts.begin(), Counts.end(), 0), 300);

    // After Close nothing is delivered, also for bytes sent just before it.
    ASSERT_EQ(Pty.Send(Pattern(10)), 10u);
    Comm.Close();
    auto delivered = Counts.size();
    ASSERT_EQ(Pty.Send(Pattern(10)), 10u);
    Invoker->WaitAndPump(100ms);
    Invoker->Pump();
    EXPECT_LE(Counts.size(), delivered);
}

// More than a delivery reads at once: the rest is read at the next arrivals, as a bus that
// goes on sending brings them.
TEST_F(PtyPort, MoreThanTheCapQueuedArrivesWholeAndInOrder) {
    Comm.Open();
    auto bytes = Pattern(30000, 3);
    std::atomic<std::size_t> sent{0};
    std::atomic<bool> done{false};
    std::thread writer([&] {
        sent = Pty.Send(bytes, 10s);
        while (!done.load()) {
            Pty.Send({0x55});
            std::this_thread::sleep_for(20ms);
        }
    });
    Invoker->PumpUntil([&] { return Received.size() >= bytes.size(); }, 15s);
    done = true;
    writer.join();
    EXPECT_EQ(sent.load(), bytes.size());
    ASSERT_GE(Received.size(), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), Received.begin()));
}

TEST_F(PtyPort, BytesLeftQueuedWaitForTheNextArrival) {
    Cap = 100;
    Comm.Open();
    ASSERT_EQ(Pty.Send(Pattern(1000)), 1000u);
    ASSERT_TRUE(Invoker->PumpUntil([&] { return !Counts.empty(); }, 5s));
    PumpQuiet(150ms);
    const auto calls = Counts.size();
    const auto deliveries = Comm.GetMonitorThread()->Deliveries();
    ASSERT_LT(Received.size(), 1000u); // bytes stay queued
    PumpQuiet(300ms);
    EXPECT_EQ(Counts.size(), calls); // and raise no event while they merely wait
    EXPECT_EQ(Comm.GetMonitorThread()->Deliveries(), deliveries);

    const auto queued = static_cast<std::int32_t>(1000 - Received.size());
    ASSERT_EQ(Pty.Send({0x55}), 1u);
    ASSERT_TRUE(Invoker->PumpUntil([&] { return Counts.size() > calls; }, 5s));
    EXPECT_EQ(Counts[calls], queued + 1);
}

TEST_F(PtyPort, AFrameInPiecesIsOneDelivery) {
    Comm.Open();
    Comm.SetRxHint(210);
    const auto frame = Pattern(210, 5);
    std::thread writer([&] {
        for (std::size_t at : {0, 50, 150}) {
            const std::size_t n = at == 150 ? 60 : at == 0 ? 50 : 100;
            Pty.Send({frame.begin() + at, frame.begin() + at + n});
            std::this_thread::sleep_for(2ms);
        }
    });
    const bool whole = Invoker->PumpUntil([&] { return Received.size() >= frame.size(); }, 5s);
    writer.join();
    ASSERT_TRUE(whole);
    EXPECT_EQ(Received, frame);
    EXPECT_EQ(Counts.size(), 1u);
}

// Frames back to back at the line's pace, with the hint kept as the link keeps it: every byte
// arrives in order, and the last frame is not held once the line falls silent.
TEST_F(PtyPort, FramesBackToBackArriveWholeAndTheLastIsNotHeld) {
    const auto read = Comm.OnRxChar;
    Comm.OnRxChar = [&](TCustomComm* sender, std::int32_t count) {
        read(sender, count);
        Comm.SetRxHint(static_cast<std::int32_t>(210 - Received.size() % 210));
    };
    Comm.Open();
    Comm.SetRxHint(210);
    const auto line = Pattern(210 * 6, 7);
    auto at = Clock::now();
    std::thread writer([&] { // a UART's 16-byte pieces at 57600 baud
        for (std::size_t i = 0; i < line.size(); i += 16) {
            std::this_thread::sleep_until(at += 2778us);
            Pty.Send({line.begin() + i, line.begin() + std::min(i + 16, line.size())});
        }
    });
    const bool whole = Invoker->PumpUntil([&] { return Received.size() >= line.size(); }, 10s);
    writer.join();
    ASSERT_TRUE(whole);
    EXPECT_EQ(Received, line);
    EXPECT_LT(Clock::now() - at, 500ms);
    EXPECT_LE(Counts.size(), 12u); // about a delivery a frame
}

// A main thread that waits in poll on the invoker's descriptor (orvik-mqtt, beside its broker)
// wakes for a delivery, and sleeps again once it has pumped.
TEST_F(PtyPort, TheWakeDescriptorIsReadableWhileADeliveryWaits) {
    const int wake = Invoker->WakeDescriptor();
    ASSERT_GE(wake, 0);
    Comm.Open();
    const auto readable = [wake](int ms) {
        pollfd p{wake, POLLIN, 0};
        return ::poll(&p, 1, ms) == 1;
    };
    EXPECT_FALSE(readable(0));
    ASSERT_EQ(Pty.Send(Pattern(20)), 20u);
    ASSERT_TRUE(readable(5000));
    EXPECT_EQ(Invoker->Pump(), 1);
    EXPECT_EQ(Received.size(), 20u);
    EXPECT_FALSE(readable(50));
}

// A frame whose rest never comes is handed over once its wait is over, not held.
TEST_F(PtyPort, AFrameWhoseRestNeverComesStillArrives) {
    Comm.Open();
    Comm.SetRxHint(210);
    const auto sentAt = Clock::now();
    ASSERT_EQ(Pty.Send(Pattern(100)), 100u);
    ASSERT_TRUE(Invoker->PumpUntil([&] { return Received.size() >= 100; }, 5s));
    EXPECT_LT(Clock::now() - sentAt, 1s);
    EXPECT_EQ(Counts.size(), 1u);
}

TEST_F(PtyPort, FarEndClosedIsOneLossAndThePortCanBeOpenedAgain) {
    Comm.Open();
    Pty.CloseMaster();
    // The hang-up is delivered once, with its error, and ends the thread.
    ASSERT_TRUE(Invoker->PumpUntil([&] { return Comm.GetMonitorThread()->Finished(); }, 5s));
    EXPECT_EQ(Losses, std::vector<std::int32_t>{EIO});
    EXPECT_TRUE(Comm.LineLost());
    EXPECT_TRUE(Comm.IsOpen());
    std::uint8_t b[4];
    EXPECT_EQ(Comm.Read(b, 4), -1);
    EXPECT_EQ(Comm.Write(b, 4), -1);
    PumpQuiet(50ms);
    EXPECT_EQ(Losses.size(), 1u); // a read or write on the lost line reports nothing more
    EXPECT_TRUE(Counts.empty());
    Comm.Close();
    EXPECT_FALSE(Comm.IsOpen());

    PseudoTerminal back;
    Comm.SetDeviceName(back.name);
    Comm.Open();
    EXPECT_FALSE(Comm.LineLost());
    ASSERT_EQ(back.Send(Pattern(20)), 20u);
    ASSERT_TRUE(Invoker->PumpUntil([&] { return Received.size() == 20; }, 5s));
}

TEST_F(PtyPort, WriteGoesOutWholeAndInOrderOrFails) {
    Comm.Open();
    // Larger than the terminal's buffers: the far end drains while Write waits.
    auto frame = Pattern(60000, 9);
    std::vector<std::uint8_t> got;
    std::thread reader([&] { got = Pty.Receive(frame.size(), 10s); });
    EXPECT_EQ(Comm.Write(frame.data(), static_cast<std::int32_t>(frame.size())), 60000);
    reader.join();
    EXPECT_EQ(got, frame);

    // Nobody reads: the write gives up after its time and says so.
    auto big = Pattern(1 << 20);
    EXPECT_EQ(Comm.Write(big.data(), static_cast<std::int32_t>(big.size())), -1);
}
