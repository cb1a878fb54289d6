#include "serial/CommEventThread.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

#ifdef __linux__
#include <pthread.h>
#endif

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
// How much later than its line time a frame's last piece may come and still find the thread
// not yet looking: a piece of a UART's FIFO that the line hands over ahead or behind, and a
// millisecond for the driver.
constexpr std::int64_t LATE_MARGIN_US = 1'000;

} // namespace

class TCommEventThread::TSlot final : public TPendingDelivery {
public:
    enum class TState { Idle, Pending, Running };

    TSlot(TCommEventThread& Owner, TMainThreadInvoker& Invoker) : Owner(Owner), Invoker(Invoker) {}

    std::mutex Lock;
    TState State = TState::Idle;
    bool Ended = false;
    // What the next delivery reports; the monitor thread adds to it at any time.
    std::uint32_t Events = 0;
    bool LineLost = false;

    // Monitor thread: adds to the next delivery and, unless one is already on its way, has the
    // main thread run it.
    void Post(std::uint32_t events, bool lost) {
        bool notify = false;
        {
            std::lock_guard<std::mutex> lk(Lock);
            Events |= events;
            LineLost = LineLost || lost;
            if (State == TState::Idle) {
                State = TState::Pending;
                notify = true;
            }
        }
        if (notify)
            Invoker.Notify(*this);
    }

    // Main thread, with Lock held: runs the pending delivery once.
    void Run(std::unique_lock<std::mutex>& lk) {
        State = TState::Running;
        const std::uint32_t events = std::exchange(Events, 0);
        const bool lost = std::exchange(LineLost, false);
        lk.unlock();
        try {
            Owner.DeliverEvents(events, lost);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Serial port event handler failed: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "Serial port event handler failed\n");
        }
        lk.lock();
        // What came meanwhile is the next delivery.
        const bool again = Events != 0 || LineLost;
        State = again ? TState::Pending : TState::Idle;
        if (again) {
            lk.unlock();
            Invoker.Notify(*this);
            lk.lock();
        }
    }

    // Main thread, from the invoker: a delivery that Close already ran is left alone.
    void RunIfPending() override {
        std::unique_lock<std::mutex> lk(Lock);
        if (State == TState::Pending)
            Run(lk);
    }

private:
    TCommEventThread& Owner;
    TMainThreadInvoker& Invoker;
};

TCommEventThread::TCommEventThread(TPortDevice& Port, TCommEventType Events,
                                   std::shared_ptr<TMainThreadInvoker> Invoker)
    : PortHandle(Port), Invoker(std::move(Invoker)),
      Slot(std::make_unique<TSlot>(*this, *this->Invoker)) {
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
    Thread.join();
    std::unique_lock<std::mutex> lk(Slot->Lock);
    while (Slot->State == TSlot::TState::Pending)
        Slot->Run(lk);
}

void TCommEventThread::RunPending() {
    Slot->RunIfPending();
}

bool TCommEventThread::Finished() const {
    std::lock_guard<std::mutex> lk(Slot->Lock);
    return Slot->Ended;
}

void TCommEventThread::Execute() {
#ifdef __linux__
    pthread_setname_np(pthread_self(), "serial monitor"); // as tools that list threads show it
#endif
    int quiet = 0;
    std::int64_t retryUs = FIRST_RETRY_US;
    std::int32_t carried = 0; // bytes of the next frame that the last read took along
    for (;;) {
        std::uint32_t events = 0;
        TWaitResult r = PortHandle.WaitEvent(events);
        if (r == TWaitResult::Event) {
            quiet = 0;
            retryUs = FIRST_RETRY_US;
            std::int32_t next = 0;
            if (events & COMM_EV_RXCHAR) {
                const std::int32_t hint = Hint();
                if (!Coalesce(hint))
                    break;
                const std::int32_t read = ReadArrivals();
                // The main thread had `carried` bytes of this frame before the hint.
                const std::int32_t frame = hint + carried;
                carried = hint > 0 && read > hint && frame <= LONGEST_HINT ? read - hint : 0;
                next = carried > 0 ? frame - carried : 0;
            }
            Synchronize(events, false);
            // Frames that follow each other without a gap: the next has begun, so sleep
            // through its line time now rather than wake for its first piece. A frame on time
            // is whole when the next wait looks, and costs this thread one wake-up.
            if (next > FIFO_PIECE && !Pause(LineUs(next + FIFO_PIECE) + LATE_MARGIN_US))
                break;
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
                Synchronize(0, true);
            }
            break;
        }
        if (Terminated.load())
            break;
    }
    PortHandle.Purge(COMM_PURGE_RXABORT | COMM_PURGE_RXCLEAR);
    std::lock_guard<std::mutex> lk(Slot->Lock);
    Slot->Ended = true;
}

