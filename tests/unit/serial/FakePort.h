// A port device that records what the component asks of it and reports the events a test
// raises; and a component that opens it instead of a real device.
#pragma once

#include "serial/CommPort.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

namespace orvik::test {

class FakePortDevice final : public TPortDevice {
public:
    // Test thread.
    void Raise(std::uint32_t events) {
        std::lock_guard<std::mutex> lk(M);
        Pending.push_back(events);
        Cv.notify_all();
    }
    void FailWait() {
        std::lock_guard<std::mutex> lk(M);
        WaitFails = true;
        Cv.notify_all();
    }

    bool IsCharDevice() override { return true; }
    bool GetState(TLineState& state) override {
        state = Driver;
        return true;
    }
    bool SetState(const TLineState& state) override {
        if (RefuseState) {
            PortSetLastError(EINVAL); // the platform's last error: errno, or GetLastError
            return false;
        }
        States.push_back(state);
        Driver = state;
        return true;
    }
    bool SetupBuffers(std::int32_t in, std::int32_t out) override {
        BufferSizes = {in, out};
        return true;
    }
    bool SetTimeouts(const TCommTimeouts& t) override {
        Timeouts.push_back(t);
        return true;
    }
    bool SetMask(std::uint32_t mask) override {
        Mask = mask;
        return true;
    }
    TWaitResult WaitEvent(std::uint32_t& events) override {
        std::unique_lock<std::mutex> lk(M);
        ++WaitCalls;
        if (EndWaitsEmpty && !Stopped)
            return TWaitResult::NoEvent;
        Cv.wait(lk, [this] { return Stopped || WaitFails || !Pending.empty(); });
        if (Stopped)
            return TWaitResult::Stopped;
        if (WaitFails) {
            PortSetLastError(EIO); // the device went away
            return TWaitResult::Failed;
        }
        events = Pending.front();
        Pending.pop_front();
        return TWaitResult::Event;
    }
    void Stop() override {
        std::lock_guard<std::mutex> lk(M);
        Stopped = true;
        Cv.notify_all();
    }
    bool ClearError(std::uint32_t& errors, TCommStat& stat) override {
        ++ClearCount;
        errors = Errors;
        Errors = 0;
        stat = Stat;
        return true;
    }
    std::int32_t InQueue() override {
        ++InQueueCalls;
        return Queued.load();
    }
    bool Purge(std::uint32_t flags) override {
        PurgeFlags = flags;
        return true;
    }
    // The monitor thread reads what the test said had arrived.
    std::int32_t Read(void* buffer, std::int32_t count) override {
        const std::int32_t n = std::min(count, Unread.load());
        Unread -= n;
        std::memset(buffer, 0xA5, static_cast<std::size_t>(n));
        return n;
    }
    std::int32_t Write(const void*, std::int32_t count) override { return count; }
    // A device that could wait for a count of bytes; the test sees whether it was asked to.
    bool CanWaitForInput() const override { return CanWaitForCount; }
    TWaitResult WaitForInput(std::int32_t, std::int64_t) override {
        ++WaitForInputCalls;
        return TWaitResult::Failed;
    }

    // Main thread.
    TLineState Driver;
    bool RefuseState = false;
    std::vector<TLineState> States;
    std::vector<TCommTimeouts> Timeouts;
    std::pair<std::int32_t, std::int32_t> BufferSizes{};
    std::uint32_t Mask = 0;
    std::uint32_t Errors = 0;
    TCommStat Stat;
    int ClearCount = 0;
    std::atomic<std::uint32_t> PurgeFlags{0};
    std::atomic<std::int32_t> Queued{0}; // what the monitor thread sees queued
    std::atomic<std::int32_t> Unread{0}; // bytes arrived for the monitor thread to read
    std::atomic<int> InQueueCalls{0};
    std::atomic<int> WaitCalls{0};
    std::atomic<bool> EndWaitsEmpty{false}; // every wait ends at once without an event
    bool CanWaitForCount = false;
    std::atomic<int> WaitForInputCalls{0};

private:
    std::mutex M;
    std::condition_variable Cv;
    std::deque<std::uint32_t> Pending;
    bool Stopped = false;
    bool WaitFails = false;
};

// TComm over a FakePortDevice, with the protected parts a test looks at.
class FakeComm : public TComm {
public:
    using TComm::TComm;
    using TCustomComm::ApplyFlowControl;
    using TCustomComm::ControlBlock;
    using TCustomComm::GetMonitorThread;

    FakePortDevice* Fake = nullptr; // the device of the last Open

protected:
    void OpenDevice() override {
        auto port = std::make_unique<FakePortDevice>();
        port->Driver.fOutxCtsFlow = true; // a driver with its own flow settings
        port->Driver.fRtsControl = COMM_RTS_CONTROL_HANDSHAKE;
        port->Driver.fDtrControl = COMM_DTR_CONTROL_HANDSHAKE;
        port->Driver.fParity = true;
        port->Driver.fNull = true;
        port->Driver.fAbortOnError = true;
        Fake = port.get();
        PortHandle = std::move(port);
    }
};

} // namespace orvik::test
