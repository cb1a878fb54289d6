// History figures, eight nodes at the bus's full rate (210-byte status frames back to back at
// 57600 baud): appending a status frame (each timed alone, and the allocations) once the
// history holds 24 hours; its memory then beside the bound; the reductions of a 24-hour plot
// (a curve per breaker, the voltage, the bands) to 1000 columns; opening a one-hour recording.
// Prints "name value unit" lines; spreads are over the rounds given. The longest single append
// of a round is mostly the scheduler's doing on a shared machine; the percentiles are the
// history's.
#include "bench/history/FullBus.h"
#include "bench/receive/CountingNew.h"
#include "link/capture/Pcapng.h"
#include "link/history/BusHistory.h"
#include "link/history/HistoryReplay.h"
#include "link/state/LinkState.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace orvik;
using namespace orvik::fullbus;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

long RssKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

struct Spread {
    double median, min, max;
};
Spread SpreadOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}
void Print(const char* name, const Spread& s, const char* unit, double scale = 1) {
    std::printf("%s %.3f %s (min %.3f, max %.3f)\n", name, s.median * scale, unit, s.min * scale,
                s.max * scale);
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    StatusRecord record;

    // 24 hours of the full bus.
    const long rssBefore = RssKb();
    BusHistory history;
    const auto day = static_cast<std::uint64_t>(24 * 3600 * 1000 / FRAME_MS);
    const auto fillStart = Clock::now();
    for (std::uint64_t i = 0; i < day; ++i) {
        Fill(record, i);
        history.AddStatus(TimeOf(i), record);
    }
    const double fillSeconds = Seconds(fillStart);
    std::printf("frames_24h %llu frames\n", static_cast<unsigned long long>(day));
    std::printf("fill_24h_per_frame %.3f us\n", fillSeconds / static_cast<double>(day) * 1e6);
    std::printf("memory_24h %.1f MB\n", static_cast<double>(history.MemoryBytes()) / 1e6);
    std::printf("memory_bound %.1f MB (budget 64 MB)\n",
                static_cast<double>(BusHistory::MemoryBound()) / 1e6);
    std::printf("rss_growth_24h %.1f MB\n", static_cast<double>(RssKb() - rssBefore) * 1024 / 1e6);
    std::printf("history_span %.2f h\n",
                static_cast<double>(history.LastMs() - history.FirstMs()) / 3.6e6);

    // Appending, steady state: each append timed alone, per round the median, p99 and max.
    std::uint64_t i = day;
    std::vector<double> medians, p99s, p999s, maxima;
    std::vector<double> one(100'000);
    std::uint64_t allocations = 0;
    for (int r = 0; r < rounds; ++r) {
        const std::uint64_t before = bench::AllocationCount();
        for (double& d : one) {
            Fill(record, i);
            const std::int64_t t = TimeOf(i++);
            const auto t0 = Clock::now();
            history.AddStatus(t, record);
            d = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
        }
        allocations += bench::AllocationCount() - before;
        std::sort(one.begin(), one.end());
        medians.push_back(one[one.size() / 2]);
        p99s.push_back(one[one.size() * 99 / 100]);
        p999s.push_back(one[one.size() * 999 / 1000]);
        maxima.push_back(one.back());
    }
    Print("append_median", SpreadOf(medians), "us");
    Print("append_p99", SpreadOf(p99s), "us");
    Print("append_p999", SpreadOf(p999s), "us");
    Print("append_max", SpreadOf(maxima), "us");
    std::printf("append_allocations %llu allocations in %d appends\n",
                static_cast<unsigned long long>(allocations), rounds * 100'000);

    // What a repaint of the whole 24 hours asks of the history: node 1's eight curves and
    // voltage, and its bands, reduced to 1000 columns.
    std::vector<double> reduce;
    std::vector<ValueColumn> columns(1000);
    std::vector<StateColumn> bands(1000);
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = Clock::now();
        for (int series = 0; series <= 8; ++series)
            history.ValueColumns(1, series, history.FirstMs(), history.LastMs() + 1, columns);
        history.StateColumns(1, history.FirstMs(), history.LastMs() + 1, bands);
        reduce.push_back(Seconds(t0));
    }
    Print("reduce_24h_1000_columns", SpreadOf(reduce), "ms", 1e3);

    // A one-hour recording of the full bus, opened into a fresh history each round.
    const auto hour = static_cast<std::uint64_t>(3600 * 1000 / FRAME_MS);
    std::vector<std::uint8_t> capture;
    PcapngWriter::AppendHeader(capture, {"bench", "COM1", "Orvik bus"});
    for (std::uint64_t k = 0; k < hour; ++k)
        AppendRecorded(capture, record, k);
    const std::string path = "/tmp/orvik-history-bench.pcapng";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(capture.data()),
               static_cast<std::streamsize>(capture.size()));
    std::printf("recording_1h %.1f MB, %llu status frames\n",
                static_cast<double>(capture.size()) / 1e6, static_cast<unsigned long long>(hour));
    std::vector<double> open;
    for (int r = 0; r < rounds; ++r) {
        BusHistory opened;
        const auto t0 = Clock::now();
        const ReplayResult result = ReplayCapture(path, opened);
        open.push_back(Seconds(t0));
        if (!result.Ok() || result.statusFrames != hour)
            std::printf("open_1h_failed %s\n", result.scan.error.c_str());
    }
    std::remove(path.c_str());
    Print("open_1h", SpreadOf(open), "s");
    return 0;
}
