// The monitor thread and the thread running its deliveries share one CPU while a port is
// open, and let go of it when the port closes or the CPU is crowded.
#include "serial/CpuPairing.h"
#include "serial/CommPort.h"
#include "tests/support/Pty.h"
#include "tests/support/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sched.h>

using namespace orvik;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

cpu_set_t SetOf(pthread_t thread) {
    cpu_set_t set;
    CPU_ZERO(&set);
    pthread_getaffinity_np(thread, sizeof set, &set);
    return set;
}

bool Same(const cpu_set_t& a, const cpu_set_t& b) {
    return CPU_EQUAL(&a, &b);
}

bool OnlyOn(const cpu_set_t& set, int cpu) {
    return CPU_COUNT(&set) == 1 && CPU_ISSET(cpu, &set);
}

} // namespace

TEST(CpuPairing, AnOpenPortKeepsBothThreadsOnOneCpuUntilItCloses) {
    const cpu_set_t before = SetOf(pthread_self());
    if (CPU_COUNT(&before) < 2)
        GTEST_SKIP() << "one CPU: nothing to pair";
    auto invoker = std::make_shared<TPumpedInvoker>();
    test::PseudoTerminal pty;
    std::size_t received = 0;
    test::ProbeComm comm{invoker};
    comm.SetDeviceName(pty.name);
    comm.OnRxChar = [&](TCustomComm* sender, std::int32_t count) {
        std::vector<std::uint8_t> buf(static_cast<std::size_t>(count));
        received += static_cast<std::size_t>(sender->Read(buf.data(), count));
    };
    comm.Open();
    ASSERT_EQ(pty.Send(test::Pattern(20)), 20u);
    ASSERT_TRUE(invoker->PumpUntil([&] { return received >= 20; }, 5s));
    const int cpu = sched_getcpu();
    EXPECT_TRUE(OnlyOn(SetOf(pthread_self()), cpu));
    // The monitor thread joins once its first delivery has run.
    const auto monitor = comm.GetMonitorThread()->NativeHandle();
    const auto until = Clock::now() + 5s;
    while (!OnlyOn(SetOf(monitor), cpu) && Clock::now() < until)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(OnlyOn(SetOf(monitor), cpu));

    // A thread started meanwhile takes the one CPU over, and gets the whole set back too.
    std::atomic<bool> done{false};
    std::thread helper([&] {
        while (!done.load())
            std::this_thread::sleep_for(1ms);
    });
    EXPECT_TRUE(OnlyOn(SetOf(helper.native_handle()), cpu));
    comm.Close();
    EXPECT_TRUE(Same(before, SetOf(pthread_self())));
    EXPECT_TRUE(Same(before, SetOf(helper.native_handle())));
    done.store(true);
    helper.join();
}

TEST(CpuPairing, ACrowdedCpuIsLetGo) {
    const cpu_set_t before = SetOf(pthread_self());
    if (CPU_COUNT(&before) < 2)
        GTEST_SKIP() << "one CPU: nothing to pair";
    CpuPairing pairing;
    pairing.Delivering();
    const int cpu = pairing.Cpu();
    ASSERT_GE(cpu, 0) << "this system pins no threads";
    // Two threads that never sleep, on the paired CPU (they take its set over).
    std::atomic<bool> done{false};
    std::vector<std::thread> hogs;
    for (int i = 0; i < 2; ++i)
        hogs.emplace_back([&] {
            while (!done.load())
                ;
        });
    std::thread monitor([&] {
        const auto until = Clock::now() + 10s;
        while (pairing.Cpu() >= 0 && Clock::now() < until) {
            pairing.Delivered();
            std::this_thread::sleep_for(1ms);
        }
    });
    // The delivering thread wants the CPU all the time, as a busy window would.
    const auto until = Clock::now() + 10s;
    while (pairing.Cpu() >= 0 && Clock::now() < until)
        ;
    monitor.join();
    EXPECT_EQ(pairing.Cpu(), -1);
    EXPECT_TRUE(Same(before, SetOf(pthread_self())));
    done.store(true);
    for (auto& h : hogs)
        h.join();
}
