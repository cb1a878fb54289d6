#include "CommEventThread.h"

#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>

namespace orvik {

struct TCommEventThread::TSlot {
    enum class TState { Idle, Pending, Running };

    std::mutex Lock;
    std::condition_variable Changed;
    TState State = TState::Idle;
    bool Ended = false;
    std::function<void()> Job;

    // Main thread, with Lock held: runs the pending job once.
    void Run(std::unique_lock<std::mutex>& lk) {
        State = TState::Running;
        std::function<void()> job = std::move(Job);
        Job = nullptr;
        lk.unlock();
        try {
            job();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Serial port event handler failed: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "Serial port event handler failed\n");
        }
        lk.lock();
        State = TState::Idle;
        // Wake the monitor thread only once the lock is free, so that it does not wake into
        // a held lock and sleep again. The slot outlives this: it is shared, and only this
        // thread ends the monitor thread.
        lk.unlock();
        Changed.notify_all();
        lk.lock();
    }

    // Main thread, from the invoker: a delivery that already ran, or runs right now
    // further up this thread's stack, is left alone.
    void RunIfPending() {
        std::unique_lock<std::mutex> lk(Lock);
        if (State == TState::Pending)
            Run(lk);
    }
};

TCommEventThread::TCommEventThread(TPortDevice& Port, TCommEventType Events,
                                   std::shared_ptr<TMainThreadInvoker> Invoker)
    : PortHandle(Port), Invoker(std::move(Invoker)), Slot(std::make_shared<TSlot>()) {
    PortHandle.SetMask(EventMaskOf(Events));
}

TCommEventThread::~TCommEventThread() {
    if (Thread.joinable()) {
        Stop();
        WaitFor();
    }
}

void TCommEventThread::Resume() {
    if (!Thread.joinable())
        Thread = std::thread([this] { Execute(); });
}

void TCommEventThread::Stop() {
    Terminated.store(true);
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
    for (;;) {
        std::uint32_t events = 0;
        TWaitResult r = PortHandle.WaitEvent(events);
        if (r == TWaitResult::Event) {
            EventMask = events;
            Synchronize();
            DeliveryCount.fetch_add(1);
        } else if (r != TWaitResult::NoEvent) {
            break; // stopped, or the wait failed
        }
        if (Terminated.load())
            break;
    }
    PortHandle.Purge(COMM_PURGE_RXABORT | COMM_PURGE_RXCLEAR);
    std::lock_guard<std::mutex> lk(Slot->Lock);
    Slot->Ended = true;
    Slot->Changed.notify_all();
}

void TCommEventThread::Synchronize() {
    {
        std::lock_guard<std::mutex> lk(Slot->Lock);
        Slot->Job = [this] { DeliverEvents(); };
        Slot->State = TSlot::TState::Pending;
        Slot->Changed.notify_all();
    }
    Invoker->Post([slot = Slot] { slot->RunIfPending(); });
    std::unique_lock<std::mutex> lk(Slot->Lock);
    Slot->Changed.wait(lk, [this] { return Slot->State == TSlot::TState::Idle; });
}

void TCommEventThread::DeliverEvents() {
    if (OnPortEvents)
        OnPortEvents(this, EventMask);
}

} // namespace orvik
