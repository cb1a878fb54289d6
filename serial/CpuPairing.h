// Keeps the monitor thread and the thread that runs its deliveries on one CPU while a port is
// open (Linux). The two threads take turns (the monitor thread blocks until its delivery has
// run), so they lose nothing by sharing a CPU; apart, every hand-over wakes a second, idle
// CPU, which costs more than the work handed over. The delivering thread's CPU is taken as it
// is at the first delivery. Threads started meanwhile inherit that one CPU; they and the pair
// get the delivering thread's former CPU set back when the pairing ends. One pairing per
// process. Nothing is pinned where the system cannot pin threads or with ORVIK_NO_CPU_PAIRING
// set, and the pair lets go when other programs keep its CPU busy.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace orvik {

class CpuPairing {
public:
    CpuPairing() = default;
    CpuPairing(const CpuPairing&) = delete;
    CpuPairing& operator=(const CpuPairing&) = delete;
    ~CpuPairing(); // ends the pairing (restores the delivering thread's CPU set)

    // Delivering thread, at each delivery: the first one pins it to the CPU it runs on.
    void Delivering();
    // Monitor thread, after each delivery: joins the delivering thread's CPU, and lets go of
    // it when the two threads wait too long for a CPU.
    void Delivered();
    // Delivering thread: lets go; the delivering thread gets back the CPUs it had.
    void End();

    // The CPU both threads are kept on; -1 when not paired.
    int Cpu() const { return pairedCpu_.load(std::memory_order_relaxed); }

private:
    void Unpin();

    std::atomic<int> pairedCpu_{-1};
    // Delivering thread, before pairedCpu_ is set; read by the monitor thread after.
    bool tried_ = false;
    int deliveringTid_ = 0;
    std::array<std::uint64_t, 16> savedSet_{}; // its CPU set before: 1024 CPUs
    // Monitor thread.
    bool monitorPinned_ = false;
    std::uint32_t sinceLook_ = 0;
    std::int64_t waitedAtLook_ = -1; // the delivering thread's time waiting for a CPU, ns
};

} // namespace orvik
