// CPU time charged for touching 2000 pages (one cache line each) again after a pause, per page,
// against touching them back to back. A program that wakes for a little work pays this for
// every page of code and data it uses. Also the CPU time of a thread's wake-up, with nothing
// to do: a thread that sleeps a frame's time, wakes another through an eventfd and waits in
// poll for its answer, as the program's two threads do for each frame. Prints "name value"
// lines.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t PAGES = 2000;
constexpr std::size_t PAGE = 4096;

// CPU time of this thread (CLOCK_THREAD_CPUTIME_ID) or of the process, in microseconds.
double CpuUs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

// A different cache line of each page, so that the caches' sets do not decide the figure.
void Touch(std::vector<unsigned char>& memory) {
    for (std::size_t p = 0; p < PAGES; ++p) {
        volatile unsigned char& b = memory[p * PAGE + (p % 64) * 64];
        b = static_cast<unsigned char>(b + 1);
    }
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median CPU time per page of touching them all, each time after a pause of PAUSE.
double PerPage(std::vector<unsigned char>& memory, std::chrono::milliseconds pause, int rounds) {
    std::vector<double> us;
    for (int r = 0; r < rounds; ++r) {
        if (pause.count() > 0)
            std::this_thread::sleep_for(pause);
        const double t0 = CpuUs(CLOCK_THREAD_CPUTIME_ID);
        Touch(memory);
        us.push_back(CpuUs(CLOCK_THREAD_CPUTIME_ID) - t0);
    }
    return Median(us) / PAGES;
}

void Signal(int fd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(fd, &one, sizeof one);
}

// Waits (bounded) for a signal on `fd` and takes it; false after 1 s without one.
bool Await(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 1000) != 1)
        return false;
    std::uint64_t value = 0;
    return ::read(fd, &value, sizeof value) == sizeof value;
}

// Median CPU time of the process per wake-up: each round one thread sleeps `pause` (when not
// zero), wakes the other, which answers at once; three wake-ups a round with the pause, two
// without. -1 when the other thread stopped answering.
double PerWake(std::chrono::microseconds pause, int rounds) {
    const int toPeer = ::eventfd(0, EFD_CLOEXEC);
    const int toMe = ::eventfd(0, EFD_CLOEXEC);
    std::vector<double> us;
    bool answered = toPeer >= 0 && toMe >= 0;
    if (answered) {
        std::atomic<bool> over{false};
        std::thread peer([&] {
            while (!over.load())
                if (Await(toPeer))
                    Signal(toMe);
        });
        for (int r = 0; r < rounds && answered; ++r) {
            const double t0 = CpuUs(CLOCK_PROCESS_CPUTIME_ID);
            if (pause.count() > 0)
                std::this_thread::sleep_for(pause);
            Signal(toPeer);
            answered = Await(toMe);
            us.push_back(CpuUs(CLOCK_PROCESS_CPUTIME_ID) - t0);
        }
        over.store(true);
        Signal(toPeer); // the peer's last wait ends at once
        peer.join();
    }
    for (int fd : {toPeer, toMe})
        if (fd >= 0)
            ::close(fd);
    return answered ? Median(us) / (pause.count() > 0 ? 3 : 2) : -1;
}

} // namespace

int main() {
    std::vector<unsigned char> memory(PAGES * PAGE, 1);
    using std::chrono::milliseconds;
    std::printf("page_hot_us %.4f\n", PerPage(memory, milliseconds(0), 50));
    std::printf("page_after_5ms_us %.4f\n", PerPage(memory, milliseconds(5), 100));
    std::printf("page_after_100ms_us %.4f\n", PerPage(memory, milliseconds(100), 21));
    std::printf("page_after_1s_us %.4f\n", PerPage(memory, milliseconds(1000), 5));
    using std::chrono::microseconds;
    std::printf("wake_hot_us %.1f\n", PerWake(microseconds(0), 2000));
    std::printf("wake_after_36ms_us %.1f\n", PerWake(microseconds(36'000), 60));
}
