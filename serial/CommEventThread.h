// The monitor thread of an open serial component: waits for port events, reads what arrives
// into the arrival queue with the moment it came, and hands the events to the main thread. It
// never waits for the main thread: events that come while a delivery is still to run join it.
//
// Two things beyond the plain wait:
//  - Coalescing. After an arrival the thread may wait, without waking the main thread, for
//    the bytes the main thread said it still expects (SetRxHint), then deliver once: a frame
//    that the line hands over in many pieces costs one delivery, and this thread two wake-ups
//    when it comes on time, one when frames follow each other without a gap. Only Stop cuts
//    that wait.
//  - Loss. When the wait fails because the device went away, the thread's last delivery
//    reports the loss and its OS error (OnLineLost), and the thread ends.
#pragma once

#include "serial/ArrivalQueue.h"
#include "serial/CommTypes.h"
#include "serial/EventInvoker.h"
#include "serial/PortBackend.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace orvik {

class TCommEventThread {
public:
    using TPortEventsHandler =
        std::function<void(TCommEventThread* Sender, std::uint32_t EventMask)>;
    using TLineLostHandler = std::function<void(TCommEventThread* Sender, std::int32_t Error)>;

    // Created suspended: sets the port's event mask from `Events`; Resume starts it. `Port`
    // and `Invoker` must outlive the thread.
    TCommEventThread(TPortDevice& Port, TCommEventType Events,
                     std::shared_ptr<TMainThreadInvoker> Invoker);
    TCommEventThread(const TCommEventThread&) = delete;
    TCommEventThread& operator=(const TCommEventThread&) = delete;
    ~TCommEventThread(); // stops and waits when still running

    void Resume();

    // Any time, also before Resume: the thread ends at its next look.
    void Stop();

    // Main thread: waits for the end of the thread, then runs the delivery it has handed over,
    // if any. Must not be called from inside a delivery.
    void WaitFor();

    bool Finished() const;
    // Main thread, outside a delivery: runs the handed-over delivery now, if there is one.
    void RunPending();
    std::uint64_t Deliveries() const { return DeliveryCount.load(); }
    // What the thread has read off the line, for the main thread to take.
    TArrivalQueue& Arrivals() { return Received; }
    std::thread::native_handle_type NativeHandle() { return Thread.native_handle(); }

    // Any thread: after an arrival, wait for this many queued bytes (0: deliver at once), at
    // `Baud` bits of ten per byte.
    void SetRxHint(std::int32_t Bytes) { RxHint.store(Bytes, std::memory_order_relaxed); }
    void SetBaud(std::uint32_t Baud) { LineBaud.store(Baud, std::memory_order_relaxed); }

    // Set by the component's Open right after creation; called on the main thread.
    TPortEventsHandler OnPortEvents;
    TLineLostHandler OnLineLost;

private:
    class TSlot; // the one delivery between the two threads

    void Execute();
    // Reads what has arrived into the queue, stamped; how many bytes.
    std::int32_t ReadArrivals();
    void DeliverEvents(std::uint32_t Events, bool LineLost);
    // Hands `Events` (and the loss, if `LineLost`) over; does not wait for the delivery.
    void Synchronize(std::uint32_t Events, bool LineLost);
    // The bytes the main thread still expects (0: none, or no line speed to time them by).
    std::int32_t Hint() const;
    // The line's time for `Bytes`, ten bits each.
    std::int64_t LineUs(std::int32_t Bytes) const;
    bool Coalesce(std::int32_t hint);
    // Sleeps `us` microseconds unless stopped first; false when stopped.
    bool Pause(std::int64_t us);

    TPortDevice& PortHandle;
    std::int32_t LostError = 0; // written before the loss is handed over
    TArrivalQueue Received;
    std::shared_ptr<TMainThreadInvoker> Invoker;
    std::unique_ptr<TSlot> Slot;
    std::atomic<bool> Terminated{false};
    std::atomic<std::uint64_t> DeliveryCount{0};
    std::atomic<std::int32_t> RxHint{0};
    std::atomic<std::uint32_t> LineBaud{0};
    std::mutex PauseLock;
    std::condition_variable PauseCut;
    std::thread Thread;
};

} // namespace orvik
