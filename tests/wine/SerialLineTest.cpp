// The component on the real backend of the platform, over a line whose far end the test
// drives. The same cases run on Linux, on Windows and under Wine; PortExpectations.h names
// where the systems differ.
#include "serial/CommPort.h"
#include "tests/support/SerialTestSupport.h"
#include "tests/wine/FarEnd.h"
#include "tests/wine/PortExpectations.h"
#ifdef _WIN32
#include "serial/WindowMessageInvoker.h"

#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>

using namespace orvik;
using namespace orvik::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// The text and code of the ECommError `f` raises; "" when it raises none.
template <typename F> std::string Raised(F&& f, std::int32_t& code) {
    try {
        f();
    } catch (const ECommError& e) {
        code = e.ErrorCode;
        return e.what();
    }
    return "";
}

std::string WithCode(const std::string& msg, int code) {
    return msg + " (Error: " + std::to_string(code) + ") ";
}

struct SerialLine : ::testing::Test {
    std::shared_ptr<TPumpedInvoker> Invoker = std::make_shared<TPumpedInvoker>();
    std::unique_ptr<FarEnd> Far;
    ProbeComm Comm{Invoker};
    std::vector<std::uint8_t> Received;
    std::vector<std::int32_t> Counts;
    std::thread::id MainThread = std::this_thread::get_id();
    bool OffMainThread = false;

    void SetUp() override {
        std::string why;
        Far = OpenFarEnd(why);
        if (!Far)
            GTEST_SKIP() << "no serial line to test on: " << why;
        Comm.SetDeviceName(Far->PortName());
        Comm.SetBaudRate(cbr57600);
        Comm.OnRxChar = [this](TCustomComm* sender, std::int32_t count) {
            OffMainThread |= std::this_thread::get_id() != MainThread;
            Counts.push_back(count);
            // As the main window does: at most 10000 of the waiting bytes.
            std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min(count, 10000)));
            std::int32_t n = sender->Read(buf.data(), static_cast<std::int32_t>(buf.size()));
            EXPECT_EQ(n, static_cast<std::int32_t>(buf.size()));
            if (n > 0)
                Received.insert(Received.end(), buf.begin(), buf.begin() + n);
        };
    }
    void TearDown() override { Comm.Close(); }
};

} // namespace

TEST_F(SerialLine, OpenConfigureAndCloseCycles) {
    for (int i = 0; i < 20; ++i) {
        Comm.Open();
        ASSERT_TRUE(Comm.IsOpen());
        ASSERT_NE(Comm.GetMonitorThread(), nullptr);
        if (i % 2)
            Comm.Open(); // open on open: full teardown first
        EXPECT_FALSE(Comm.GetMonitorThread()->Finished());
        // Line settings while open go to the driver at once.
        // (Parity stays: a pseudo-terminal has none, and Wine then refuses the DCB.)
        Comm.SetBaudRate(i % 3 ? cbr9600 : cbr57600);
        Comm.SetCharsTimeOut(i % 2 ? 0 : 250);
        Comm.Close();
        EXPECT_FALSE(Comm.IsOpen());
        EXPECT_EQ(Comm.GetMonitorThread(), nullptr);
    }
    Comm.Close(); // closed: nothing
    // A stop right after the thread was made, before its first wait, still ends it.
    for (int i = 0; i < 20; ++i) {
        Comm.Open();
        Comm.Close();
    }
    EXPECT_FALSE(Comm.IsOpen());
}

TEST_F(SerialLine, FlowControlModesReachTheDriver) {
    Comm.Open();
    for (TFlowControl mode : {fcNone, fcCTS, fcDTR, fcSoftware}) {
        std::int32_t code = 0;
        std::string text = Raised([&] { Comm.SetFlowControl(mode); }, code);
        if (auto refused = RtsToggleError()) {
            EXPECT_EQ(text, WithCode("Error updating DataControlBlock", *refused)) << int(mode);
            EXPECT_EQ(code, *refused);
        } else {
            EXPECT_EQ(text, "") << int(mode);
        }
        EXPECT_TRUE(Comm.IsOpen());
    }
    std::int32_t code = 0;
    EXPECT_EQ(Raised([&] { Comm.SetFlowControl(fcDefault); }, code), "");
}

TEST_F(SerialLine, DevicesThatCannotServeAreRefused) {
    std::int32_t code = 0;
    // A plain file opens, but is no serial line.
    auto file = std::filesystem::temp_directory_path() /
                ("orvik_line_" + std::to_string(Clock::now().time_since_epoch().count()));
    std::ofstream(file) << "not a port";
    Comm.SetDeviceName(file.string());
    std::string text = Raised([&] { Comm.Open(); }, code);
    std::filesystem::remove(file);
    EXPECT_EQ(text, "Invalid device handle, access denied (Error: -1) ");
    EXPECT_EQ(code, -1);
    EXPECT_FALSE(Comm.IsOpen());

    Comm.SetDeviceName(AbsentPortName());
    text = Raised([&] { Comm.Open(); }, code);
    EXPECT_EQ(text, WithCode("Error accessing specified device", ABSENT_PORT_ERROR));
    EXPECT_EQ(code, ABSENT_PORT_ERROR);
    EXPECT_FALSE(Comm.IsOpen());

    // A port that another component holds.
    Comm.SetDeviceName(Far->PortName());
    Comm.Open();
    TComm other(Invoker);
    other.SetDeviceName(Far->PortName());
    text = Raised([&] { other.Open(); }, code);
    if (auto refused = SecondOpenError()) {
        EXPECT_EQ(text, WithCode("Error accessing specified device", *refused));
        EXPECT_FALSE(other.IsOpen());
    } else {
        EXPECT_EQ(text, "");
        other.Close();
    }
    EXPECT_TRUE(Comm.IsOpen());
}

