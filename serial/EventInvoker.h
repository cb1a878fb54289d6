// How the monitor thread reaches the main thread. Each monitor thread owns one delivery, a
// fixed object; Notify puts it on the invoker's list and wakes the main thread, which runs
// every delivery on the list. Nothing is allocated per delivery. The invoker only wakes, so
// Close can run a delivery that was handed over while it waits for the thread, and nothing
// deadlocks.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>

namespace orvik {

class TMainThreadInvoker;

class TPendingDelivery {
public:
    virtual ~TPendingDelivery() = default;
    // Main thread: runs the delivery if it is still pending (Close may have run it already).
    virtual void RunIfPending() = 0;

private:
    friend class TMainThreadInvoker;
    TPendingDelivery* NextPending = nullptr;
    bool Listed = false;
};

class TMainThreadInvoker {
public:
    TMainThreadInvoker() = default;
    TMainThreadInvoker(const TMainThreadInvoker&) = delete;
    TMainThreadInvoker& operator=(const TMainThreadInvoker&) = delete;
    virtual ~TMainThreadInvoker() = default;

    // Any thread: have the main thread run `delivery` soon. Does not block beyond a short
    // lock, allocates nothing, and never runs the delivery on the calling thread.
    void Notify(TPendingDelivery& delivery);
    // Any thread: takes `delivery` off the list; its owner calls this before it goes.
    void Forget(TPendingDelivery& delivery);

    // Deliveries notified and not yet run; and how many notifications there were in all.
    std::size_t Waiting();
    std::uint64_t Notifications() const { return NotifyCount.load(std::memory_order_relaxed); }

protected:
    // Any thread: wake the main thread so that it calls RunPending. Called when the list
    // turns from empty to not empty. Must not block or allocate.
    virtual void Wake() = 0;
    // Main thread: runs the deliveries on the list, oldest first; returns how many ran.
    int RunPending();

private:
    std::mutex Lock;
    TPendingDelivery* Head = nullptr;
    TPendingDelivery* Tail = nullptr;
    std::size_t Listed = 0;
    std::atomic<std::uint64_t> NotifyCount{0};
};

// An invoker whose main thread pumps by hand; for tests, benchmarks and programs without a
// toolkit loop (orvik-cli). The thread that pumps is the main thread.
class TPumpedInvoker final : public TMainThreadInvoker {
public:
    TPumpedInvoker() = default;
    ~TPumpedInvoker() override;

    // Runs the deliveries waiting now; returns how many ran.
    int Pump();

    // Waits at most `timeout` for a delivery, then pumps.
    int WaitAndPump(std::chrono::milliseconds timeout);

    // Pumps until `done` holds or `timeout` passes; returns `done()`.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    // A descriptor that is readable while a delivery waits, for a main thread that waits on
    // other descriptors too (poll) and then calls Pump. Made on the first call; -1 if it
    // cannot be (always on Windows).
    int WakeDescriptor();

protected:
    void Wake() override;

private:
    std::mutex WakeLock;
    std::condition_variable Woken;
    bool WakePending = false;
    int WakeFd = -1;
    bool FdSignalled = false;
};

} // namespace orvik
