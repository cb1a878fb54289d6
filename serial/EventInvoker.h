// How the monitor thread reaches the main thread. The thread posts each delivery through an
// invoker and then blocks until the main thread has run it (TCommEventThread); the invoker
// itself only queues. Because the blocking lives in the component, Close can run a delivery
// that was handed over while it waits for the thread, and nothing deadlocks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace orvik {

class TMainThreadInvoker {
public:
    virtual ~TMainThreadInvoker() = default;
    // Any thread: queue `job` to run once on the main thread. Must not block and must not
    // run the job on the calling thread. A job may find that its delivery has already run.
    virtual void Post(std::function<void()> job) = 0;
};

// A queue that the main thread empties by hand; for tests, benchmarks and programs
// without a toolkit loop. The thread that pumps is the main thread.
class TPumpedInvoker final : public TMainThreadInvoker {
public:
    void Post(std::function<void()> job) override;

    // Runs the jobs queued now; returns how many ran.
    int Pump();

    // Waits at most `timeout` for a job, then pumps.
    int WaitAndPump(std::chrono::milliseconds timeout);

    // Pumps until `done` holds or `timeout` passes; returns `done()`.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    // Jobs queued and not yet run.
    std::size_t Waiting();

private:
    std::mutex Lock;
    std::condition_variable Queued;
    std::deque<std::function<void()>> Jobs;
};

} // namespace orvik
