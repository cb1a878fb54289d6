#include "serial/EventInvoker.h"

#include <algorithm>

#ifndef _WIN32
#include <sys/eventfd.h>
#include <unistd.h>
#endif

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

TPumpedInvoker::~TPumpedInvoker() {
#ifndef _WIN32
    if (WakeFd >= 0)
        ::close(WakeFd);
#endif
}

int TPumpedInvoker::WakeDescriptor() {
    std::lock_guard<std::mutex> lk(WakeLock);
#ifndef _WIN32
    if (WakeFd < 0)
        WakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
#endif
    return WakeFd;
}

void TPumpedInvoker::Wake() {
    {
        std::lock_guard<std::mutex> lk(WakeLock);
        WakePending = true;
#ifndef _WIN32
        if (WakeFd >= 0 && !FdSignalled) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto n = ::write(WakeFd, &one, sizeof one);
            FdSignalled = true;
        }
#endif
    }
    Woken.notify_all();
}

int TPumpedInvoker::Pump() {
    {
        std::lock_guard<std::mutex> lk(WakeLock);
        WakePending = false;
#ifndef _WIN32
        if (FdSignalled) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto n = ::read(WakeFd, &count, sizeof count);
            FdSignalled = false;
        }
#endif
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
