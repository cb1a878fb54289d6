#include "serial/CommEventThread.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace orvik {

namespace {

// Waits that end without an event, one after another, are spaced out from the third on
// (10 ms, doubling, at most 1 s), so that a driver that fails every wait does not spin a core.
constexpr int QUIET_RETRIES = 2;
constexpr std::int64_t FIRST_RETRY_US = 10'000;
constexpr std::int64_t LONGEST_RETRY_US = 1'000'000;
// A hint beyond this is not a frame of the bus.
constexpr std::int32_t LONGEST_HINT = 1024;
// The bytes a UART or USB adapter hands over at a time.
constexpr std::int32_t FIFO_PIECE = 16;
// Beyond twice its line time, a frame's rest is not waited for longer than this.
constexpr std::int64_t COMPLETE_MARGIN_US = 20'000;

} // namespace

class TCommEventThread::TSlot final : public TPendingDelivery {
public:
    enum class TState { Idle, Pending, Running };

    explicit TSlot(TCommEventThread& Owner) : Owner(Owner) {}

    std::mutex Lock;
    std::condition_variable Changed;
    TState State = TState::Idle;
    bool Ended = false;

    // Main thread, with Lock held: runs the pending delivery once.
    void Run(std::unique_lock<std::mutex>& lk) {
        State = TState::Running;
        lk.unlock();
        try {
            Owner.DeliverEvents();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Serial port event handler failed: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "Serial port event handler failed\n");
        }
        lk.lock();
        State = TState::Idle;
        // Wake the monitor thread only once the lock is free, so that it does not wake into
        // a held lock and sleep again.
        lk.unlock();
        Changed.notify_all();
        lk.lock();
    }

    // Main thread, from the invoker: a delivery that Close already ran is left alone.
    void RunIfPending() override {
        std::unique_lock<std::mutex> lk(Lock);
        if (State == TState::Pending)
            Run(lk);
    }

private:
    TCommEventThread& Owner;
};

TCommEventThread::TCommEventThread(TPortDevice& Port, TCommEventType Events,
                                   std::shared_ptr<TMainThreadInvoker> Invoker)
    : PortHandle(Port), Invoker(std::move(Invoker)), Slot(std::make_unique<TSlot>(*this)) {
    PortHandle.SetMask(EventMaskOf(Events));
}

TCommEventThread::~TCommEventThread() {
    if (Thread.joinable()) {
        Stop();
        WaitFor();
    }
    Invoker->Forget(*Slot);
}

void TCommEventThread::Resume() {
    if (!Thread.joinable())
        Thread = std::thread([this] { Execute(); });
}

void TCommEventThread::Stop() {
    {
        std::lock_guard<std::mutex> lk(PauseLock);
        Terminated.store(true);
    }
    PauseCut.notify_all();
    PortHandle.Stop();
}

void TCommEventThread::WaitFor() {
    if (!Thread.joinable())
        return;
    {
        std::unique_lock<std::mutex> lk(Slot->Lock);
        for (;;) {
            Slot->Changed.wait(
                lk, [this] { return Slot->State == TSlot::TState::Pending || Slot->Ended; });
            if (Slot->State == TSlot::TState::Pending)
                Slot->Run(lk);
            else
                break;
        }
    }
    Thread.join();
}

bool TCommEventThread::Finished() const {
    std::lock_guard<std::mutex> lk(Slot->Lock);
    return Slot->Ended;
}

