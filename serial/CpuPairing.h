// Keeps the monitor thread and the thread that runs its deliveries on one CPU while a port is
// open. The two threads take turns (the monitor thread blocks until its delivery has run), so
// they lose nothing by sharing a CPU; apart, every hand-over wakes a second, idle CPU, which
// costs more than the work handed over. The delivering thread's CPU is taken as it is at the
// first delivery; its own CPU set comes back when the pairing ends. One pairing per process;
// where the system cannot pin threads (or on a CPU that others keep busy), nothing is pinned.
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
    int Cpu() const { return PairedCpu.load(std::memory_order_relaxed); }

private:
    void LetGo();

    std::atomic<int> PairedCpu{-1};
    // Delivering thread, before PairedCpu is set; read by the monitor thread after.
    bool Tried = false;
    int DeliveringTid = 0;
    std::array<std::uint64_t, 16> SavedSet{}; // its CPU set before: 1024 CPUs
    // Monitor thread.
    bool MonitorPinned = false;
    std::uint32_t SinceLook = 0;
    std::int64_t WaitedAtLook = -1; // the delivering thread's time waiting for a CPU, ns
};

} // namespace orvik
