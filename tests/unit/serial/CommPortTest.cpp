// The component's logic over a recording device: settings, time-outs, errors, delivery.
#include "tests/unit/serial/FakePort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace orvik;
using namespace orvik::test;
using namespace std::chrono_literals;

namespace {

template <typename F> std::string CommErrorText(F&& f, std::int32_t* code = nullptr) {
    try {
        f();
    } catch (const ECommError& e) {
        if (code)
            *code = e.ErrorCode;
        return e.what();
    }
    return "(nothing raised)";
}

struct CommPort : ::testing::Test {
    std::shared_ptr<TPumpedInvoker> Invoker = std::make_shared<TPumpedInvoker>();
    FakeComm Comm{Invoker};
};

} // namespace

TEST_F(CommPort, OpenAppliesLineSettingsBuffersAndTimeouts) {
    Comm.SetBaudRate(cbr57600); // closed: stored only
    Comm.SetParity(paMark);
    Comm.SetStopbits(sb20);
    Comm.SetDatabits(da7);
    Comm.EventChars().SetXonChar(0x11 + 1);
    Comm.Open();
    ASSERT_TRUE(Comm.IsOpen());
    FakePortDevice& port = *Comm.Fake;
    ASSERT_EQ(port.States.size(), 1u);
    const TLineState& s = port.States[0];
    EXPECT_EQ(s.BaudRate, 57600u);
    EXPECT_EQ(s.Parity, COMM_MARKPARITY);
    EXPECT_EQ(s.StopBits, COMM_TWOSTOPBITS);
    EXPECT_EQ(s.ByteSize, 7);
    EXPECT_EQ(s.XonChar, 0x12);
    EXPECT_EQ(s.XoffChar, 19);
    EXPECT_EQ(s.XonLim, 1024);
    EXPECT_EQ(s.XoffLim, 1024);
    // Options empty clears the five flags; fcDefault keeps the driver's flow settings.
    EXPECT_FALSE(s.fParity || s.fDsrSensitivity || s.fTXContinueOnXoff || s.fErrorChar || s.fNull);
    EXPECT_TRUE(s.fOutxCtsFlow);
    EXPECT_EQ(s.fRtsControl, COMM_RTS_CONTROL_HANDSHAKE);
    EXPECT_EQ(s.fDtrControl, COMM_DTR_CONTROL_HANDSHAKE);
    EXPECT_FALSE(s.fAbortOnError); // the driver had it on: a line error would stop all I/O
    EXPECT_EQ(port.BufferSizes, (std::pair<std::int32_t, std::int32_t>{4096, 2048}));
    ASSERT_EQ(port.Timeouts.size(), 1u);
    EXPECT_EQ(port.Timeouts[0].ReadIntervalTimeout, 250u);
    EXPECT_EQ(port.Timeouts[0].WriteTotalTimeoutConstant, 1500u);
    EXPECT_EQ(port.Timeouts[0].ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(port.Mask, 0x1FFu);
}

TEST_F(CommPort, SettersStoreOnlyChangesAndReapplyWhileOpen) {
    Comm.Open();
    FakePortDevice& port = *Comm.Fake;
    Comm.SetBaudRate(cbr9600); // equal: nothing
    Comm.EventChars().SetXoffChar(19);
    EXPECT_EQ(port.States.size(), 1u);
    Comm.SetBaudRate(cbr115200);
    Comm.SetOptions({coParityCheck, coNullStrip});
    Comm.EventChars().SetXoffChar(0x20);
    ASSERT_EQ(port.States.size(), 4u);
    EXPECT_EQ(port.States[1].BaudRate, 115200u);
    EXPECT_TRUE(port.States[2].fParity && port.States[2].fNull);
    EXPECT_FALSE(port.States[2].fDsrSensitivity);
    EXPECT_EQ(port.States[3].XoffChar, 0x20);
}

TEST_F(CommPort, CharsTimeOutIsAppliedAgainAlsoWhenEqual) {
    Comm.Open();
    FakePortDevice& port = *Comm.Fake;
    Comm.SetCharsTimeOut(250);
    Comm.SetCharsTimeOut(0);
    ASSERT_EQ(port.Timeouts.size(), 3u);
    EXPECT_EQ(port.Timeouts[1].ReadIntervalTimeout, 250u);
    EXPECT_EQ(port.Timeouts[2].ReadIntervalTimeout, COMM_MAXDWORD); // 0 reads what is there
}

TEST_F(CommPort, ARefusedSettingRaisesWithTheNewValueAlreadyStored) {
    Comm.Open();
    Comm.Fake->RefuseState = true;
    std::int32_t code = 0;
    EXPECT_EQ(CommErrorText([&] { Comm.SetParity(paEven); }, &code),
              "Error updating DataControlBlock (Error: " + std::to_string(EINVAL) + ") ");
    EXPECT_EQ(code, EINVAL);
    EXPECT_EQ(Comm.Parity(), paEven);
}

TEST_F(CommPort, FlowControlModesSetTheirMembers) {
    struct Row {
        TFlowControl mode;
        bool cts, dsr, outX, inX;
    };
    for (Row r :
         {Row{fcNone, false, false, false, false}, Row{fcCTS, true, false, false, false},
          Row{fcDTR, false, true, false, false}, Row{fcSoftware, false, false, true, true}}) {
        Comm.SetFlowControl(r.mode);
        TLineState s;
        s.fOutxCtsFlow = s.fOutxDsrFlow = s.fOutX = s.fInX = true;
        s.fDtrControl = COMM_DTR_CONTROL_HANDSHAKE;
        s.fRtsControl = COMM_RTS_CONTROL_HANDSHAKE;
        Comm.ApplyFlowControl(s);
        EXPECT_EQ(s.fOutxCtsFlow, r.cts) << int(r.mode);
        EXPECT_EQ(s.fOutxDsrFlow, r.dsr) << int(r.mode);
        EXPECT_EQ(s.fOutX, r.outX) << int(r.mode);
        EXPECT_EQ(s.fInX, r.inX) << int(r.mode);
        EXPECT_EQ(s.fDtrControl, COMM_DTR_CONTROL_ENABLE);
        EXPECT_EQ(s.fRtsControl, COMM_RTS_CONTROL_TOGGLE);
    }
}

TEST_F(CommPort, DeviceSettingsRefusedWhileOpen) {
    Comm.SetDeviceName("COM7");
    Comm.SetReadBufSize(100);
    Comm.Open();
    const std::string text = "Device already assigned (open) (Error: -1) ";
    std::int32_t code = 0;
    EXPECT_EQ(CommErrorText([&] { Comm.SetDeviceName("COM3"); }, &code), text);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(CommErrorText([&] { Comm.SetMonitorEvents({evRxChar}); }), text);
    EXPECT_EQ(CommErrorText([&] { Comm.SetReadBufSize(8); }), text);
    EXPECT_EQ(CommErrorText([&] { Comm.SetWriteBufSize(8); }), text);
    EXPECT_EQ(Comm.DeviceName(), "COM7");
    EXPECT_EQ(Comm.MonitorEvents(), AllCommEvents);
    EXPECT_EQ(Comm.ReadBufSize(), 100);
    EXPECT_EQ(Comm.WriteBufSize(), 2048);
    Comm.Close();
    Comm.SetDeviceName("COM3");
    EXPECT_EQ(Comm.DeviceName(), "COM3");
}

TEST_F(CommPort, OneDeliveryCallsHandlersInTableOrder) {
    std::vector<std::string> calls;
    Comm.OnRxChar = [&](TCustomComm* s, std::int32_t n) {
        EXPECT_EQ(s, &Comm);
        calls.push_back("rx" + std::to_string(n));
    };
    Comm.OnError = [&](TCustomComm*, std::int32_t e) {
        calls.push_back("err" + std::to_string(e));
    };
    Comm.OnBreak = [&](TCustomComm*) { calls.push_back("break"); };
    Comm.OnTxEmpty = [&](TCustomComm*) { calls.push_back("txempty"); };
    Comm.Open();
    FakePortDevice& port = *Comm.Fake;
    port.Errors = COMM_CE_FRAME;
    port.Unread = 12;
    // RING has no handler and is skipped; the other bits of the mask still run.
    port.Raise(COMM_EV_RXCHAR | COMM_EV_ERR | COMM_EV_RING | COMM_EV_BREAK);
    ASSERT_TRUE(Invoker->PumpUntil([&] { return !calls.empty(); }, 5s));
    EXPECT_EQ(calls, (std::vector<std::string>{"break", "err8", "rx12"}));
    EXPECT_EQ(port.ClearCount, 1);

    // No handler bound for the event: only the error state is cleared.
    calls.clear();
    port.Raise(COMM_EV_CTS);
    ASSERT_TRUE(Invoker->PumpUntil([&] { return port.ClearCount == 2; }, 5s));
    EXPECT_TRUE(calls.empty());
}

TEST_F(CommPort, HandlerExceptionIsCaughtAndTheThreadGoesOn) {
    int rx = 0;
    Comm.OnError = [&](TCustomComm*, std::int32_t) { throw std::runtime_error("handler fault"); };
    Comm.OnRxChar = [&](TCustomComm*, std::int32_t) {
        if (++rx == 1)
            throw 42;
    };
    Comm.Open();
    Comm.Fake->Raise(COMM_EV_ERR | COMM_EV_RXCHAR);
    ASSERT_TRUE(Invoker->PumpUntil([&] { return rx == 1; }, 5s));
    Comm.Fake->Raise(COMM_EV_RXCHAR);
    ASSERT_TRUE(Invoker->PumpUntil([&] { return rx == 2; }, 5s));
    EXPECT_FALSE(Comm.GetMonitorThread()->Finished());
}

TEST_F(CommPort, CloseRunsAHandedOverDeliveryAndNothingAfter) {
    int rx = 0;
    Comm.OnRxChar = [&](TCustomComm*, std::int32_t) { ++rx; };
    Comm.Open();
    Comm.Fake->Raise(COMM_EV_RXCHAR);
    // Without pumping, wait until the thread has handed the delivery over and blocks on it.
    auto until = std::chrono::steady_clock::now() + 5s;
    while (Invoker->Waiting() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(Invoker->Waiting(), 1u);
    EXPECT_EQ(rx, 0);
    // Close serves it on this thread and ends the thread.
    Comm.Close();
    EXPECT_EQ(rx, 1);
    EXPECT_FALSE(Comm.IsOpen());
    EXPECT_EQ(Comm.GetMonitorThread(), nullptr);
    Invoker->Pump(); // the queued job finds its delivery done
    EXPECT_EQ(rx, 1);
}

TEST_F(CommPort, StopBeforeTheWaitBeganEndsTheThread) {
    FakePortDevice port;
    TCommEventThread thread(port, {evRxChar}, Invoker);
    EXPECT_EQ(port.Mask, COMM_EV_RXCHAR);
    thread.Stop();
    thread.Resume();
    thread.WaitFor();
    EXPECT_TRUE(thread.Finished());
    EXPECT_EQ(port.PurgeFlags.load(), COMM_PURGE_RXABORT | COMM_PURGE_RXCLEAR);
}

TEST_F(CommPort, AFailedWaitEndsTheThreadButThePortStaysOpen) {
    std::vector<std::int32_t> losses;
    Comm.OnLineLost = [&](TCustomComm*, std::int32_t e) { losses.push_back(e); };
    Comm.Open();
    Comm.Fake->FailWait();
    EXPECT_TRUE(Invoker->PumpUntil([&] { return Comm.GetMonitorThread()->Finished(); }, 5s));
    EXPECT_EQ(losses, std::vector<std::int32_t>{EIO});
    EXPECT_TRUE(Comm.IsOpen());
    Comm.Open(); // tears the ended thread down and starts anew
    EXPECT_FALSE(Comm.GetMonitorThread()->Finished());
}

TEST(CommError, MessageCarriesTheCode) {
    try {
        RaiseCommError("Error updating CommTimeouts", 87);
        FAIL();
    } catch (const ECommError& e) {
        EXPECT_STREQ(e.what(), "Error updating CommTimeouts (Error: 87) ");
        EXPECT_EQ(e.ErrorCode, 87);
    }
}

TEST_F(CommPort, WaitsThatKeepEndingWithoutAnEventAreSpacedOut) {
    Comm.Open();
    FakePortDevice& port = *Comm.Fake;
    port.EndWaitsEmpty = true;
    std::this_thread::sleep_for(300ms);
    // A driver failing every wait at once must not spin a core: a handful of waits, not
    // millions.
    EXPECT_LT(port.WaitCalls.load(), 40);
    Comm.Close();
    EXPECT_FALSE(Comm.IsOpen());
}

TEST_F(CommPort, AStopCutsTheWaitForTheRestOfAFrame) {
    int deliveries = 0;
    Comm.OnRxChar = [&](TCustomComm*, std::int32_t) { ++deliveries; };
    Comm.Open();
    FakePortDevice& port = *Comm.Fake;
    // At 110 baud the 200 bytes still expected would take 18 s to come.
    Comm.GetMonitorThread()->SetBaud(110);
    Comm.SetRxHint(210);
    port.Queued = 10;
    port.Raise(COMM_EV_RXCHAR);
    auto until = std::chrono::steady_clock::now() + 5s;
    while (port.InQueueCalls.load() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    ASSERT_GT(port.InQueueCalls.load(), 0);
    const auto stopAt = std::chrono::steady_clock::now();
    Comm.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 5s); // not the 18 s
    EXPECT_EQ(deliveries, 0);
}

// A frame that the line brings on time is whole when the monitor thread looks again after its
// line time: the thread sleeps through it and never waits on the device, which would wake it
// for every piece.
TEST_F(CommPort, AFrameOnTimeIsTakenAfterItsLineTimeWithoutWaitingOnTheDevice) {
    std::vector<std::int32_t> counts;
    Comm.OnRxChar = [&](TCustomComm*, std::int32_t n) { counts.push_back(n); };
    Comm.Open();
    FakePortDevice& port = *Comm.Fake;
    port.CanWaitForCount = true;
    Comm.GetMonitorThread()->SetBaud(57600);
    Comm.SetRxHint(210);
    port.Queued = 16;
    port.Unread = 16;
    const auto raised = std::chrono::steady_clock::now();
    port.Raise(COMM_EV_RXCHAR);
    const auto until = raised + 5s;
    while (port.InQueueCalls.load() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    port.Unread = 210; // the rest comes while the thread sleeps
    port.Queued = 210;
    while (Invoker->Waiting() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(Invoker->Waiting(), 1u);
    EXPECT_GE(std::chrono::steady_clock::now() - raised, 33ms); // 194 bytes' line time
    Invoker->Pump();
    EXPECT_EQ(counts, std::vector<std::int32_t>{210});
    EXPECT_EQ(port.WaitForInputCalls.load(), 0);
}

// The monitor thread reads what comes while the main thread is busy, each piece with the moment
// it came, and does not wait: the later event joins the delivery still to run.
TEST_F(CommPort, BytesThatComeWhileTheMainThreadIsBusyKeepTheirTimes) {
    std::vector<std::int32_t> counts;
    std::vector<std::pair<std::int32_t, std::int64_t>> pieces;
    Comm.OnRxChar = [&](TCustomComm* s, std::int32_t n) {
        counts.push_back(n);
        std::uint8_t buf[64];
        std::int64_t at = 0;
        while (const std::int32_t got = s->ReadStamped(buf, sizeof buf, at))
            pieces.emplace_back(got, at);
    };
    Comm.Open();
    FakePortDevice& port = *Comm.Fake;
    port.Unread = 5;
    port.Raise(COMM_EV_RXCHAR);
    auto until = std::chrono::steady_clock::now() + 5s;
    while (port.Unread.load() != 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(50ms);
    port.Unread = 7;
    port.Raise(COMM_EV_RXCHAR);
    while (port.Unread.load() != 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(port.Unread.load(), 0);
    EXPECT_EQ(Invoker->Waiting(), 1u);
    Invoker->Pump();
    EXPECT_EQ(counts, std::vector<std::int32_t>{12});
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].first, 5);
    EXPECT_EQ(pieces[1].first, 7);
    EXPECT_GE(pieces[1].second - pieces[0].second, 50'000'000);
}

TEST_F(CommPort, MoreThanTheQueueHoldsIsAnOverrun) {
    std::vector<std::int32_t> errors;
    std::int32_t waiting = 0;
    Comm.OnError = [&](TCustomComm*, std::int32_t e) { errors.push_back(e); };
    Comm.OnRxChar = [&](TCustomComm*, std::int32_t n) { waiting = n; };
    Comm.Open();
    Comm.Fake->Unread = static_cast<std::int32_t>(TArrivalQueue::BYTE_CAPACITY) + 100;
    Comm.Fake->Raise(COMM_EV_RXCHAR);
    ASSERT_TRUE(Invoker->PumpUntil([&] { return waiting > 0; }, 5s));
    EXPECT_EQ(waiting, static_cast<std::int32_t>(TArrivalQueue::BYTE_CAPACITY));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0] & COMM_CE_RXOVER, COMM_CE_RXOVER);
}