void TCommEventThread::Execute() {
    int quiet = 0;
    std::int64_t retryUs = FIRST_RETRY_US;
    for (;;) {
        std::uint32_t events = 0;
        TWaitResult r = PortHandle.WaitEvent(events);
        if (r == TWaitResult::Event) {
            quiet = 0;
            retryUs = FIRST_RETRY_US;
            if ((events & COMM_EV_RXCHAR) && !Coalesce())
                break;
            EventMask = events;
            Synchronize();
            DeliveryCount.fetch_add(1);
        } else if (r == TWaitResult::NoEvent) {
            if (++quiet > QUIET_RETRIES) {
                if (!Pause(retryUs))
                    break;
                retryUs = std::min(retryUs * 2, LONGEST_RETRY_US);
            }
        } else {
            // The wait failed: unless a stop caused it, the device is gone. Say so once.
            if (r == TWaitResult::Failed && !Terminated.load()) {
                LostError = PortGetLastError();
                Lost = true;
                Synchronize();
                DeliveryCount.fetch_add(1);
            }
            break;
        }
        if (Terminated.load())
            break;
    }
    PortHandle.Purge(COMM_PURGE_RXABORT | COMM_PURGE_RXCLEAR);
    std::lock_guard<std::mutex> lk(Slot->Lock);
    Slot->Ended = true;
    Slot->Changed.notify_all();
}

// Waits for the rest of what the main thread expects: until the queue holds the hint, or
// stops growing between two looks. False when stopped meanwhile.
bool TCommEventThread::Coalesce() {
    const std::int32_t hint = std::min(RxHint.load(std::memory_order_relaxed), LONGEST_HINT);
    const std::uint32_t baud = LineBaud.load(std::memory_order_relaxed);
    if (hint <= 0 || baud == 0)
        return true;
    // Where the device can, the wait ends with the byte that completes the frame: the line's
    // time for all but the last piece is slept through without a wake-up, the rest is waited
    // for with the device's help. A frame that never completes is handed over after twice
    // its line time and a little more.
    const std::int32_t first = PortHandle.InQueue();
    if (first >= 0 && first < hint && PortHandle.CanWaitForInput()) {
        const std::int32_t early = hint - first - FIFO_PIECE;
        if (early > 0 && !Pause(std::int64_t(early) * 10'000'000 / baud))
            return false;
        const std::int64_t bound =
            std::int64_t(std::min(hint - first, 2 * FIFO_PIECE)) * 20'000'000 / baud +
            COMPLETE_MARGIN_US;
        switch (PortHandle.WaitForInput(hint, bound)) {
        case TWaitResult::Stopped:
            return false;
        case TWaitResult::Failed:
            break; // waited for below, by the line's speed
        default:
            return !Terminated.load();
        }
    }
    std::int32_t before = -1;
    for (;;) {
        const std::int32_t queued = PortHandle.InQueue();
        if (queued < 0 || queued >= hint || queued == before)
            return true;
        // Ten bits a byte, and a millisecond for the driver to pass the last piece on. Once
        // the expected end has passed, wait at least for one more piece of a UART's FIFO.
        const std::int32_t bytes = before < 0 ? hint - queued : std::max(hint - queued, FIFO_PIECE);
        before = queued;
        const std::int64_t us = std::int64_t(bytes) * 10'000'000 / baud + 1000;
        if (!Pause(us))
            return false;
    }
}

bool TCommEventThread::Pause(std::int64_t us) {
    std::unique_lock<std::mutex> lk(PauseLock);
    PauseCut.wait_for(lk, std::chrono::microseconds(us), [this] { return Terminated.load(); });
    return !Terminated.load();
}

void TCommEventThread::Synchronize() {
    {
        std::lock_guard<std::mutex> lk(Slot->Lock);
        Slot->State = TSlot::TState::Pending;
        Slot->Changed.notify_all();
    }
    Invoker->Notify(*Slot);
    std::unique_lock<std::mutex> lk(Slot->Lock);
    Slot->Changed.wait(lk, [this] { return Slot->State == TSlot::TState::Idle; });
}

void TCommEventThread::DeliverEvents() {
    if (Lost) {
        if (OnLineLost)
            OnLineLost(this, LostError);
    } else if (OnPortEvents) {
        OnPortEvents(this, EventMask);
    }
}

} // namespace orvik
