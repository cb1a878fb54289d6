// The monitor thread of an open serial component: waits for port events and hands each
// completed wait to the main thread, blocking until the main thread has run it.
#pragma once

#include "CommTypes.h"
#include "EventInvoker.h"
#include "PortBackend.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace orvik {

class TCommEventThread {
public:
    using TPortEventsHandler =
        std::function<void(TCommEventThread* Sender, std::uint32_t EventMask)>;

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

    // Main thread: waits for the end of the thread, meanwhile running the delivery it has
    // handed over, if any. Must not be called from inside a delivery.
    void WaitFor();

    bool Finished() const;
    std::uint64_t Deliveries() const { return DeliveryCount.load(); }
    std::thread::native_handle_type NativeHandle() { return Thread.native_handle(); }

    // Set by the component's Open right after creation; called on the main thread.
    TPortEventsHandler OnPortEvents;

private:
    struct TSlot; // the one delivery between the two threads

    void Execute();
    void DeliverEvents();
    void Synchronize();

    TPortDevice& PortHandle;
    std::uint32_t EventMask = 0;
    std::shared_ptr<TMainThreadInvoker> Invoker;
    std::shared_ptr<TSlot> Slot;
    std::atomic<bool> Terminated{false};
    std::atomic<std::uint64_t> DeliveryCount{0};
    std::thread Thread;
};

} // namespace orvik
