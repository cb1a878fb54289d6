// CPU time charged for touching 2000 pages (one cache line each) again after a pause, per page,
// against touching them back to back. A program that wakes for a little work pays this for
// every page of code and data it uses. Prints "name value" lines.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t PAGES = 2000;
constexpr std::size_t PAGE = 4096;

double ThreadCpuUs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
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
        const double t0 = ThreadCpuUs();
        Touch(memory);
        us.push_back(ThreadCpuUs() - t0);
    }
    return Median(us) / PAGES;
}

} // namespace

int main() {
    std::vector<unsigned char> memory(PAGES * PAGE, 1);
    using std::chrono::milliseconds;
    std::printf("page_hot_us %.4f\n", PerPage(memory, milliseconds(0), 50));
    std::printf("page_after_5ms_us %.4f\n", PerPage(memory, milliseconds(5), 100));
    std::printf("page_after_100ms_us %.4f\n", PerPage(memory, milliseconds(100), 21));
    std::printf("page_after_1s_us %.4f\n", PerPage(memory, milliseconds(1000), 5));
}