std::int32_t TCommEventThread::Hint() const {
    if (LineBaud.load(std::memory_order_relaxed) == 0)
        return 0;
    return std::min(RxHint.load(std::memory_order_relaxed), LONGEST_HINT);
}

std::int64_t TCommEventThread::LineUs(std::int32_t Bytes) const {
    const std::uint32_t baud = LineBaud.load(std::memory_order_relaxed);
    return baud == 0 ? 0 : std::int64_t(Bytes) * 10'000'000 / baud;
}

// Waits for the rest of what the main thread expects: until the queue holds the hint, or
// stops growing between two looks. False when stopped meanwhile.
//
// A tty wakes a thread that waits on it for every piece the driver passes on, whatever its
// VMIN, so the thread sleeps through the line's time for the rest and looks once: a frame on
// time is whole then, and costs this thread two wake-ups, its start and its end. Only the
// last piece, or a frame late on the line, is waited for on the device.
bool TCommEventThread::Coalesce(std::int32_t hint) {
    if (hint <= 0)
        return true;
    std::int32_t queued = PortHandle.InQueue();
    if (queued < 0 || queued >= hint)
        return true;
    std::int32_t before = -1;
    if (hint - queued > FIFO_PIECE) {
        before = queued;
        if (!Pause(LineUs(hint - queued + FIFO_PIECE) + LATE_MARGIN_US))
            return false;
        queued = PortHandle.InQueue();
        if (queued < 0 || queued >= hint)
            return true;
    }
    // The rest ends with the byte that completes the frame where the device can tell; a
    // frame that never completes is handed over after twice the rest's line time and a
    // little more.
    if (PortHandle.CanWaitForInput()) {
        const std::int64_t bound =
            2 * LineUs(std::min(hint - queued, 2 * FIFO_PIECE)) + COMPLETE_MARGIN_US;
        switch (PortHandle.WaitForInput(hint, bound)) {
        case TWaitResult::Stopped:
            return false;
        case TWaitResult::Failed:
            queued = PortHandle.InQueue(); // waited for below, by the line's speed
            break;
        default:
            return !Terminated.load();
        }
    }
    for (;;) {
        if (queued < 0 || queued >= hint || queued == before)
            return true;
        // Ten bits a byte, and a millisecond for the driver to pass the last piece on. Once
        // the expected end has passed, wait at least for one more piece of a UART's FIFO.
        const std::int32_t bytes = before < 0 ? hint - queued : std::max(hint - queued, FIFO_PIECE);
        before = queued;
        if (!Pause(LineUs(bytes) + 1000))
            return false;
        queued = PortHandle.InQueue();
    }
}

bool TCommEventThread::Pause(std::int64_t us) {
    std::unique_lock<std::mutex> lk(PauseLock);
    PauseCut.wait_for(lk, std::chrono::microseconds(us), [this] { return Terminated.load(); });
    return !Terminated.load();
}

void TCommEventThread::Synchronize(std::uint32_t Events, bool LineLost) {
    Slot->Post(Events, LineLost);
}

std::int32_t TCommEventThread::ReadArrivals() {
    std::uint8_t piece[4096];
    std::int32_t total = 0;
    for (;;) {
        const std::int32_t want = static_cast<std::int32_t>(sizeof piece);
        const std::int32_t n = PortHandle.Read(piece, want);
        if (n <= 0)
            return total; // a failed read shows again in the next wait
        Received.Put(piece, static_cast<std::size_t>(n), SteadyNowNs());
        total += n;
        if (n < want)
            return total;
    }
}

void TCommEventThread::DeliverEvents(std::uint32_t Events, bool LineLost) {
    DeliveryCount.fetch_add(1);
    if (Events != 0 && OnPortEvents)
        OnPortEvents(this, Events);
    if (LineLost && OnLineLost)
        OnLineLost(this, LostError);
}

} // namespace orvik
