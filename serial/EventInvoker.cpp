#include "EventInvoker.h"

#include <algorithm>

namespace orvik {

void TPumpedInvoker::Post(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lk(Lock);
        Jobs.push_back(std::move(job));
    }
    Queued.notify_all();
}

std::size_t TPumpedInvoker::Waiting() {
    std::lock_guard<std::mutex> lk(Lock);
    return Jobs.size();
}

int TPumpedInvoker::Pump() {
    std::deque<std::function<void()>> now;
    {
        std::lock_guard<std::mutex> lk(Lock);
        now.swap(Jobs);
    }
    for (auto& job : now)
        job();
    return static_cast<int>(now.size());
}

int TPumpedInvoker::WaitAndPump(std::chrono::milliseconds timeout) {
    {
        std::unique_lock<std::mutex> lk(Lock);
        Queued.wait_for(lk, timeout, [this] { return !Jobs.empty(); });
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
