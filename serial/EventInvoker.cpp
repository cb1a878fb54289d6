#include "serial/EventInvoker.h"

#include <algorithm>

namespace orvik {

void TMainThreadInvoker::Notify(TPendingDelivery& delivery) {
    NotifyCount.fetch_add(1, std::memory_order_relaxed);
    bool wake = false;
    {
        std::lock_guard<std::mutex> lk(Lock);
        if (delivery.Listed)
            return;
        delivery.Listed = true;
        delivery.NextPending = nullptr;
        if (Tail)
            Tail->NextPending = &delivery;
        else
            Head = &delivery;
        Tail = &delivery;
        wake = ++Listed == 1;
    }
    if (wake)
        Wake();
}

void TMainThreadInvoker::Forget(TPendingDelivery& delivery) {
    std::lock_guard<std::mutex> lk(Lock);
    if (!delivery.Listed)
        return;
    TPendingDelivery* before = nullptr;
    for (TPendingDelivery* d = Head; d; before = d, d = d->NextPending) {
        if (d != &delivery)
            continue;
        (before ? before->NextPending : Head) = d->NextPending;
        if (Tail == d)
            Tail = before;
        break;
    }
    delivery.Listed = false;
    delivery.NextPending = nullptr;
    --Listed;
}

std::size_t TMainThreadInvoker::Waiting() {
    std::lock_guard<std::mutex> lk(Lock);
    return Listed;
}

int TMainThreadInvoker::RunPending() {
    int ran = 0;
    for (;;) {
        TPendingDelivery* d = nullptr;
        {
            std::lock_guard<std::mutex> lk(Lock);
            d = Head;
            if (!d)
                break;
            Head = d->NextPending;
            if (!Head)
                Tail = nullptr;
            d->Listed = false;
            d->NextPending = nullptr;
            --Listed;
        }
        d->RunIfPending();
        ++ran;
    }
    return ran;
}

void TPumpedInvoker::Wake() {
    {
        std::lock_guard<std::mutex> lk(WakeLock);
        WakePending = true;
    }
    Woken.notify_all();
}

int TPumpedInvoker::Pump() {
    {
        std::lock_guard<std::mutex> lk(WakeLock);
        WakePending = false;
    }
    return RunPending();
}

int TPumpedInvoker::WaitAndPump(std::chrono::milliseconds timeout) {
    {
        std::unique_lock<std::mutex> lk(WakeLock);
        Woken.wait_for(lk, timeout, [this] { return WakePending; });
    }
    return Pump();
}

bool TPumpedInvoker::PumpUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        Pump();
        if (done())
            return true;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return done();
        WaitAndPump(std::min(left, std::chrono::milliseconds(20)));
    }
}

} // namespace orvik
