#include "serial/CpuPairing.h"

#ifdef __linux__
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#endif

namespace orvik {

#ifdef __linux__

namespace {

static_assert(sizeof(cpu_set_t) <= sizeof(std::array<std::uint64_t, 16>));

// One pairing per process: a second port's threads run where the system puts them.
std::atomic<bool> Taken{false};

// Deliveries between two looks at how long the delivering thread waited for its CPU.
constexpr std::uint32_t LOOK_EVERY = 64;
// More waiting than this per delivery, on average, and the pairing ends.
constexpr std::int64_t CROWDED_NS_PER_DELIVERY = 500'000;

// The time thread `tid` of this process has waited for a CPU, in ns; -1 when unknown.
std::int64_t RunQueueWait(int tid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/schedstat", tid);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char text[128] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    unsigned long long running = 0;
    unsigned long long waiting = 0;
    if (n <= 0 || std::sscanf(text, "%llu %llu", &running, &waiting) != 2)
        return -1;
    return static_cast<std::int64_t>(waiting);
}

bool PinTo(int tid, int cpu) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    return ::sched_setaffinity(tid, sizeof one, &one) == 0;
}

// Every thread of the process kept on `cpu` alone gets `before` back: the two paired threads,
// and those they started meanwhile, which took their CPU set over (Qt's painting helpers).
void Release(int cpu, const cpu_set_t& before) {
    DIR* tasks = ::opendir("/proc/self/task");
    if (!tasks)
        return;
    while (const dirent* entry = ::readdir(tasks)) {
        const int tid = std::atoi(entry->d_name);
        cpu_set_t now;
        if (tid > 0 && ::sched_getaffinity(tid, sizeof now, &now) == 0 && CPU_COUNT(&now) == 1 &&
            CPU_ISSET(cpu, &now))
            ::sched_setaffinity(tid, sizeof before, &before);
    }
    ::closedir(tasks);
}

} // namespace

CpuPairing::~CpuPairing() {
    End();
}

void CpuPairing::Delivering() {
    if (tried_)
        return;
    tried_ = true;
    if (std::getenv("ORVIK_NO_CPU_PAIRING") || Taken.exchange(true))
        return;
    const int tid = static_cast<int>(::gettid());
    cpu_set_t before;
    const int cpu = ::sched_getcpu();
    if (cpu < 0 || RunQueueWait(tid) < 0 || ::sched_getaffinity(0, sizeof before, &before) != 0 ||
        CPU_COUNT(&before) < 2 || !PinTo(0, cpu)) {
        Taken.store(false);
        return;
    }
    std::memcpy(savedSet_.data(), &before, sizeof before);
    deliveringTid_ = tid;
    pairedCpu_.store(cpu, std::memory_order_release);
}

void CpuPairing::Delivered() {
    const int cpu = pairedCpu_.load(std::memory_order_acquire);
    if (cpu < 0)
        return;
    if (!monitorPinned_) {
        monitorPinned_ = true;
        if (!PinTo(0, cpu)) {
            Unpin();
            return;
        }
        waitedAtLook_ = RunQueueWait(deliveringTid_);
        return;
    }
    if (++sinceLook_ < LOOK_EVERY)
        return;
    sinceLook_ = 0;
    const std::int64_t waited = RunQueueWait(deliveringTid_);
    if (waited < 0 || waited - waitedAtLook_ > CROWDED_NS_PER_DELIVERY * LOOK_EVERY)
        Unpin();
    else
        waitedAtLook_ = waited;
}

// Either thread: every thread kept on the paired CPU gets the former set back. The pairing
// stays taken until End.
void CpuPairing::Unpin() {
    const int cpu = pairedCpu_.exchange(-1);
    if (cpu < 0)
        return;
    cpu_set_t before;
    std::memcpy(&before, savedSet_.data(), sizeof before);
    Release(cpu, before);
}

void CpuPairing::End() {
    if (deliveringTid_ == 0)
        return;
    Unpin();
    deliveringTid_ = 0;
    Taken.store(false);
}

#else

CpuPairing::~CpuPairing() = default;
void CpuPairing::Delivering() {}
void CpuPairing::Delivered() {}
void CpuPairing::End() {}
void CpuPairing::Unpin() {}

#endif

} // namespace orvik
