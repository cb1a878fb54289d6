// Prints the monitor thread's cost while a port sits idle with bytes left queued, and the
// delay from a write at the far end of a pseudo-terminal to OnRxChar.
#include "serial/CommPort.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <pty.h>
#include <unistd.h>

using namespace orvik;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

class BenchComm : public TComm {
public:
    using TComm::TComm;
    using TCustomComm::GetMonitorThread;
};

double ThreadCpuMs(TCommEventThread& thread) {
    clockid_t id{};
    timespec ts{};
    if (pthread_getcpuclockid(thread.NativeHandle(), &id) != 0 || clock_gettime(id, &ts) != 0)
        return -1;
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

int main() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    auto invoker = std::make_shared<TPumpedInvoker>();
    BenchComm comm(invoker);
    comm.SetDeviceName(name);
    comm.SetBaudRate(cbr57600);

    std::size_t cap = 100; // reads at most this many per event: the rest stays queued
    std::size_t received = 0;
    Clock::time_point lastRx;
    comm.OnRxChar = [&](TCustomComm* sender, std::int32_t count) {
        std::vector<std::uint8_t> buf(std::min<std::size_t>(static_cast<std::size_t>(count), cap));
        std::int32_t n = sender->Read(buf.data(), static_cast<std::int32_t>(buf.size()));
        if (n > 0)
            received += static_cast<std::size_t>(n);
        lastRx = Clock::now();
    };
    try {
        comm.Open();
    } catch (const ECommError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }

    // 1. Idle with bytes left queued.
    WriteAll(master, std::vector<std::uint8_t>(2000, 0x5A));
    invoker->PumpUntil([&] { return received > 0 && Clock::now() - lastRx > 200ms; }, 5s);
    TCommEventThread& thread = *comm.GetMonitorThread();
    const auto deliveriesBefore = thread.Deliveries();
    const double cpuBefore = ThreadCpuMs(thread);
    const auto receivedBefore = received;
    const auto start = Clock::now();
    while (Clock::now() - start < 10s)
        invoker->WaitAndPump(100ms);
    const double idleSec = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpuIdle = ThreadCpuMs(thread) - cpuBefore;
    std::printf("idle %.1f s with %zu bytes left queued:\n", idleSec, 2000 - receivedBefore);
    std::printf("  deliveries without new bytes: %llu\n",
                static_cast<unsigned long long>(thread.Deliveries() - deliveriesBefore));
    std::printf("  monitor thread CPU: %.3f ms (%.5f %% of one core)\n", cpuIdle,
                cpuIdle / (idleSec * 1e3) * 100);

    // 2. Delay from a write at the far end to OnRxChar, status-frame sized.
    cap = 10000;
    std::vector<std::uint8_t> scratch(4096);
    while (comm.Read(scratch.data(), 4096) > 0) {
    }
    invoker->Pump();
    const std::vector<std::uint8_t> frame(210, 0xA5);
    std::vector<double> delays;
    for (int i = 0; i < 1000; ++i) {
        received = 0;
        const auto t0 = Clock::now();
        if (!WriteAll(master, frame))
            break;
        if (!invoker->PumpUntil([&] { return received >= frame.size(); }, 2s))
            break;
        delays.push_back(std::chrono::duration<double, std::micro>(lastRx - t0).count());
        std::this_thread::sleep_for(1ms);
    }
    std::sort(delays.begin(), delays.end());
    if (delays.empty()) {
        std::printf("no frame arrived\n");
        return 1;
    }
    auto at = [&](double q) {
        return delays[std::min(delays.size() - 1, static_cast<std::size_t>(q * delays.size()))];
    };
    std::printf("far-end write to OnRxChar (whole 210-byte frame read), %zu frames:\n",
                delays.size());
    std::printf("  median %.1f us, 99th percentile %.1f us, max %.1f us\n", at(0.5), at(0.99),
                delays.back());
    comm.Close();
    ::close(master);
    ::close(slave);
    return 0;
}