TEST_F(SerialLine, ReceivedBytesReachOnRxCharAndNothingAfterClose) {
    std::uint8_t b[8] = {};
    EXPECT_EQ(Comm.Read(b, 8), -1); // closed
    EXPECT_EQ(Comm.Write(b, 8), -1);
    Comm.SetCharsTimeOut(0);
    Comm.Open();
    const auto before = Clock::now();
    EXPECT_EQ(Comm.Read(b, 8), 0); // nothing there: at once, nothing
    EXPECT_LT(Clock::now() - before, 1s);

    auto bytes = Pattern(300);
    ASSERT_EQ(Far->Send(bytes), bytes.size());
    ASSERT_TRUE(Invoker->PumpUntil([&] { return Received.size() >= bytes.size(); }, 5s));
    EXPECT_EQ(Received, bytes);
    EXPECT_FALSE(OffMainThread);
    EXPECT_EQ(std::accumulate(Counts.begin(), Counts.end(), 0), 300);

    // Bytes sent just before Close and after it raise no handler once Close returned.
    ASSERT_EQ(Far->Send(Pattern(10)), 10u);
    Comm.Close();
    const auto delivered = Counts.size();
    ASSERT_EQ(Far->Send(Pattern(10)), 10u);
    Invoker->WaitAndPump(200ms);
    Invoker->Pump();
    EXPECT_EQ(Counts.size(), delivered);
    EXPECT_EQ(Comm.Read(b, 8), -1);
    // The line keeps those bytes; the purge at the next close takes them.
    Comm.Open();
    Comm.Close();
}

// More than a delivery reads at once: the rest is read at the next arrivals, as a bus that
// goes on sending brings them; nothing lost, nothing twice.
TEST_F(SerialLine, MoreThanTenThousandBytesArriveWholeAndInOrder) {
    Comm.Open();
    auto bytes = Pattern(30000, 3);
    std::atomic<std::size_t> sent{0};
    std::atomic<bool> done{false};
    std::thread writer([&] {
        sent = Far->Send(bytes, 10s);
        while (!done.load()) {
            Far->Send({0x55});
            std::this_thread::sleep_for(20ms);
        }
    });
    Invoker->PumpUntil([&] { return Received.size() >= bytes.size(); }, 15s);
    done = true;
    writer.join();
    EXPECT_EQ(sent.load(), bytes.size());
    ASSERT_GE(Received.size(), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), Received.begin()));
    for (std::size_t i = bytes.size(); i < Received.size(); ++i)
        EXPECT_EQ(Received[i], 0x55);
}

TEST_F(SerialLine, WritesGoOutWholeAndInOrder) {
    Comm.Open();
    auto block = Pattern(20000, 9);
    std::vector<std::uint8_t> frames;
    for (int i = 0; i < 50; ++i) {
        auto f = Pattern(9 + static_cast<std::size_t>(i), static_cast<unsigned>(i));
        frames.insert(frames.end(), f.begin(), f.end());
    }
    std::vector<std::uint8_t> got;
    std::thread reader([&] { got = Far->Receive(block.size() + frames.size(), 10s); });
    EXPECT_EQ(Comm.Write(block.data(), static_cast<std::int32_t>(block.size())), 20000);
    std::size_t at = 0;
    for (int i = 0; i < 50; ++i) {
        const auto n = static_cast<std::int32_t>(9 + i);
        EXPECT_EQ(Comm.Write(frames.data() + at, n), n);
        at += static_cast<std::size_t>(n);
    }
    reader.join();
    block.insert(block.end(), frames.begin(), frames.end());
    EXPECT_EQ(got.size(), block.size());
    EXPECT_TRUE(got == block);
}

#ifdef _WIN32
// The Qt program's deliveries on Windows: a message to a hidden window, run by whatever message
// loop the main thread is in; here a plain one.
TEST_F(SerialLine, DeliveriesArriveAsWindowMessages) {
    std::vector<std::uint8_t> got;
    auto invoker = std::make_shared<TWindowMessageInvoker>();
    TComm comm(invoker);
    comm.SetDeviceName(Far->PortName());
    comm.SetBaudRate(cbr57600);
    comm.OnRxChar = [&](TCustomComm* sender, std::int32_t count) {
        std::vector<std::uint8_t> buf(static_cast<std::size_t>(count));
        const std::int32_t n = sender->Read(buf.data(), count);
        if (n > 0)
            got.insert(got.end(), buf.begin(), buf.begin() + n);
    };
    comm.Open();
    const auto bytes = Pattern(500, 5);
    ASSERT_EQ(Far->Send(bytes), bytes.size());
    const auto until = Clock::now() + 5s;
    MSG msg;
    while (got.size() < bytes.size() && Clock::now() < until) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    comm.Close();
    EXPECT_EQ(got, bytes);
    EXPECT_GE(invoker->Notifications(), 1u);
}
#endif
