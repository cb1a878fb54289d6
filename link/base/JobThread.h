// A thread of its own that runs the jobs handed to it, one after another, in the order given:
// slow work (a disk that takes its time) off the thread that hands it over.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace orvik {

class JobThread {
public:
    JobThread() : thread_([this] { Run(); }) {}
    // Runs what was handed over, then ends.
    ~JobThread() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    void Post(std::function<void()> job) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
    }
    // Waits until every job handed over so far has run.
    void Drain() {
        std::unique_lock<std::mutex> hold(lock_);
        idle_.wait(hold, [this] { return jobs_.empty() && !busy_; });
    }

private:
    void Run() {
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            wake_.wait(hold, [this] { return stop_ || !jobs_.empty(); });
            if (jobs_.empty())
                return; // stopped, and nothing left
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            busy_ = true;
            hold.unlock();
            job();
            hold.lock();
            busy_ = false;
            if (jobs_.empty())
                idle_.notify_all();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> jobs_;
    bool stop_ = false;
    bool busy_ = false;
    std::thread thread_; // last: it starts once everything above is there
};

} // namespace orvik
